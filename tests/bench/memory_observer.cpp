// Watches the memory of one program from outside: starts it with the given arguments, reads its
// working set with GetProcessMemoryInfo every 20 ms until it ends, and prints the peak working
// set and peak pagefile usage it reported, as JSON. The program itself prints nothing.
// Usage: memory_observer.exe PROGRAM [ARGS...]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fputs("usage: memory_observer PROGRAM [ARGS...]\n", stderr);
        return 2;
    }
    std::wstring commandLine = L"\"" + std::wstring(argv[1]) + L"\"";
    for (int i = 2; i < argc; ++i) {
        commandLine += L" " + std::wstring(argv[i]);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::printf("{\"error\":%lu}\n", GetLastError());
        return 1;
    }
    SIZE_T peakWorkingSet = 0;
    SIZE_T peakPagefile = 0;
    int samples = 0;
    for (;;) {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        if (GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters)) {
            peakWorkingSet = std::max(peakWorkingSet, counters.PeakWorkingSetSize);
            peakPagefile = std::max(peakPagefile, counters.PeakPagefileUsage);
            ++samples;
        }
        if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) {
            break;
        }
    }
    std::printf("{\"peakWorkingSet\":%llu,\"peakPagefile\":%llu,\"samples\":%d}\n",
                static_cast<unsigned long long>(peakWorkingSet),
                static_cast<unsigned long long>(peakPagefile), samples);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
