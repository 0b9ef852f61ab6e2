#include "apply/guard_win.h"

#include <shlwapi.h>

#include "base/unique_handle_win.h"
#include "apply/apply_plan.h"
#include "apply/package_check_win.h"
#include "apply/processes_win.h"
#include "apply/replace_file_win.h"
#include "download/anomaly_win.h"
#include "manifest/file_version_win.h"
#include "manifest/installed_products.h"
#include "manifest/version.h"
#include "trust/image_file_win.h"
#include "trust/signature_win.h"

namespace {

constexpr DWORD kGuardStopPauseMs = 100;
constexpr int kAppearTests = 100;
constexpr DWORD kAppearPauseMs = 100;
constexpr DWORD kSyncSettleMs = 2000;

bool Exists(const std::wstring& path) {
    return PathFileExistsW(path.c_str()) != FALSE;
}

bool GuardEventOpens() {
    UniqueKernelHandle event(OpenEventW(EVENT_ALL_ACCESS, FALSE, kGuardQuitEvent));
    return event.Valid();
}

bool Passes(const std::wstring& path, const std::wstring& version) {
    std::wstring signer;
    return CheckPackage(path, version, signer);
}

// Sets the guard's quit event until it is gone (at most 50 rounds), remembering each guard
// process found for a relaunch.
void StopGuard(InstallHost& host, const UpdateItem& item) {
    for (int round = 0; round < kGuardStopRounds && GuardEventOpens(); ++round) {
        std::wstring name;
        if (FindGuardProcess(name)) {
            host.Installation().relaunch.push_back(
                RelaunchEntry{name, item.depend, item.runDirect, item.unattended});
        }
        UniqueKernelHandle event(OpenEventW(EVENT_ALL_ACCESS, FALSE, kGuardQuitEvent));
        if (event) {
            SetEvent(event.Get());
        }
        event.Reset();
        Sleep(kGuardStopPauseMs);
    }
}

// Puts a checked guard file in place of the installed one (written beside it and moved over
// it, retrying with repaired access); the new file is deleted once it is in place.
void CopyGuardFile(const std::wstring& source, const std::wstring& target) {
    if (SwapInFile(source, target, kGuardCopyPolicy)) {
        DeleteFileW(source.c_str());
    }
}

// The installers' check of a new guard file. A refused file is recorded and deleted from the
// upgrade folder (a failure path): left there, the next guard-upgrade run would install it.
bool PassesOrDeleted(const std::wstring& path, const std::wstring& version) {
    if (CheckPackageOrRecord(path, version)) {
        return true;
    }
    DeleteFileW(path.c_str());
    return false;
}

// The guard-upgrade run's check of a file it is about to install: no version is offered there,
// so the signer, the product check and a whole image decide. A refused file is recorded and
// deleted.
bool SyncSourceAccepted(const std::wstring& path) {
    std::wstring signer;
    if (VerifyPackageSignature(path, signer) && ProductCheck(path) && PackageIsWhole(path)) {
        return true;
    }
    RecordDownloadAnomaly(path, signer);
    DeleteFileW(path.c_str());
    return false;
}

}  // namespace

void DispatchGuardItem(InstallHost& host, const UpdateItem& item) {
    const GuardSelection selection = SelectGuardFiles(item.tag, host.Items());
    InstallSession& session = host.Installation();
    session.guardDllSelected = selection.librarySelected;
    session.guardExeSelected = selection.executableSelected;
    if (!selection.deferToExecutable) {
        ApplyGuardItem(host, item);
    }
}

void ApplyGuardItem(InstallHost& host, const UpdateItem& item) {
    const std::wstring& dir = host.ModuleDir();
    if (item.copyFile) {
        const InstallSession& session = host.Installation();
        const std::wstring build = GuardBuildName(item.tag);
        const std::wstring newExe = dir + L"upgrade\\" + build + L".exe";
        const std::wstring newDll = dir + L"upgrade\\" + build + L".dll";
        const std::wstring libraryVersion = GuardLibraryVersion(host.Items());
        bool stop = true;
        if (session.guardExeSelected) {
            stop = Passes(newExe, item.version);
        } else if (session.guardDllSelected) {
            stop = Passes(newDll, libraryVersion);
        }
        if (stop) {
            StopGuard(host, item);
        }
        if (session.guardDllSelected && PassesOrDeleted(newDll, libraryVersion)) {
            for (int test = 0; test < kAppearTests && !Exists(newDll); ++test) {
                Sleep(kAppearPauseMs);
            }
            CopyGuardFile(newDll, dir + build + L".dll");
        }
        if (session.guardExeSelected && PassesOrDeleted(newExe, item.version)) {
            CopyGuardFile(newExe, dir + build + L".exe");
        }
    }
    if (item.runDirect) {
        const std::wstring source = dir + L"upgrade\\" + item.fileName + L".exe";
        const std::wstring installedCopy = dir + L"\\" + item.tag + L".exe";
        if (!item.copyFile) {
            if (CheckPackageOrRecord(source, item.version)) {
                ShellOpen(nullptr, source, L"/fromtallix");
            }
        } else if (Passes(installedCopy, item.version)) {
            ShellOpen(nullptr, installedCopy, L"/fromtallix");
        }
    }
}

void SyncGuardFiles(InstallHost& host) {
    std::wstring target;
    for (const wchar_t* name :
         {L"wardel_x64.exe", L"wardel_x64.dll", L"wardel.dll", L"wardel.exe"}) {
        const std::wstring source = AppendPath(host.ModuleDir(), std::wstring(L"upgrade\\") + name);
        target = AppendPath(host.ModuleDir(), name);
        // A file that is not in the upgrade folder is passed over (the copy would only fail
        // for its 50 retries), and one that is refused is not installed.
        if (Exists(source) &&
            (!Exists(target) || IsNewer(FileProductVersion(target), FileProductVersion(source))) &&
            SyncSourceAccepted(source)) {
            SwapInFile(source, target, kGuardSyncPolicy);
        }
    }
    Sleep(kSyncSettleMs);
    ShellOpen(host.Hwnd(), target, L"/fromup");
}
