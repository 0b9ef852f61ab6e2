// Process entry of the updater.
#include <windows.h>
#include <objbase.h>
#include <commctrl.h>
#include <gdiplus.h>

#include <cstdlib>

#include "base/command_line.h"
#include "app/startup_win.h"
#include "base/os_code.h"

// The C++ library's default terminate handler prints the pending exception's demangled type,
// which links in the whole symbol demangler (some 45 KiB). Nothing here throws; a fatal library
// error ends the process without that text.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    SessionOptions& options = Options();
    options.commandLine = commandLine != nullptr ? commandLine : L"";
    ParseCommandLine(options.commandLine, options, GetOsCode);

    if (!PassWriteTest()) {
        return 0;
    }
    if (options.resetNew) {
        Relocate();
        return 0;
    }
    if (FindOtherInstance()) {
        return 0;
    }
    // The library initialisations are not checked: the window works without a theme or GDI+.
    CoInitialize(nullptr);
    DefWindowProcW(nullptr, 0, 0, 0);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    Gdiplus::GdiplusStartupInput gdiplusInput;
    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);

    const int result = Run(instance);

    CoUninitialize();
    Gdiplus::GdiplusShutdown(gdiplusToken);
    return result;
}
