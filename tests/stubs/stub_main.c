/* A stand-in for one of the suite's programs: it carries a version resource (or none), notes
   each start by appending its command line to "<its own path>.log" (UTF-16), and ends at once
   with exit code 0. */
#include <windows.h>

int main(void) {
    wchar_t path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        lstrcatW(path, L".log");
        HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
        if (log != INVALID_HANDLE_VALUE) {
            const wchar_t* line = GetCommandLineW();
            DWORD written = 0;
            WriteFile(log, line, (DWORD)(lstrlenW(line) * sizeof(wchar_t)), &written, NULL);
            WriteFile(log, L"\r\n", 2 * sizeof(wchar_t), &written, NULL);
            CloseHandle(log);
        }
    }
    return 0;
}
