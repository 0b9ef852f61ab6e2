#include "report/machine_identity.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// IDENTIFY DEVICE data whose serial words hold `serial` (20 characters, each word's high byte
// first, the words stored little-endian).
std::vector<std::uint8_t> Identify(std::string serial) {
    serial.resize(20, ' ');
    std::vector<std::uint8_t> data(kSmartIdentifySize, 0);
    for (std::size_t i = 0; i < 20; ++i) {
        data[20 + (i ^ 1)] = static_cast<std::uint8_t>(serial[i]);
    }
    return data;
}

TEST(MachineIdentity, SmartSerial) {
    const struct {
        std::string words;
        std::string serial;
        std::wstring machineId;
    } cases[] = {
        {"WD-WCAV1234567890123", "WD-WCAV1234567890123", L"WD-WCAV1234567890123"},
        {"  S1ABCD    \t", "  S1ABCD", L"S1ABCD"},  // padded with spaces to 20
        {"   X", "   X", L"X"},
        {"", " ", L""},  // the first character is never cut
        {std::string("AB\0CD", 6), "AB", L"AB"},
    };
    for (const auto& c : cases) {
        const auto data = Identify(c.words);
        const std::string serial = SmartSerialFromIdentify(data.data(), data.size());
        EXPECT_EQ(serial, c.serial);
        EXPECT_EQ(MachineIdFrom(std::wstring(serial.begin(), serial.end()), L"storage"),
                  c.machineId);
    }
    EXPECT_EQ(SmartSerialFromIdentify(nullptr, 0), "");
    EXPECT_EQ(MachineIdFrom(L"", L" \tZ9 \r\n"), L"Z9");
}

TEST(MachineIdentity, StorageSerial) {
    const struct {
        std::string text;
        std::string serial;
    } cases[] = {
        // Hexadecimal pairs of a byte-swapped text, digits in either case.
        {"31534241444320202020", "S1ABCD"},
        {"3153424144432020202", "S1ABCD"},  // an odd last digit makes no byte
        {"  315342414443", "S1ABCD"},       // white space counts as "0"; 0 bytes add nothing
        {"574433444A4B", "DWD3KJ"},
        // Not hexadecimal: the plain text, pair-swapped and trimmed.
        {"WD-WCAV123", "DWW-AC1V32"},
        {"  1SBADC  ", "S1ABCD"},
        {"0141", "1014"},  // 0x01 is not printable: read as plain text
        {"AB\x01"
         "CD",
         ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DecodeStorageSerial(c.text), c.serial) << c.text;
    }
}

TEST(MachineIdentity, StorageDescriptor) {
    std::vector<std::uint8_t> descriptor(64, 0);
    const std::string text = "31534241444320202020";
    std::copy(text.begin(), text.end(), descriptor.begin() + 40);
    const struct {
        std::uint32_t offset;
        std::string serial;
    } cases[] = {{40, "S1ABCD"}, {0, ""}, {64, ""}, {0x80000000u, ""}};
    for (const auto& c : cases) {
        for (int i = 0; i < 4; ++i) {
            descriptor[24 + i] = static_cast<std::uint8_t>(c.offset >> (8 * i));
        }
        EXPECT_EQ(StorageSerialFromDescriptor(descriptor.data(), descriptor.size()), c.serial)
            << c.offset;
    }
    // A serial that runs to the end of the answer without its zero.
    std::fill_n(descriptor.begin() + 24, 4, 0);
    descriptor[24] = 58;
    std::copy(text.begin(), text.begin() + 6, descriptor.begin() + 58);
    EXPECT_EQ(StorageSerialFromDescriptor(descriptor.data(), descriptor.size()), "S1B");
}

TEST(MachineIdentity, AdapterRules) {
    const struct {
        const wchar_t* description;
        bool virtualAdapter;
    } cases[] = {
        {L"VMware Virtual Ethernet Adapter for VMnet8", true},
        {L"Hyper-V Virtual Ethernet Adapter", true},
        {L"VMware Accelerated AMD PCNet Adapter", true},
        {L"TAP-Windows virtual adapter", false},
        {L"vmware bridge", false},
        {L"Intel(R) Ethernet Connection I219-V", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsVirtualAdapter(c.description), c.virtualAdapter) << c.description;
    }
    EXPECT_EQ(DnsServerField(L"192.168.100.100"), L"192.168.100.100");
    EXPECT_EQ(DnsServerField(L"fe80::1234:5678:9abc"), L"fe80::1234:5678");
}

}  // namespace
