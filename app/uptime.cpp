#include "app/uptime.h"

#include <cmath>
#include <cstring>

#include "base/text.h"

namespace {

constexpr double kSecondsPerDay = 86400.0;

// Days from 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

const long long kOleEpochDays = DaysFromCivil(1899, 12, 30);

}  // namespace

double ToOleDate(const LocalTime& t) {
    const long long days =
        DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) -
        kOleEpochDays;
    const double seconds = t.hour * 3600.0 + t.minute * 60.0 + t.second;
    return static_cast<double>(days) + seconds / kSecondsPerDay;
}

double DefaultLastCheck() {
    return ToOleDate(LocalTime{2014, 1, 1, 0, 0, 0});
}

std::vector<std::uint8_t> EncodeUptime(double oleDate, std::uint32_t status) {
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof oleDate, "IEEE double expected");
    std::memcpy(&bits, &oleDate, sizeof bits);
    std::vector<std::uint8_t> bytes(kUptimeSize, 0);
    for (int i = 0; i < 8; ++i) {
        bytes[i] = static_cast<std::uint8_t>((bits >> (8 * i)) & 0xFF);
    }
    for (int i = 0; i < 4; ++i) {
        bytes[8 + i] = static_cast<std::uint8_t>((status >> (8 * i)) & 0xFF);
    }
    return bytes;
}

double DecodeUptime(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != kUptimeSize) {
        return DefaultLastCheck();
    }
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) {
        bits |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    }
    std::uint32_t status = 0;
    for (int i = 0; i < 4; ++i) {
        status |= static_cast<std::uint32_t>(bytes[8 + i]) << (8 * i);
    }
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    if (status != kUptimeValid || !std::isfinite(value)) {
        return DefaultLastCheck();
    }
    return value;
}

int SpanHoursComponent(double lastOleDate, double nowOleDate) {
    const double seconds = std::round((nowOleDate - lastOleDate) * kSecondsPerDay);
    if (!std::isfinite(seconds) || std::fabs(seconds) > 9.0e15) {
        return 0;
    }
    const auto whole = static_cast<long long>(seconds);
    return static_cast<int>((whole / 3600) % 24);
}

bool GuardCheckRateLimited(double lastOleDate, double nowOleDate, const std::wstring& commandLine) {
    return SpanHoursComponent(lastOleDate, nowOleDate) < 1 && !Contains(commandLine, L"enforce");
}
