#include "report/os_description.h"

#include <gtest/gtest.h>

namespace {

OsDescriptionData Nt(std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                     std::uint8_t productType = kProductWorkstation,
                     std::uint16_t arch = kArchAmd64) {
    OsDescriptionData d;
    d.version.platformId = kPlatformNt;
    d.version.major = major;
    d.version.minor = minor;
    d.version.build = build;
    d.version.productType = productType;
    d.processorArchitecture = arch;
    return d;
}

TEST(DescribeOs, VistaAndLater) {
    struct Case {
        OsDescriptionData data;
        std::wstring text;
    };
    OsDescriptionData win7 = Nt(6, 1, 7601);
    win7.productInfoType = 1;
    win7.version.currentBuildNumber = L"7601";
    OsDescriptionData dc = Nt(6, 1, 7600, kProductDomainController);
    OsDescriptionData server2008 = Nt(6, 0, 6002, kProductServer, kArchIntel);
    server2008.productInfoType = 7;
    OsDescriptionData win10 = Nt(6, 2, 9200);
    win10.version.currentVersion = L"6.3";
    win10.version.currentMajorVersionNumber = 10u;
    win10.version.currentBuildNumber = L"19045";
    win10.productInfoType = 48;
    OsDescriptionData win81 = Nt(6, 2, 9200, kProductWorkstation, kArchIntel);
    win81.version.currentVersion = L"6.3";
    OsDescriptionData win8 = Nt(6, 2, 9200);
    win8.version.currentVersion = L"6.2";
    win8.productInfoType = 99;  // unknown edition adds nothing
    OsDescriptionData later = Nt(6, 2, 9200);
    later.version.currentVersion = L"6.5";
    OsDescriptionData preview = Nt(6, 2, 9431);
    preview.version.currentVersion = L"6.4";
    OsDescriptionData itanium = Nt(6, 0, 6000, kProductServer, kArchIa64);
    const Case cases[] = {
        {Nt(6, 0, 6000), L"Windows Vista  (Build 6000), 64-bit"},
        {server2008, L"Windows Server 2008 Standard Edition (Build 6002), 32-bit"},
        {win7, L"Windows 7 旗舰版 (Build 7601), 64-bit"},
        {dc, L"Windows Server 2008 R2  (Build 7600), 64-bit"},
        {win10, L"Windows 10 专业版 (Build 19045), 64-bit"},
        {win81, L"Windows 8.1  (Build 9200), 32-bit"},
        {win8, L"Windows 8  (Build 9200), 64-bit"},
        {later, L"Windows 更高版本  (Build 9200), 64-bit"},
        {preview, L"Windows 10  (Build 9431) Preview, 64-bit"},
        {itanium, L"Windows Server 2008  (Build 6000)"},
        {Nt(10, 0, 19045), L"Windows 10  (Build 19045), 64-bit"},
        {Nt(6, 3, 9600), L"Windows 8.1  (Build 9600), 64-bit"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DescribeOsFrom(c.data), c.text);
    }
}

TEST(DescribeOs, EditionTable) {
    const std::pair<std::uint32_t, std::wstring> editions[] = {
        {1, L"旗舰版"},
        {2, L"Home Basic Edition"},
        {3, L"Home Premium Edition"},
        {4, L"Enterprise Edition"},
        {6, L"Business Edition"},
        {7, L"Standard Edition"},
        {8, L"Datacenter Edition"},
        {9, L"Small Business Server"},
        {10, L"Enterprise Edition"},
        {11, L"Starter Edition"},
        {12, L"Datacenter Edition (core installation)"},
        {13, L"Standard Edition (core installation)"},
        {14, L"Enterprise Edition (core installation)"},
        {15, L"Enterprise Edition for Itanium-based Systems"},
        {17, L"Web Server Edition"},
        {18, L"HPC Server Edition"},
        {25, L"Small Business Server Premium Edition"},
        {48, L"专业版"},
        {5, L""},
        {16, L""},
    };
    for (const auto& [type, edition] : editions) {
        OsDescriptionData d = Nt(6, 1, 7601);
        d.productInfoType = type;
        EXPECT_EQ(DescribeOsFrom(d), L"Windows 7 " + edition + L" (Build 7601), 64-bit") << type;
    }
}

TEST(DescribeOs, WindowsXpAndServer2003) {
    struct Case {
        OsDescriptionData data;
        std::wstring text;
    };
    auto xp = [](std::uint16_t suite) {
        OsDescriptionData d = Nt(5, 1, 2600, kProductWorkstation, kArchIntel);
        d.version.suiteMask = suite;
        return d;
    };
    OsDescriptionData media = xp(0);
    media.mediaCenter = true;
    media.tabletPc = true;
    OsDescriptionData tablet = xp(0);
    tablet.tabletPc = true;
    auto s2003 = [](std::uint16_t suite, std::uint16_t arch, std::uint8_t type = kProductServer) {
        OsDescriptionData d = Nt(5, 2, 3790, type, arch);
        d.version.suiteMask = suite;
        return d;
    };
    OsDescriptionData r2 = s2003(kSuiteEnterprise, kArchIntel);
    r2.serverR2 = true;
    const Case cases[] = {
        {xp(0), L"Windows XP Professional (Build 2600)"},
        {xp(kSuitePersonal), L"Windows XP Home Edition (Build 2600)"},
        {media, L"Windows XP ProfessionalMedia Center Edition (Build 2600)"},
        {tablet, L"Windows XP ProfessionalTablet PC Edition (Build 2600)"},
        {s2003(0, kArchAmd64, kProductWorkstation),
         L"Windows XP Professional x64 Edition (Build 3790)"},
        {s2003(0, kArchIntel), L"Windows Server 2003, Standard Edition (Build 3790)"},
        {s2003(kSuiteBlade, kArchIntel), L"Windows Server 2003, Web Edition (Build 3790)"},
        {s2003(kSuiteComputeServer | kSuiteDatacenter, kArchIntel),
         L"Windows Server 2003, Compute Cluster Edition (Build 3790)"},
        {s2003(kSuiteDatacenter, kArchAmd64),
         L"Windows Server 2003, Datacenter x64 Edition (Build 3790)"},
        {s2003(0, kArchAmd64), L"Windows Server 2003, Standard x64 Edition (Build 3790)"},
        {s2003(kSuiteEnterprise, kArchIa64),
         L"Windows Server 2003, Enterprise Edition for Itanium-based Systems (Build 3790)"},
        {r2, L"Windows Server 2003 R2, Enterprise Edition (Build 3790)"},
        {s2003(kSuiteStorageServer, kArchIntel),
         L"Windows Storage Server 2003Standard Edition (Build 3790)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DescribeOsFrom(c.data), c.text);
    }
}

TEST(DescribeOs, OlderSystems) {
    auto with = [](std::uint32_t platform, std::uint32_t major, std::uint32_t minor,
                   const wchar_t* csd = L"", std::uint8_t type = kProductWorkstation,
                   std::uint16_t suite = 0) {
        OsDescriptionData d = Nt(major, minor, 1381, type, kArchIntel);
        d.version.platformId = platform;
        d.version.csdVersion = csd;
        d.version.suiteMask = suite;
        return d;
    };
    EXPECT_EQ(DescribeOsFrom(with(kPlatformNt, 5, 0)), L"Windows 2000 Professional (Build 1381)");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformNt, 5, 0, L"", kProductServer, kSuiteEnterprise)),
              L"Windows 2000 Advanced Server (Build 1381)");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformNt, 5, 0, L"", kProductServer, kSuiteDatacenter)),
              L"Windows 2000 Datacenter Server (Build 1381)");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformNt, 5, 0, L"", kProductServer)),
              L"Windows 2000 Server (Build 1381)");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformNt, 4, 0)), L"Windows NT4  (Build 1381)");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformNt, 3, 51)), L"Windows NT 3.51  (Build 1381)");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformWindows9x, 4, 0)), L"Windows 95");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformWindows9x, 4, 0, L" C")),
              L"Windows 95 OEM Service Release 2");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformWindows9x, 4, 10)), L"Windows 98");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformWindows9x, 4, 10, L" A")), L"Windows 98 Second Edition");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformWindows9x, 4, 90)), L"Windows Millennium Edition");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformCe, 2, 11)), L"Windows CE 2.11");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformCe, 4, 21)), L"Windows CE 4.21");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformCe, 7, 0)), L"Windows CE ");
    EXPECT_EQ(DescribeOsFrom(with(kPlatformWin32s, 3, 11)), L"");
}

TEST(ErrorBox, TitleAndText) {
    EXPECT_EQ(ErrorBoxTitle(L"升级程序", L"3.2.0.17"), L"升级程序 v3.2.0.17");
    const std::wstring text =
        ErrorBoxText(L"无法连接服务器", L"Windows 7  (Build 7601), 64-bit", 0);
    EXPECT_EQ(text, L"无法连接服务器\n\n操作系统：Windows 7  (Build 7601), 64-bit\n\nError：0");
    EXPECT_EQ(ErrorBoxText(L"m", L"d", 0x80004005u), L"m\n\n操作系统：d\n\nError：80004005");
}

}  // namespace
