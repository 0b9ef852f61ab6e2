#include "report/os_code.h"

#include <gtest/gtest.h>

namespace {

OsVersionData Data(std::uint32_t platform, std::uint32_t major, std::uint32_t minor,
                   std::uint8_t productType = kProductWorkstation) {
    OsVersionData d;
    d.platformId = platform;
    d.major = major;
    d.minor = minor;
    d.productType = productType;
    return d;
}

OsVersionData Nt(std::uint32_t major, std::uint32_t minor,
                 std::uint8_t productType = kProductWorkstation) {
    return Data(kPlatformNt, major, minor, productType);
}

TEST(OsCode, VersionTable) {
    // Platform (0 Win32s, 1 Windows 9x, 2 NT, 3 CE), major, minor, product type (1 workstation,
    // 2 domain controller, 3 server), code. Other parts compare against 19 (Vista), 23 (Windows 7)
    // and 27 (Windows 8).
    const std::uint32_t cases[][5] = {
        {0, 3, 11, 1, 2}, {1, 4, 0, 1, 3},  {1, 4, 10, 1, 8}, {1, 4, 90, 1, 10}, {1, 4, 20, 1, 1},
        {3, 5, 0, 1, 1},  {2, 3, 51, 1, 6}, {2, 4, 0, 1, 6},  {2, 5, 0, 1, 11},  {2, 5, 1, 1, 13},
        {2, 5, 2, 3, 15}, {2, 5, 3, 1, 1},  {2, 6, 0, 1, 19}, {2, 6, 0, 3, 21},  {2, 6, 1, 1, 23},
        {2, 6, 1, 3, 25}, {2, 6, 1, 2, 23}, {2, 6, 2, 1, 27}, {2, 6, 2, 3, 28},  {2, 6, 3, 1, 30},
        {2, 6, 4, 1, 31}, {2, 6, 5, 1, 32}, {2, 9, 0, 1, 32}, {2, 10, 0, 1, 31}, {2, 10, 1, 1, 32}};
    for (const auto& c : cases) {
        const OsVersionData data = Data(c[0], c[1], c[2], static_cast<std::uint8_t>(c[3]));
        EXPECT_EQ(OsCodeFrom(data), static_cast<int>(c[4]))
            << c[0] << " " << c[1] << "." << c[2] << " type " << c[3];
    }
}

// A system that reports 6.2 may be a later release: the registry tells which.
TEST(OsCode, SixTwoIsDecidedByTheRegistry) {
    struct Case {
        const wchar_t* currentVersion;
        std::optional<std::uint32_t> major;
        std::uint8_t productType;
        int code;
    };
    const Case cases[] = {{L"", std::nullopt, kProductWorkstation, 27},
                          {L"6.3", std::nullopt, kProductServer, 30},
                          {L"6.4", std::nullopt, kProductWorkstation, 31},
                          {L"6.3", 10u, kProductWorkstation, 31},
                          {L"6.2", 10u, kProductServer, 31},
                          {L"6.2", 11u, kProductWorkstation, 27},
                          {L"6.2", 6u, kProductServer, 28}};
    for (const Case& c : cases) {
        OsVersionData d = Nt(6, 2, c.productType);
        d.currentVersion = c.currentVersion;
        d.currentMajorVersionNumber = c.major;
        EXPECT_EQ(OsCodeFrom(d), c.code)
            << ::testing::PrintToString(std::wstring(c.currentVersion));
        d.minor = 1;  // only 6.2 asks the registry
        EXPECT_EQ(OsCodeFrom(d), c.productType == kProductServer ? 25 : 23);
    }
}

TEST(OsCode, ShortStructureTakesServerFromProductOptions) {
    const std::pair<const wchar_t*, int> cases[] = {{L"WinNT", 19},    {L"LanmanNT", 21},
                                                    {L"lanmannt", 21}, {L"SERVERNT", 21},
                                                    {L"servernt", 21}, {L"", 19}};
    for (const auto& [productType, code] : cases) {
        OsVersionData d = Nt(6, 0, kProductServer);  // ignored with the short structure
        d.extended = false;
        d.productOptionsType = productType;
        EXPECT_EQ(OsCodeFrom(d), code);
    }
}

}  // namespace
