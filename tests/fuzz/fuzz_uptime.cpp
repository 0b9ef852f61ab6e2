// The stored "uptime" value: any bytes decode to a finite time (the default unless there are
// exactly 12), a valid stored time writes back to the same bytes, and the hours of any span stay
// within a day (no conversion overflows).
#include <cmath>
#include <cstring>

#include "tests/fuzz/fuzz_support.h"
#include "app/uptime.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t stored = std::min(size, kUptimeSize);
    const std::vector<std::uint8_t> bytes(data, data + (size == kUptimeSize + 8 ? stored : size));
    const double last = DecodeUptime(bytes);
    FUZZ_CHECK(std::isfinite(last));
    FUZZ_CHECK(bytes.size() == kUptimeSize || last == DefaultLastCheck());
    if (bytes.size() == kUptimeSize && last != DefaultLastCheck()) {
        FUZZ_CHECK(EncodeUptime(last) == bytes);
    }
    double now = DefaultLastCheck();
    if (size >= kUptimeSize + 8) {
        std::uint64_t raw = 0;
        for (int i = 0; i < 8; ++i) {
            raw |= static_cast<std::uint64_t>(data[kUptimeSize + i]) << (8 * i);
        }
        std::memcpy(&now, &raw, sizeof now);
    }
    if (std::isfinite(now)) {
        const int hours = SpanHoursComponent(last, now);
        FUZZ_CHECK(hours > -24 && hours < 24);
        GuardCheckRateLimited(last, now, L"-enforce");
    }
    return 0;
}
