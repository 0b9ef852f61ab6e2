#include "apply/processes_win.h"

#include <shellapi.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <vector>

#include "base/text.h"
#include "base/unique_handle_win.h"
#include "apply/apply_plan.h"
#include "apply/finish_rules.h"

namespace {

// Calls `visit` with every process of a snapshot until it answers false.
template <typename Visit>
void ForEachProcess(Visit visit) {
    UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.Get() == INVALID_HANDLE_VALUE) {
        snapshot.Release();
        return;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry)) {
        if (!visit(entry)) {
            return;
        }
    }
}

// The long form of a path: a program started by its 8.3 name (C:\PROGRA~2\...) is still seen
// in its folder. A path that cannot be resolved stays as it is.
std::wstring LongForm(const std::wstring& path) {
    if (path.empty()) {
        return path;
    }
    std::vector<wchar_t> buffer(MAX_PATH * 4);
    const DWORD length =
        GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) {
        return path;
    }
    return std::wstring(buffer.data(), length);
}

}  // namespace

std::wstring ProcessImagePath(DWORD processId) {
    // QueryFullProcessImageNameW reads any process's image, of either bitness, from Vista on; the
    // module list of the process serves older systems.
    using QueryImageName = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
    static const auto query = reinterpret_cast<QueryImageName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW")));
    if (query != nullptr) {
        UniqueKernelHandle process(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
        wchar_t path[MAX_PATH * 4] = {};
        DWORD size = MAX_PATH * 4;
        if (process && query(process.Get(), 0, path, &size)) {
            return std::wstring(path, size);
        }
    }
    UniqueKernelHandle modules(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId));
    if (modules.Get() == INVALID_HANDLE_VALUE) {
        modules.Release();
        return std::wstring();
    }
    MODULEENTRY32W module = {};
    module.dwSize = sizeof module;
    return Module32FirstW(modules.Get(), &module) ? std::wstring(module.szExePath) : std::wstring();
}

void TerminateByName(const std::wstring& name, const std::vector<std::wstring>& folders) {
    const std::wstring image = ToLowerAscii(name + L".exe");
    std::vector<std::wstring> longFolders;
    for (const std::wstring& folder : folders) {
        longFolders.push_back(LongForm(folder));
    }
    ForEachProcess([&](const PROCESSENTRY32W& entry) {
        if (ToLowerAscii(entry.szExeFile) == image &&
            ImageInFolders(LongForm(ProcessImagePath(entry.th32ProcessID)), longFolders)) {
            UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID));
            if (process) {
                TerminateProcess(process.Get(), 0);
            }
        }
        return true;
    });
}

bool FindGuardProcess(std::wstring& name) {
    bool found = false;
    ForEachProcess([&](const PROCESSENTRY32W& entry) {
        const std::wstring image = ToLowerAscii(entry.szExeFile);
        if (image == L"wardel.exe" || image == L"wardel_x64.exe") {
            name = image.substr(0, image.size() - 4);
            found = true;
        }
        return !found;
    });
    return found;
}

bool RunCommandLine(const std::wstring& commandLine, const std::wstring& workingDirectory) {
    STARTUPINFOW startup = {};
    GetStartupInfoW(&startup);
    // Only the show command is passed on: the updater's own standard handles are not.
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup,
                        &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

void ShellOpen(HWND owner, const std::wstring& file, const std::wstring& parameters) {
    ShellExecuteW(owner, L"open", file.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
                  nullptr, SW_SHOW);
}

void RunThroughExplorer(const std::wstring& program) {
    wchar_t explorer[MAX_PATH + 16] = {};
    GetWindowsDirectoryW(explorer, MAX_PATH);
    PathAppendW(explorer, L"explorer.exe");
    wchar_t directory[MAX_PATH + 16] = {};
    lstrcpynW(directory, explorer, MAX_PATH);
    PathRemoveFileSpecW(directory);
    RunCommandLine(ExplorerCommandLine(explorer, program), directory);
}

HWND FindTopWindow(const std::wstring& className) {
    return className.empty() ? nullptr : FindWindowW(className.c_str(), nullptr);
}
