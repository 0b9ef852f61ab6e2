#include <windows.h>

#include <atomic>

#include "base/registry_win.h"
#include "base/os_code.h"
#include "base/os_version_win.h"

namespace {

const wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kProductOptionsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\ProductOptions";

// 0 until computed; written whole, so concurrent first calls simply compute the same value.
std::atomic<int> g_osCode{0};

// The fields both version structures have.
template <typename Info>
void CopyCommonFields(const Info& info, OsVersionData& data) {
    data.platformId = info.dwPlatformId;
    data.major = info.dwMajorVersion;
    data.minor = info.dwMinorVersion;
    data.build = info.dwBuildNumber;
    data.csdVersion = info.szCSDVersion;
}

}  // namespace

bool ReadOsVersionData(OsVersionData& data) {
    OSVERSIONINFOEXW ex = {};
    ex.dwOSVersionInfoSize = sizeof ex;
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&ex))) {
        data.extended = true;
        CopyCommonFields(ex, data);
        data.suiteMask = ex.wSuiteMask;
        data.productType = ex.wProductType;
    } else {
        OSVERSIONINFOW basic = {};
        basic.dwOSVersionInfoSize = sizeof basic;
        if (!GetVersionExW(&basic)) {
            return false;
        }
        data.extended = false;
        CopyCommonFields(basic, data);
        data.productOptionsType =
            RegistryKey(HKEY_LOCAL_MACHINE, kProductOptionsKey).ReadString(L"ProductType");
    }
    const RegistryKey current(HKEY_LOCAL_MACHINE, kCurrentVersionKey);
    data.currentVersion = current.ReadString(L"CurrentVersion");
    data.currentMajorVersionNumber = current.ReadDword(L"CurrentMajorVersionNumber");
    data.currentMinorVersionNumber = current.ReadDword(L"CurrentMinorVersionNumber");
    data.currentBuildNumber = current.ReadString(L"CurrentBuildNumber");
    return true;
}

bool VistaOrLater() {
    OsVersionData data;
    return ReadOsVersionData(data) && data.major >= 6;
}

int GetOsCode() {
    const int cached = g_osCode.load();
    if (cached != 0) {
        return cached;
    }
    OsVersionData data;
    if (!ReadOsVersionData(data)) {
        return 0;  // nothing cached: the next call asks again
    }
    const int code = OsCodeFrom(data);
    g_osCode.store(code);
    return code;
}
