#include "apply/apply_item_win.h"

#include <shlwapi.h>

#include "base/command_line.h"
#include "apply/apply_plan.h"
#include "apply/guard_win.h"
#include "apply/package_check_win.h"
#include "apply/processes_win.h"
#include "apply/replace_file_win.h"
#include "download/anomaly_win.h"
#include "download/download_records.h"
#include "manifest/file_version_win.h"
#include "manifest/installed_products.h"
#include "manifest/machine_win.h"
#include "trust/signature_win.h"

namespace {

constexpr DWORD kCloseRoundMs = 50;
constexpr int kCloseRounds = 10;
constexpr int kFennickTerminations = 10;
const wchar_t kFromTallix[] = L"/fromtallix";

bool Exists(const std::wstring& path) {
    return !path.empty() && PathFileExistsW(path.c_str()) != FALSE;
}

void PostClose(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
}

std::wstring DirectoryOf(const std::wstring& path) {
    const std::size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// Where the programs live that the updater may end by image name: the suite's folder and the
// folders where the calendar and the sibling products record their installation, with the
// second place of the sibling's "upgrade.exe".
std::vector<std::wstring> SuiteFolders(InstallHost& host) {
    const ProductProbe probe = WindowsProductProbe();
    return {host.ModuleDir(), DirectoryOf(CalendarExecutablePath(probe)),
            DirectoryOf(FennickExecutablePath(probe)), DirectoryOf(MarlowExecutablePath(probe)),
            DirectoryOf(MarlowUpgradeInLocalAppData(LocalAppDataFolder()))};
}

// Copies a verified package over `target`; the package is deleted only after a good copy, so a
// failure leaves it in the upgrade folder and the installed file as it was.
void ReplaceChecked(const std::wstring& source, const std::wstring& target,
                    const std::wstring& version) {
    ClearReadOnly(target);
    if (!CheckPackageOrRecord(source, version)) {
        return;
    }
    if (ReplaceFile(source, target)) {
        DeleteFileW(source.c_str());
    }
}

void ReplaceFennick(const std::wstring& source, const UpdateItem& item) {
    const std::wstring target = FennickExecutablePath(WindowsProductProbe());
    if (!Exists(target)) {
        return;
    }
    ReplaceChecked(source, target, item.version);
    DeleteFileW(FennickLeftoverPath(target).c_str());
}

// The sibling's separate "upgrade.exe": first into its install directory (product check only,
// the package kept), then the second place is the target of the ordinary copy.
std::wstring UpgradeSiblingTarget(const std::wstring& source, const std::wstring& installed) {
    const ProductProbe probe = WindowsProductProbe();
    const std::wstring firstPlace = MarlowUpgradePath(probe);
    if (firstPlace.empty()) {
        return installed;
    }
    if (ProductCheck(source)) {
        ReplaceFile(source, firstPlace);
    }
    return MarlowUpgradeInLocalAppData(LocalAppDataFolder());
}

void RunInstaller(InstallHost& host, const ApplyPlan& plan, const UpdateItem& item,
                  const std::wstring& source) {
    switch (plan.run) {
        case RunBranch::kNone:
            return;
        case RunBranch::kSourceChecked:
        case RunBranch::kSourceUnchecked:
            if (plan.hideWindowFirst) {
                host.HideFrameAndShadowWindows();
            }
            if (plan.run == RunBranch::kSourceChecked &&
                !CheckPackageOrRecord(source, item.version)) {
                return;
            }
            ShellOpen(nullptr, source, kFromTallix);
            return;
        case RunBranch::kInstalledCopy: {
            const std::wstring installedCopy = host.ModuleDir() + L"\\" + item.fileName;
            std::wstring signer;
            if (CheckPackage(installedCopy, item.version, signer)) {
                ShellOpen(nullptr, installedCopy, kFromTallix);
            }
            return;
        }
    }
}

void CloseWindowOfClass(InstallHost& host, const std::wstring& className, const UpdateItem& item) {
    HWND window = FindTopWindow(className);
    if (window != nullptr) {
        PostClose(window);
        WaitProgramGone(host, window, item);
    }
}

}  // namespace

void ApplyItem(InstallHost& host, UpdateItem& item) {
    const ApplyPlan plan =
        PlanApplyItem(item, Anomalies().HasFileName(item.fileName), Options().directRunInterface);
    if (plan.guard) {
        DispatchGuardItem(host, item);
        return;
    }
    if (plan.skip) {
        return;
    }
    CloseItemProgram(host, item);
    if (plan.terminateFennick) {
        const std::vector<std::wstring> folders = SuiteFolders(host);
        for (int i = 0; i < kFennickTerminations; ++i) {
            TerminateByName(L"f-fennick", folders);
        }
    }
    const std::wstring source = host.ModuleDir() + L"upgrade\\" + item.fileName;
    const std::wstring installed = host.ModuleDir() + item.fileName;
    switch (plan.copy) {
        case CopyBranch::kNone:
            break;
        case CopyBranch::kFennick:
            ReplaceFennick(source, item);
            break;
        case CopyBranch::kCopyFile:
            ReplaceChecked(source, installed, item.version);
            break;
        case CopyBranch::kUpgradeSibling:
            ReplaceChecked(source, UpgradeSiblingTarget(source, installed), item.version);
            break;
    }
    RunInstaller(host, plan, item, source);
}

void CloseItemProgram(InstallHost& host, const UpdateItem& item) {
    const ClosePlan plan = PlanCloseItem(item, Options().fromCalendar);
    if (plan.relaunchCalendar) {
        host.Installation().relaunch.push_back(RelaunchEntry{L"dayloom", L"", false, true});
    }
    for (const std::wstring& className : plan.classes) {
        CloseWindowOfClass(host, className, item);
    }
}

void WaitProgramGone(InstallHost& host, HWND window, const UpdateItem& item) {
    if (window == nullptr) {
        return;
    }
    host.Installation().relaunch.push_back(RelaunchEntryFor(item));
    const std::vector<std::wstring> folders = SuiteFolders(host);
    PostClose(window);
    Sleep(kCloseRoundMs);
    TerminateByName(item.tag, folders);
    HWND again = FindTopWindow(item.className);
    for (int round = 0; IsWindow(again) && round < kCloseRounds; ++round) {
        PostClose(again);
        Sleep(kCloseRoundMs);
        TerminateByName(item.tag, folders);
        again = FindTopWindow(item.className);
    }
}

void RunSuiteSetupFromUpgrade(InstallHost& host) {
    // The name the download job stored the package under; a name the reader refused runs nothing.
    const std::wstring& fileName = host.UpgradeState().mainSetupFileName;
    if (!fileName.empty()) {
        ShellOpen(host.Hwnd(), host.ModuleDir() + L"upgrade\\" + fileName, std::wstring());
    }
    SendMessageW(host.Hwnd(), WM_CLOSE, 0, 0);
}

void RunSuiteSetupFromTemp(InstallHost& host) {
    host.HideFrameAndShadowWindows();
    host.SetStartReason(3);
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring path = std::wstring(temp) + L"\\keldrasetup_" + Options().toolCode + L".exe";
    std::wstring signer;
    const bool accepted = !FileProductVersion(path).empty() &&
                          VerifyPackageSignature(path, signer) && ProductCheck(path);
    if (!accepted) {
        RecordDownloadAnomaly(path, signer);
    } else if (!Options().noRun) {
        ShellOpen(nullptr, path, std::wstring());
    }
    SendMessageW(host.Hwnd(), WM_CLOSE, 0, 0);
}
