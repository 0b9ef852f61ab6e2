#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "base/command_line.h"
#include "download/download_jobs_win.h"
#include "download/job_host_win.h"
#include "base/registry_win.h"

namespace {

const wchar_t kShellFoldersKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr int kCreateRetries = 5;
constexpr DWORD kRetryPauseMs = 20;

// Makes sure `folder` exists; when it cannot be created, tries `retryFolder` a few more times
// (the program upgrade folder is what every job needs in the end).
void EnsureFolder(const std::wstring& folder, const std::wstring& retryFolder) {
    if (PathFileExistsW(folder.c_str()) || CreateDirectoryW(folder.c_str(), nullptr)) {
        return;
    }
    for (int i = 0; i < kCreateRetries; ++i) {
        if (CreateDirectoryW(retryFolder.c_str(), nullptr)) {
            return;
        }
        Sleep(kRetryPauseMs);
    }
}

}  // namespace

void EnsureUpgradeFolders(JobHost& host) {
    const std::wstring appData =
        RegistryKey(HKEY_CURRENT_USER, kShellFoldersKey).ReadString(L"AppData");
    wchar_t userFolder[MAX_PATH + 1] = {};
    if (appData.size() < MAX_PATH) {
        appData.copy(userFolder, appData.size());
        PathAppendW(userFolder, L"keldra\\upgrade");
    }
    host.SetUserUpgradeFolder(userFolder);
    if (userFolder[0] != L'\0') {
        SHCreateDirectoryExW(nullptr, userFolder, nullptr);
    }

    const std::wstring programFolder = host.ModuleDir() + L"upgrade";
    if (!Options().toolCodeGiven) {
        EnsureFolder(programFolder, programFolder);
        return;
    }
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    EnsureFolder(std::wstring(temp) + L"upgrade", programFolder);
}
