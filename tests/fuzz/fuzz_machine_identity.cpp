// The drives' answers and the adapter data: whatever a driver returns, the serial numbers come
// out as printable text without surrounding white space (the SMART one at most 20 characters),
// and the DNS fields stay within 15 characters.
#include "report/machine_identity.h"
#include "report/usage_report.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void CheckSerial(const std::string& serial, std::size_t limit) {
    FUZZ_CHECK(serial.size() <= limit);
    for (unsigned char c : serial) {
        FUZZ_CHECK(c >= 0x20 && c <= 0x7E);
    }
    FUZZ_CHECK(serial.empty() || (serial.front() != ' ' && serial.back() != ' '));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckSerial(DecodeStorageSerial(text), size);
    CheckSerial(StorageSerialFromDescriptor(data, size), size);
    // The SMART serial is taken as the drive gives it (only trailing blanks are cut), so only its
    // length is bounded.
    FUZZ_CHECK(SmartSerialFromIdentify(data, size).size() <= 20);
    const std::wstring wide = fuzz::Widen(text);
    FUZZ_CHECK(MachineIdFrom(wide, L"").size() <= wide.size());

    fuzz::Pieces pieces(data, size);
    std::vector<AdapterInfo> adapters;
    for (std::string description = pieces.Next(); !description.empty();
         description = pieces.Next()) {
        AdapterInfo adapter;
        adapter.description = fuzz::Widen(description);
        adapter.firstDns = DnsServerField(fuzz::Widen(pieces.Next()));
        adapter.secondDns = DnsServerField(fuzz::Widen(pieces.Next()));
        FUZZ_CHECK(adapter.firstDns.size() <= 15 && adapter.secondDns.size() <= 15);
        if (!IsVirtualAdapter(adapter.description)) {
            adapters.push_back(adapter);
        }
    }
    const std::wstring dns = DnsList(adapters);
    FUZZ_CHECK(adapters.empty() || dns.size() >= 2 * adapters.size() - 1);
    return 0;
}
