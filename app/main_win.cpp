// Process entry of the updater.
#include <windows.h>

#include "app/command_line.h"
#include "report/os_code.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int) {
    SessionOptions& options = Options();
    options.commandLine = commandLine != nullptr ? commandLine : L"";
    ParseCommandLine(options.commandLine, options, GetOsCode);
    return 0;
}
