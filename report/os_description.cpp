#include "report/os_description.h"

#include <cstdio>

namespace {

bool Has(std::uint16_t suiteMask, std::uint16_t suite) {
    return (suiteMask & suite) != 0;
}

std::wstring Edition(std::uint32_t productInfoType) {
    switch (productInfoType) {
        case 1:
            return L"旗舰版";
        case 2:
            return L"Home Basic Edition";
        case 3:
            return L"Home Premium Edition";
        case 4:
        case 10:
            return L"Enterprise Edition";
        case 6:
            return L"Business Edition";
        case 7:
            return L"Standard Edition";
        case 8:
            return L"Datacenter Edition";
        case 9:
            return L"Small Business Server";
        case 11:
            return L"Starter Edition";
        case 12:
            return L"Datacenter Edition (core installation)";
        case 13:
            return L"Standard Edition (core installation)";
        case 14:
            return L"Enterprise Edition (core installation)";
        case 15:
            return L"Enterprise Edition for Itanium-based Systems";
        case 17:
            return L"Web Server Edition";
        case 18:
            return L"HPC Server Edition";
        case 25:
            return L"Small Business Server Premium Edition";
        case 48:
            return L"专业版";
        default:
            return std::wstring();
    }
}

// Windows 8 and later: what the registry says decides, since such systems report 6.2 to
// programs that do not declare them. A system that reports its real version (6.3, 10.0) is
// named by it; anything newer is "later".
std::wstring Windows8OrLaterName(const OsVersionData& v) {
    std::wstring name;
    if (v.minor == 2 && v.major == 6) {
        if (v.currentVersion == L"6.2") {
            name = L"Windows 8 ";
        } else if (v.currentVersion == L"6.3") {
            name = L"Windows 8.1 ";
        } else if (v.currentVersion == L"6.4") {
            name = L"Windows 10 ";
        } else {
            name = L"Windows 更高版本 ";
        }
    } else if (v.major == 6 && v.minor == 3) {
        name = L"Windows 8.1 ";
    } else if ((v.major == 6 && v.minor == 4) || (v.major == 10 && v.minor == 0)) {
        name = L"Windows 10 ";
    } else {
        name = L"Windows 更高版本 ";
    }
    if (v.currentMajorVersionNumber == 10u) {
        name = L"Windows 10 ";
    }
    return name;
}

std::wstring VistaOrLaterName(const OsDescriptionData& d) {
    const OsVersionData& v = d.version;
    // Unlike the operating-system code, a domain controller is named as a server here.
    const bool workstation =
        v.extended ? v.productType == kProductWorkstation : !IsServerProduct(v);
    std::wstring name;
    if (v.major == 6 && v.minor == 0) {
        name = workstation ? L"Windows Vista " : L"Windows Server 2008 ";
    } else if (v.major == 6 && v.minor == 1) {
        name = workstation ? L"Windows 7 " : L"Windows Server 2008 R2 ";
    } else {
        name = Windows8OrLaterName(v);
    }
    if (d.productInfoType) {
        name += Edition(*d.productInfoType);
    }
    return name;
}

std::wstring Server2003Edition(const OsDescriptionData& d) {
    const std::uint16_t s = d.version.suiteMask;
    if (d.processorArchitecture == kArchIa64) {
        if (Has(s, kSuiteDatacenter)) {
            return L"Datacenter Edition for Itanium-based Systems";
        }
        return Has(s, kSuiteEnterprise) ? L"Enterprise Edition for Itanium-based Systems" : L"";
    }
    if (d.processorArchitecture == kArchAmd64) {
        if (Has(s, kSuiteDatacenter)) {
            return L"Datacenter x64 Edition";
        }
        return Has(s, kSuiteEnterprise) ? L"Enterprise x64 Edition" : L"Standard x64 Edition";
    }
    if (Has(s, kSuiteComputeServer)) {
        return L"Compute Cluster Edition";
    }
    if (Has(s, kSuiteDatacenter)) {
        return L"Datacenter Edition";
    }
    if (Has(s, kSuiteEnterprise)) {
        return L"Enterprise Edition";
    }
    return Has(s, kSuiteBlade) ? L"Web Edition" : L"Standard Edition";
}

std::wstring Nt52Name(const OsDescriptionData& d) {
    const OsVersionData& v = d.version;
    std::wstring name;
    if (d.serverR2) {
        name = L"Windows Server 2003 R2, ";
    } else if (Has(v.suiteMask, kSuiteStorageServer)) {
        name = L"Windows Storage Server 2003";
    } else if (Has(v.suiteMask, kSuiteHomeServer)) {
        name = L"Windows Home Server 2003";
    } else if (v.productType == kProductWorkstation && d.processorArchitecture == kArchAmd64) {
        name = L"Windows XP Professional x64 Edition";
    } else {
        name = L"Windows Server 2003, ";
    }
    if (v.productType != kProductWorkstation) {
        name += Server2003Edition(d);
    }
    return name;
}

std::wstring Nt51Name(const OsDescriptionData& d) {
    std::wstring name = L"Windows XP ";
    name += Has(d.version.suiteMask, kSuitePersonal) ? L"Home Edition" : L"Professional";
    if (d.mediaCenter) {
        name += L"Media Center Edition";
    } else if (d.starter) {
        name += L"Starter Edition";
    } else if (d.tabletPc) {
        name += L"Tablet PC Edition";
    }
    return name;
}

std::wstring Nt50Name(const OsDescriptionData& d) {
    const OsVersionData& v = d.version;
    std::wstring name = L"Windows 2000 ";
    if (v.productType == kProductWorkstation) {
        return name + L"Professional";
    }
    if (Has(v.suiteMask, kSuiteDatacenter)) {
        return name + L"Datacenter Server";
    }
    return name + (Has(v.suiteMask, kSuiteEnterprise) ? L"Advanced Server" : L"Server");
}

std::wstring NtBuildAndBits(const OsDescriptionData& d) {
    const OsVersionData& v = d.version;
    std::wstring build = v.currentBuildNumber;
    if (build.empty()) {
        build = std::to_wstring(v.build);
    }
    std::wstring text = L" (Build " + build + L")";
    if (build == L"9431") {
        text += L" Preview";
    }
    if (v.major > 5) {
        if (d.processorArchitecture == kArchAmd64) {
            text += L", 64-bit";
        } else if (d.processorArchitecture == kArchIntel) {
            text += L", 32-bit";
        }
    }
    return text;
}

std::wstring NtName(const OsDescriptionData& d) {
    const OsVersionData& v = d.version;
    if (v.major >= 6) {
        return VistaOrLaterName(d);
    }
    if (v.major == 5) {
        switch (v.minor) {
            case 2:
                return Nt52Name(d);
            case 1:
                return Nt51Name(d);
            case 0:
                return Nt50Name(d);
            default:
                return std::wstring();
        }
    }
    if (v.major == 4) {
        return L"Windows NT4 ";
    }
    return v.major == 3 ? L"Windows NT 3.51 " : L"";
}

// The second character of the service-pack text marks the later releases of the 9x line.
wchar_t ReleaseLetter(const OsVersionData& v) {
    return v.csdVersion.size() > 1 ? v.csdVersion[1] : L'\0';
}

std::wstring Windows9xName(const OsVersionData& v) {
    if (v.major != 4) {
        return std::wstring();
    }
    if (v.minor == 0) {
        const wchar_t r = ReleaseLetter(v);
        return (r == L'B' || r == L'C') ? L"Windows 95 OEM Service Release 2" : L"Windows 95";
    }
    if (v.minor == 10) {
        return ReleaseLetter(v) == L'A' ? L"Windows 98 Second Edition" : L"Windows 98";
    }
    return v.minor == 90 ? L"Windows Millennium Edition" : L"";
}

std::wstring WindowsCeName(const OsVersionData& v) {
    static const std::uint32_t kKnown[][2] = {{1, 0}, {2, 0}, {2, 1}, {2, 11}, {2, 12},
                                              {3, 0}, {4, 0}, {4, 1}, {4, 2},  {4, 21},
                                              {5, 0}, {5, 1}, {5, 2}, {6, 0}};
    std::wstring name = L"Windows CE ";
    for (const auto& known : kKnown) {
        if (known[0] == v.major && known[1] == v.minor) {
            name += std::to_wstring(v.major) + L"." + std::to_wstring(v.minor);
        }
    }
    return name;
}

}  // namespace

std::wstring DescribeOsFrom(const OsDescriptionData& d) {
    switch (d.version.platformId) {
        case kPlatformNt:
            return NtName(d) + NtBuildAndBits(d);
        case kPlatformWindows9x:
            return Windows9xName(d.version);
        case kPlatformCe:
            return WindowsCeName(d.version);
        default:
            return std::wstring();
    }
}

std::wstring ErrorBoxTitle(const std::wstring& title, const std::wstring& ownVersion) {
    return title + L" v" + ownVersion;
}

std::wstring ErrorBoxText(const std::wstring& message, const std::wstring& osDescription,
                          std::uint32_t error) {
    wchar_t hex[16];
    std::swprintf(hex, sizeof hex / sizeof hex[0], L"%x", static_cast<unsigned>(error));
    return message + L"\n\n操作系统：" + osDescription + L"\n\nError：" + hex;
}
