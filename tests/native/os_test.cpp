#include "report/os_code.h"
#include "report/os_description.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace {

using Change = std::function<void(OsDescriptionData&)>;

OsDescriptionData Nt(std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                     std::uint8_t productType = kProductWorkstation,
                     std::uint16_t arch = kArchAmd64, const Change& change = {}) {
    OsDescriptionData d;
    d.version.platformId = kPlatformNt;
    d.version.major = major;
    d.version.minor = minor;
    d.version.build = build;
    d.version.productType = productType;
    d.processorArchitecture = arch;
    if (change) {
        change(d);
    }
    return d;
}

Change Edition(std::uint32_t type) {
    return [type](OsDescriptionData& d) { d.productInfoType = type; };
}
Change Registry(const wchar_t* version, std::optional<std::uint32_t> major = {},
                const wchar_t* build = L"") {
    return [=](OsDescriptionData& d) {
        d.version.currentVersion = version;
        d.version.currentMajorVersionNumber = major;
        d.version.currentBuildNumber = build;
    };
}
Change Suite(std::uint16_t mask) {
    return [mask](OsDescriptionData& d) { d.version.suiteMask = mask; };
}

TEST(DescribeOs, VistaAndLater) {
    const std::pair<OsDescriptionData, std::wstring> cases[] = {
        {Nt(6, 0, 6000), L"Windows Vista  (Build 6000), 64-bit"},
        {Nt(6, 0, 6002, kProductServer, kArchIntel, Edition(7)),
         L"Windows Server 2008 Standard Edition (Build 6002), 32-bit"},
        {Nt(6, 1, 7601, kProductWorkstation, kArchAmd64, Edition(1)),
         L"Windows 7 旗舰版 (Build 7601), 64-bit"},
        {Nt(6, 1, 7600, kProductDomainController), L"Windows Server 2008 R2  (Build 7600), 64-bit"},
        {Nt(6, 2, 9200, kProductWorkstation, kArchAmd64,
            [](OsDescriptionData& d) {
                Registry(L"6.3", 10u, L"19045")(d);
                d.productInfoType = 48;
            }),
         L"Windows 10 专业版 (Build 19045), 64-bit"},
        {Nt(6, 2, 9200, kProductWorkstation, kArchIntel, Registry(L"6.3")),
         L"Windows 8.1  (Build 9200), 32-bit"},
        {Nt(6, 2, 9200, kProductWorkstation, kArchAmd64, Registry(L"6.2")),
         L"Windows 8  (Build 9200), 64-bit"},
        {Nt(6, 2, 9200, kProductWorkstation, kArchAmd64, Registry(L"6.5")),
         L"Windows 更高版本  (Build 9200), 64-bit"},
        {Nt(6, 2, 9431, kProductWorkstation, kArchAmd64, Registry(L"6.4")),
         L"Windows 10  (Build 9431) Preview, 64-bit"},
        {Nt(6, 0, 6000, kProductServer, kArchIa64), L"Windows Server 2008  (Build 6000)"},
        {Nt(10, 0, 19045), L"Windows 10  (Build 19045), 64-bit"}};
    for (const auto& [data, text] : cases) {
        EXPECT_EQ(DescribeOsFrom(data), text);
    }
}

TEST(DescribeOs, WindowsXpAndServer2003) {
    const auto xp = [](const Change& change) {
        return Nt(5, 1, 2600, kProductWorkstation, kArchIntel, change);
    };
    const auto s2003 = [](std::uint16_t suite, std::uint16_t arch,
                          std::uint8_t type = kProductServer) {
        return Nt(5, 2, 3790, type, arch, Suite(suite));
    };
    OsDescriptionData r2 = s2003(kSuiteEnterprise, kArchIntel);
    r2.serverR2 = true;
    const std::pair<OsDescriptionData, std::wstring> cases[] = {
        {xp(Suite(0)), L"Windows XP Professional (Build 2600)"},
        {xp(Suite(kSuitePersonal)), L"Windows XP Home Edition (Build 2600)"},
        {xp([](OsDescriptionData& d) { d.mediaCenter = d.tabletPc = true; }),
         L"Windows XP ProfessionalMedia Center Edition (Build 2600)"},
        {xp([](OsDescriptionData& d) { d.tabletPc = true; }),
         L"Windows XP ProfessionalTablet PC Edition (Build 2600)"},
        {s2003(0, kArchAmd64, kProductWorkstation),
         L"Windows XP Professional x64 Edition (Build 3790)"},
        {s2003(kSuiteComputeServer | kSuiteDatacenter, kArchIntel),
         L"Windows Server 2003, Compute Cluster Edition (Build 3790)"},
        {s2003(kSuiteDatacenter, kArchAmd64),
         L"Windows Server 2003, Datacenter x64 Edition (Build 3790)"},
        {s2003(kSuiteEnterprise, kArchIa64),
         L"Windows Server 2003, Enterprise Edition for Itanium-based Systems (Build 3790)"},
        {r2, L"Windows Server 2003 R2, Enterprise Edition (Build 3790)"},
        {s2003(kSuiteStorageServer, kArchIntel),
         L"Windows Storage Server 2003Standard Edition (Build 3790)"}};
    for (const auto& [data, text] : cases) {
        EXPECT_EQ(DescribeOsFrom(data), text);
    }
}

