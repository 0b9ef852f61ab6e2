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
    const std::pair<OsVersionData, int> cases[] = {
        {Data(kPlatformWin32s, 3, 11), 2},
        {Data(kPlatformWindows9x, 4, 0), 3},
        {Data(kPlatformWindows9x, 4, 10), 8},
        {Data(kPlatformWindows9x, 4, 90), 10},
        {Data(kPlatformWindows9x, 4, 20), 1},
        {Data(kPlatformCe, 5, 0), 1},
        {Nt(3, 51), 6},
        {Nt(4, 0), 6},
        {Nt(5, 0), 11},
        {Nt(5, 1), 13},
        {Nt(5, 2, kProductServer), 15},
        {Nt(5, 3), 1},
        {Nt(6, 0), 19},
        {Nt(6, 0, kProductServer), 21},
        {Nt(6, 1), 23},
        {Nt(6, 1, kProductServer), 25},
        {Nt(6, 1, kProductDomainController), 23},
        {Nt(6, 2), 27},
        {Nt(6, 2, kProductServer), 28},
        {Nt(6, 3), 30},
        {Nt(6, 4), 31},
        {Nt(6, 5), 32},
        {Nt(10, 0), 31},
        {Nt(10, 1), 32},
        {Nt(9, 0), 32},
    };
    for (const auto& [data, code] : cases) {
        EXPECT_EQ(OsCodeFrom(data), code) << data.platformId << " " << data.major << "."
                                          << data.minor << " type " << int(data.productType);
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
    const Case cases[] = {
        {L"", std::nullopt, kProductWorkstation, 27},
        {L"6.3", std::nullopt, kProductServer, 30},
        {L"6.4", std::nullopt, kProductWorkstation, 31},
        {L"6.3", 10u, kProductWorkstation, 31},
        {L"6.2", 10u, kProductServer, 31},
        {L"6.2", 11u, kProductWorkstation, 27},
        {L"6.2", 6u, kProductServer, 28},
    };
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
    const std::pair<const wchar_t*, int> cases[] = {
        {L"WinNT", 19}, {L"LanmanNT", 21}, {L"SERVERNT", 21}, {L"servernt", 21}, {L"", 19},
    };
    for (const auto& [productType, code] : cases) {
        OsVersionData d = Nt(6, 0, kProductServer);  // ignored with the short structure
        d.extended = false;
        d.productOptionsType = productType;
        EXPECT_EQ(OsCodeFrom(d), code);
    }
}

}  // namespace
