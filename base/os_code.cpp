#include "base/os_code.h"

#include "base/text.h"

bool IsServerProduct(const OsVersionData& data) {
    if (data.extended) {
        return data.productType == kProductServer;
    }
    return EqualsNoCase(data.productOptionsType, L"LANMANNT") ||
           EqualsNoCase(data.productOptionsType, L"SERVERNT");
}

namespace {

int Windows9xCode(const OsVersionData& d) {
    if (d.major == 4 && d.minor == 0) {
        return 3;
    }
    if (d.major == 4 && d.minor == 10) {
        return 8;
    }
    if (d.major == 4 && d.minor == 90) {
        return 10;
    }
    return 1;
}

// Windows 8 and later report 6.2 to programs that do not declare them; the registry tells the
// real release.
int ReportedAsWindows8Code(const OsVersionData& d, bool server) {
    int code = 27 + (server ? 1 : 0);
    if (d.currentVersion == L"6.3") {
        code = 30;
    } else if (d.currentVersion == L"6.4") {
        code = 31;
    }
    if (d.currentMajorVersionNumber == 10u) {
        code = 31;
    }
    return code;
}

int NtCode(const OsVersionData& d) {
    const bool server = IsServerProduct(d);
    if (d.major < 5) {
        return 6;
    }
    if (d.major == 5) {
        switch (d.minor) {
            case 0:
                return 11;
            case 1:
                return 13;
            case 2:
                return 15;
            default:
                return 1;
        }
    }
    if (d.major == 6) {
        switch (d.minor) {
            case 0:
                return server ? 21 : 19;
            case 1:
                return server ? 25 : 23;
            case 2:
                return ReportedAsWindows8Code(d, server);
            case 3:
                return 30;
            case 4:
                return 31;
            default:
                return 32;
        }
    }
    if (d.major == 10 && d.minor == 0) {
        return 31;
    }
    return 32;
}

}  // namespace

int OsCodeFrom(const OsVersionData& data) {
    switch (data.platformId) {
        case kPlatformWin32s:
            return 2;
        case kPlatformWindows9x:
            return Windows9xCode(data);
        case kPlatformNt:
            return NtCode(data);
        default:
            return 1;
    }
}
