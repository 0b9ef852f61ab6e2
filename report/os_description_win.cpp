#include <windows.h>

#include "manifest/file_version_win.h"
#include "report/error_box_win.h"
#include "report/os_description.h"
#include "base/os_version_win.h"

namespace {

using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);

template <typename Fn>
Fn Kernel32Function(const char* name) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    return kernel == nullptr
               ? nullptr
               : reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(kernel, name)));
}

OsDescriptionData ReadOsDescriptionData() {
    OsDescriptionData d;
    ReadOsVersionData(d.version);

    SYSTEM_INFO info = {};
    if (auto native = Kernel32Function<GetNativeSystemInfoFn>("GetNativeSystemInfo")) {
        native(&info);
    } else {
        GetSystemInfo(&info);
    }
    d.processorArchitecture = info.wProcessorArchitecture;

    if (d.version.platformId == kPlatformNt && d.version.major >= 6) {
        if (auto productInfo = Kernel32Function<GetProductInfoFn>("GetProductInfo")) {
            DWORD type = 0;
            if (productInfo(d.version.major, d.version.minor, 0, 0, &type)) {
                d.productInfoType = type;
            }
        }
    }
    d.serverR2 = GetSystemMetrics(SM_SERVERR2) != 0;
    d.mediaCenter = GetSystemMetrics(SM_MEDIACENTER) != 0;
    d.starter = GetSystemMetrics(SM_STARTER) != 0;
    d.tabletPc = GetSystemMetrics(SM_TABLETPC) != 0;
    return d;
}

}  // namespace

std::wstring DescribeOs() {
    return DescribeOsFrom(ReadOsDescriptionData());
}

int ShowErrorBox(HWND owner, const std::wstring& message, const std::wstring& title, UINT flags) {
    const std::wstring fullTitle = ErrorBoxTitle(title, FileFileVersion(std::wstring()));
    // The error value shown is always 0: the box reports a situation, not a system error.
    const std::wstring text = ErrorBoxText(message, DescribeOs(), 0);
    return MessageBoxW(owner, text.c_str(), fullTitle.c_str(), flags);
}
