#include "apply/relaunch_win.h"

#include <shlwapi.h>

#include "base/command_line.h"
#include "base/text.h"
#include "apply/finish_rules.h"
#include "apply/processes_win.h"
#include "manifest/installed_products.h"
#include "manifest/machine_win.h"
#include "base/registry_win.h"
#include "base/os_code.h"

namespace {

constexpr DWORD kOlderWindowPauseMs = 5;

bool Exists(const std::wstring& path) {
    return !path.empty() && PathFileExistsW(path.c_str()) != FALSE;
}

// The calendar started from its own install directory when its key names one that holds it.
std::wstring CalendarProgramOr(const std::wstring& exe) {
    const std::wstring directory =
        RegistryKey(HKEY_CURRENT_USER, L"Software\\Orvane\\Dayloom").ReadString(L"Install_Dir");
    if (directory.empty() || !PathIsDirectoryW(directory.c_str())) {
        return exe;
    }
    const std::wstring calendar = AppendPath(directory, L"dayloom.exe");
    return Exists(calendar) ? calendar : exe;
}

void Start(InstallHost& host, RelaunchTable table, const RelaunchEntry& entry, int osCode) {
    const std::wstring exe = host.ModuleDir() + entry.tag + L".exe";
    const RelaunchStart start = ChooseRelaunch(table, entry, osCode);
    switch (start) {
        case RelaunchStart::kExplorer:
            if (table == RelaunchTable::kEnforced && EqualsNoCase(entry.tag, L"dayloom")) {
                RunThroughExplorer(CalendarProgramOr(exe));
            } else {
                RunThroughExplorer(exe);
            }
            return;
        case RelaunchStart::kFennickExplorer: {
            const std::wstring fennick = FennickExecutablePath(WindowsProductProbe());
            if (Exists(fennick)) {
                RunThroughExplorer(fennick);
            }
            return;
        }
        default: {
            const ShellStart shell = ShellStartFor(start, host.Keldra6WasVisible());
            ShellOpen(shell.ownedByWindow ? host.Hwnd() : nullptr, exe, shell.parameters);
            return;
        }
    }
}

}  // namespace

void RelaunchAfterInstall(InstallHost& host, bool startGuard) {
    const int osCode = GetOsCode();
    // A copy: the starts below may not add entries, but the list is the window's.
    const RelaunchList entries = host.Installation().relaunch;
    for (const RelaunchEntry& entry : entries) {
        if (entry.runDirect) {
            continue;
        }
        if (ChooseRelaunch(RelaunchTable::kFinish, entry, osCode) == RelaunchStart::kGuard) {
            startGuard = false;
        }
        Start(host, RelaunchTable::kFinish, entry, osCode);
    }
    if (startGuard) {
        ShellOpen(host.Hwnd(), host.ModuleDir() + L"\\wardel.exe", L"-copyfile");
    }
    HWND older = FindWindowW(kOlderMainClass, nullptr);
    if (older != nullptr && RestartsOlderMainWindow(Options().productKey)) {
        PostMessageW(older, WM_CLOSE, 0, 0);
        Sleep(kOlderWindowPauseMs);
        ShellOpen(host.Hwnd(), host.ModuleDir() + L"\\keldra.exe", L"/fromtallix");
    }
}

void RelaunchAfterEnforced(InstallHost& host) {
    const int osCode = GetOsCode();
    const std::wstring& dir = host.ModuleDir();
    int missingCount = 0;
    const RelaunchList entries = host.Installation().relaunch;
    for (const RelaunchEntry& entry : entries) {
        if (entry.runDirect) {
            continue;
        }
        if (!entry.depend.empty()) {
            WaitForDependencies(
                entry.depend, [&](const std::wstring& name) { return Exists(dir + L"\\" + name); },
                [](int ms) { Sleep(static_cast<DWORD>(ms)); }, missingCount);
        }
        Start(host, RelaunchTable::kEnforced, entry, osCode);
    }
}
