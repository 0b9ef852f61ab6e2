#include "apply/calendar_record_win.h"

#include <shlwapi.h>

#include "base/command_line.h"
#include "base/text.h"
#include "base/unique_handle_win.h"
#include "apply/finish_rules.h"
#include "manifest/file_version_win.h"
#include "manifest/installed_products.h"
#include "base/registry_win.h"

namespace {

const wchar_t kCalendarKey[] = L"Software\\Orvane\\Dayloom";

bool Exists(const std::wstring& path) {
    return !path.empty() && PathFileExistsW(path.c_str()) != FALSE;
}

void SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// The notes of the first history entry of the product that has notes and a version.
std::wstring ProductNotes(const InstallHost& host, const std::wstring& productKey) {
    for (const HistoryNote& note : host.HistoryNotes()) {
        if (EqualsNoCase(note.tag, productKey) && !note.notes.empty() && !note.version.empty()) {
            return note.notes;
        }
    }
    return std::wstring();
}

}  // namespace

void WriteCalendarUpdateRecord(InstallHost& host) {
    UniqueRegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kCalendarKey, 0, nullptr, 0,
                        KEY_READ | KEY_WRITE | Wow64ViewModifier(), nullptr, key.Put(),
                        nullptr) != ERROR_SUCCESS) {
        return;
    }
    const std::wstring installDir =
        RegistryKey(HKEY_CURRENT_USER, kCalendarKey).ReadString(kValueInstallDir);
    const std::wstring installed =
        installDir.empty() ? std::wstring() : AppendPath(installDir, L"dayloom.exe");
    const std::wstring staged =
        StagedCalendarPackage(host.ModuleDir(), host.Decision().currentFileName);
    const std::wstring stagedVersion = Exists(staged) ? FileProductVersion(staged) : L"";
    const std::wstring installedVersion = Exists(installed) ? FileProductVersion(installed) : L"";
    switch (
        DecideCalendarRecord(Exists(installed), Exists(staged), stagedVersion, installedVersion)) {
        case CalendarRecord::kLeave:
            return;
        case CalendarRecord::kWrite: {
            SetString(key.Get(), kValueUpdatePath, staged);
            SetString(key.Get(), kValueUpdateVersion, host.Decision().currentVersion);
            const std::wstring notes = ProductNotes(host, Options().productKey);
            if (!notes.empty()) {
                SetString(key.Get(), kValueUpdateHistory, notes);
            }
            return;
        }
        case CalendarRecord::kDelete:
            for (const wchar_t* name :
                 {kValueUpdatePath, kValueUpdateVersion, kValueUpdateHistory}) {
                RegDeleteValueW(key.Get(), name);
            }
            return;
    }
}