TEST(DescribeOs, OlderSystems) {
    const auto with = [](std::uint32_t platform, std::uint32_t major, std::uint32_t minor,
                         const wchar_t* csd = L"", std::uint8_t type = kProductWorkstation,
                         std::uint16_t suite = 0) {
        OsDescriptionData d = Nt(major, minor, 1381, type, kArchIntel, Suite(suite));
        d.version.platformId = platform;
        d.version.csdVersion = csd;
        return DescribeOsFrom(d);
    };
    EXPECT_EQ(with(kPlatformNt, 5, 0), L"Windows 2000 Professional (Build 1381)");
    EXPECT_EQ(with(kPlatformNt, 5, 0, L"", kProductServer, kSuiteEnterprise),
              L"Windows 2000 Advanced Server (Build 1381)");
    EXPECT_EQ(with(kPlatformNt, 5, 0, L"", kProductServer, kSuiteDatacenter),
              L"Windows 2000 Datacenter Server (Build 1381)");
    EXPECT_EQ(with(kPlatformNt, 4, 0), L"Windows NT4  (Build 1381)");
    EXPECT_EQ(with(kPlatformNt, 3, 51), L"Windows NT 3.51  (Build 1381)");
    EXPECT_EQ(with(kPlatformWindows9x, 4, 0), L"Windows 95");
    EXPECT_EQ(with(kPlatformWindows9x, 4, 0, L" C"), L"Windows 95 OEM Service Release 2");
    EXPECT_EQ(with(kPlatformWindows9x, 4, 10, L" A"), L"Windows 98 Second Edition");
    EXPECT_EQ(with(kPlatformWindows9x, 4, 90), L"Windows Millennium Edition");
    EXPECT_EQ(with(kPlatformCe, 4, 21), L"Windows CE 4.21");
    EXPECT_EQ(with(kPlatformCe, 7, 0), L"Windows CE ");
    EXPECT_EQ(with(kPlatformWin32s, 3, 11), L"");
}

TEST(ErrorBox, TitleAndText) {
    EXPECT_EQ(ErrorBoxTitle(L"升级程序", L"3.2.0.17"), L"升级程序 v3.2.0.17");
    EXPECT_EQ(ErrorBoxText(L"m", L"Windows 7  (Build 7601), 64-bit", 0x80004005u),
              L"m\n\n操作系统：Windows 7  (Build 7601), 64-bit\n\nError：80004005");
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
        OsVersionData data = Nt(c[1], c[2], 0, static_cast<std::uint8_t>(c[3])).version;
        data.platformId = c[0];
        EXPECT_EQ(OsCodeFrom(data), static_cast<int>(c[4]))
            << c[0] << " " << c[1] << "." << c[2] << " type " << c[3];
    }
}

// A system that reports 6.2 may be a later release: the registry tells which.
TEST(OsCode, SixTwoIsDecidedByTheRegistry) {
    const std::tuple<const wchar_t*, std::optional<std::uint32_t>, std::uint8_t, int> cases[] = {
        {L"", std::nullopt, kProductWorkstation, 27},
        {L"6.3", std::nullopt, kProductServer, 30},
        {L"6.4", std::nullopt, kProductWorkstation, 31},
        {L"6.3", 10u, kProductWorkstation, 31},
        {L"6.2", 10u, kProductServer, 31},
        {L"6.2", 11u, kProductWorkstation, 27},
        {L"6.2", 6u, kProductServer, 28}};
    for (const auto& [currentVersion, major, productType, code] : cases) {
        OsVersionData d = Nt(6, 2, 0, productType).version;
        d.currentVersion = currentVersion;
        d.currentMajorVersionNumber = major;
        EXPECT_EQ(OsCodeFrom(d), code) << ::testing::PrintToString(std::wstring(currentVersion));
        d.minor = 1;  // only 6.2 asks the registry
        EXPECT_EQ(OsCodeFrom(d), productType == kProductServer ? 25 : 23);
    }
}

TEST(OsCode, ShortStructureTakesServerFromProductOptions) {
    const std::pair<const wchar_t*, int> cases[] = {{L"WinNT", 19},    {L"LanmanNT", 21},
                                                    {L"lanmannt", 21}, {L"SERVERNT", 21},
                                                    {L"servernt", 21}, {L"", 19}};
    for (const auto& [productType, code] : cases) {
        OsVersionData d = Nt(6, 0, 0, kProductServer).version;  // ignored with the short structure
        d.extended = false;
        d.productOptionsType = productType;
        EXPECT_EQ(OsCodeFrom(d), code);
    }
}

}  // namespace
