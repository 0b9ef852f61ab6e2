#include "report/os_code.h"

#include <gtest/gtest.h>

namespace {

OsVersionData Nt(std::uint32_t major, std::uint32_t minor,
                 std::uint8_t productType = kProductWorkstation) {
    OsVersionData d;
    d.platformId = kPlatformNt;
    d.major = major;
    d.minor = minor;
    d.productType = productType;
    return d;
}

OsVersionData Platform(std::uint32_t platform, std::uint32_t major, std::uint32_t minor) {
    OsVersionData d = Nt(major, minor);
    d.platformId = platform;
    return d;
}

TEST(OsCode, VersionTable) {
    struct Case {
        const char* name;
        OsVersionData data;
        int code;
    };
    const Case cases[] = {
        {"Win32s", Platform(kPlatformWin32s, 3, 11), 2},
        {"Windows 95", Platform(kPlatformWindows9x, 4, 0), 3},
        {"Windows 98", Platform(kPlatformWindows9x, 4, 10), 8},
        {"Windows Me", Platform(kPlatformWindows9x, 4, 90), 10},
        {"unknown 9x", Platform(kPlatformWindows9x, 4, 20), 1},
        {"Windows CE", Platform(kPlatformCe, 5, 0), 1},
        {"NT 3.51", Nt(3, 51), 6},
        {"NT 4", Nt(4, 0), 6},
        {"Windows 2000", Nt(5, 0), 11},
        {"Windows XP", Nt(5, 1), 13},
        {"Server 2003", Nt(5, 2, kProductServer), 15},
        {"unlisted 5.3", Nt(5, 3), 1},
        {"Vista", Nt(6, 0), 19},
        {"Server 2008", Nt(6, 0, kProductServer), 21},
        {"Windows 7", Nt(6, 1), 23},
        {"Server 2008 R2", Nt(6, 1, kProductServer), 25},
        {"2008 R2 domain controller", Nt(6, 1, kProductDomainController), 23},
        {"Windows 8", Nt(6, 2), 27},
        {"Server 2012", Nt(6, 2, kProductServer), 28},
        {"8.1 reporting itself", Nt(6, 3), 30},
        {"6.4 reported", Nt(6, 4), 31},
        {"6.5", Nt(6, 5), 32},
        {"9.0", Nt(9, 0), 32},
        {"Windows 10 reporting itself", Nt(10, 0), 31},
        {"10.1", Nt(10, 1), 32},
        {"11.0", Nt(11, 0), 32},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OsCodeFrom(c.data), c.code) << c.name;
    }
}

TEST(OsCode, SixTwoIsDecidedByTheRegistry) {
    struct Case {
        const char* name;
        const wchar_t* currentVersion;
        std::optional<std::uint32_t> major;
        std::uint8_t productType;
        int code;
    };
    const Case cases[] = {
        {"8", L"6.2", std::nullopt, kProductWorkstation, 27},
        {"missing value", L"", std::nullopt, kProductWorkstation, 27},
        {"8.1", L"6.3", std::nullopt, kProductWorkstation, 30},
        {"8.1 server", L"6.3", std::nullopt, kProductServer, 30},
        {"10 preview", L"6.4", std::nullopt, kProductWorkstation, 31},
        {"10 by major number", L"6.3", 10u, kProductWorkstation, 31},
        {"10 server by major number", L"6.2", 10u, kProductServer, 31},
        {"major number 11 is not 10", L"6.2", 11u, kProductWorkstation, 27},
        {"server 2012", L"6.2", 6u, kProductServer, 28},
    };
    for (const Case& c : cases) {
        OsVersionData d = Nt(6, 2, c.productType);
        d.currentVersion = c.currentVersion;
        d.currentMajorVersionNumber = c.major;
        EXPECT_EQ(OsCodeFrom(d), c.code) << c.name;
    }
}

TEST(OsCode, RegistryOnlyMattersForSixTwo) {
    OsVersionData d = Nt(6, 1);
    d.currentVersion = L"6.3";
    d.currentMajorVersionNumber = 10u;
    EXPECT_EQ(OsCodeFrom(d), 23);
}

TEST(OsCode, ShortStructureTakesServerFromProductOptions) {
    struct Case {
        const wchar_t* productType;
        int code;
    };
    const Case cases[] = {
        {L"WinNT", 19}, {L"LanmanNT", 21}, {L"SERVERNT", 21}, {L"servernt", 21}, {L"", 19},
    };
    for (const Case& c : cases) {
        OsVersionData d = Nt(6, 0, kProductServer);  // ignored with the short structure
        d.extended = false;
        d.productOptionsType = c.productType;
        EXPECT_EQ(OsCodeFrom(d), c.code);
    }
}

TEST(OsCode, ThresholdsOrderTheReleases) {
    EXPECT_LT(OsCodeFrom(Nt(5, 1)), kOsCodeVista);
    EXPECT_GE(OsCodeFrom(Nt(6, 0)), kOsCodeVista);
    EXPECT_LT(OsCodeFrom(Nt(6, 0, kProductServer)), kOsCodeWindows7);
    EXPECT_GE(OsCodeFrom(Nt(6, 1)), kOsCodeWindows7);
    EXPECT_LT(OsCodeFrom(Nt(6, 1, kProductServer)), kOsCodeWindows8);
    EXPECT_GE(OsCodeFrom(Nt(6, 2)), kOsCodeWindows8);
}

}  // namespace
