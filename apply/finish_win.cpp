#include "apply/finish_win.h"

#include <shellapi.h>

#include "base/command_line.h"
#include "base/job_step.h"
#include "base/session_state.h"
#include "base/text.h"
#include "apply/apply_item_win.h"
#include "apply/calendar_record_win.h"
#include "apply/finish_rules.h"
#include "apply/guard_win.h"
#include "apply/package_check_win.h"
#include "apply/relaunch_win.h"
#include "download/anomaly_win.h"
#include "download/download_jobs_win.h"
#include "manifest/file_version_win.h"
#include "trust/signature_win.h"

namespace {

constexpr std::uint32_t kStatusDownloading = 1;
constexpr std::uint32_t kStatusFinished = 2;
constexpr std::uint32_t kStatusFailed = 3;
constexpr DWORD kItemPauseMs = 5;
constexpr DWORD kEnforcedSettleMs = 50;

bool Ready(const UpdateItem& item) {
    return item.updateNeeded && item.packageOk;
}

bool ReadyEnforced(const UpdateItem& item) {
    return item.updateNeeded && item.enforce && item.packageOk;
}

void CloseWindow(InstallHost& host) {
    if (host.Hwnd() != nullptr) {
        SendMessageW(host.Hwnd(), WM_CLOSE, 0, 0);
    }
}

// The downloaded updater replaces this one through a second process, when it is what the
// manifest offers and newer than the installed one; otherwise it is recorded.
void HandOverToNewUpdater(InstallHost& host) {
    const std::wstring newPath = host.ModuleDir() + L"upgrade\\tallix.exe";
    const std::wstring currentPath = host.ModuleDir() + L"tallix.exe";
    HandoverFacts facts;
    facts.listEmpty = host.Items().empty();
    if (!facts.listEmpty) {
        facts.firstEntryVersion = host.Items().front()->version;
    }
    facts.newVersion = FileProductVersion(newPath);
    facts.currentVersion = FileProductVersion(currentPath);
    std::wstring signer;
    facts.signatureAccepted = VerifyPackageSignature(newPath, signer);
    facts.productAccepted = ProductCheck(newPath);
    if (ShouldHandOver(facts)) {
        const HINSTANCE started =
            ShellExecuteW(nullptr, L"open", newPath.c_str(),
                          HandoverParameters(Options().commandLine).c_str(), L"", SW_SHOW);
        Session().handedOver = reinterpret_cast<INT_PTR>(started) > 32;
    } else {
        RecordDownloadAnomaly(newPath, signer);
    }
    CloseWindow(host);
}

// The caller wants only its own product: close, then apply what it names; nothing relaunches.
void InstallForCaller(InstallHost& host) {
    const std::wstring& productKey = Options().productKey;
    const std::wstring& dependency = host.Decision().targetDependency;
    auto wanted = [&](const UpdateItem& item) {
        return Ready(item) && CallerWantsItem(item.tag, productKey, dependency);
    };
    for (auto& item : host.Items()) {
        if (wanted(*item)) {
            CloseItemProgram(host, *item);
        }
    }
    for (auto& item : host.Items()) {
        if (wanted(*item)) {
            ApplyItem(host, *item);
        }
    }
    host.SetInstalling(false);
    host.SendCallerRecord(kStatusFinished, 100);
    CloseWindow(host);
}

}  // namespace

LRESULT OnDownloadDone(InstallHost& host) {
    SessionState& session = Session();
    session.jobFinished = true;
    host.SetDisplayedPercent(100);
    host.SetStartReason(3);
    session.normalJobState = kJobDownloaded;
    const DownloadDoneEnd end =
        DecideDownloadDone(Options(), host.CurrentJobKind(), session.setupKind);
    if (end == DownloadDoneEnd::kHandOver) {
        HandOverToNewUpdater(host);
        return 0;
    }
    host.SetInstalling(true);
    for (auto& item : host.Items()) {
        if (ReadyEnforced(*item)) {
            CloseItemProgram(host, *item);
        }
    }
    // Enforced items that the normal job brought are applied now and never again.
    for (auto& item : host.Items()) {
        if (item->updateNeeded && item->enforce) {
            if (item->packageOk) {
                ApplyItem(host, *item);
            }
            item->updateNeeded = false;
        }
    }
    if (end == DownloadDoneEnd::kInstallForCaller) {
        InstallForCaller(host);
        return 0;
    }
    host.SetInstalling(false);
    if (end == DownloadDoneEnd::kWaitForClick) {
        host.ShowForClick();
        host.RepaintWindow();
        return 0;
    }
    if (IsCalendarSetupKey(Options().productKey)) {
        WriteCalendarUpdateRecord(host);
    }
    if (end == DownloadDoneEnd::kInstallAndRelaunch) {
        host.HideAllWindows();
        InstallAndRelaunch(host);
    }
    CloseWindow(host);
    return 0;
}

void InstallAndRelaunch(InstallHost& host) {
    const int jobKind = host.CurrentJobKind();
    if (jobKind == kJobMainSetup) {
        RunSuiteSetupFromUpgrade(host);
        return;
    }
    if (jobKind != kJobNormalUpdate) {
        return;
    }
    for (auto& item : host.Items()) {
        if (Ready(*item)) {
            CloseItemProgram(host, *item);
        }
    }
    bool startGuard = false;
    for (auto& item : host.Items()) {
        Sleep(kItemPauseMs);
        if (Ready(*item)) {
            ApplyItem(host, *item);
        }
        startGuard = startGuard || EqualsNoCase(item->fileName, L"wardel") ||
                     EqualsNoCase(item->fileName, L"wardel_x64");
    }
    RelaunchAfterInstall(host, startGuard);
}

void RunFinishingAction(InstallHost& host) {
    InstallAndRelaunch(host);
}

LRESULT OnEnforceDone(InstallHost& host) {
    host.SetStartReason(3);
    for (auto& item : host.Items()) {
        if (ReadyEnforced(*item)) {
            CloseItemProgram(host, *item);
        }
    }
    for (auto& item : host.Items()) {
        Sleep(kItemPauseMs);
        if (ReadyEnforced(*item)) {
            ApplyItem(host, *item);
        }
    }
    Sleep(kEnforcedSettleMs);
    if (Options().notice) {
        host.SendCallerRecord(kStatusFinished, 100);
    }
    RelaunchAfterEnforced(host);
    if (Options().enforce) {
        CloseWindow(host);
    }
    return 0;
}

LRESULT OnPackageDone(InstallHost& host) {
    RunSuiteSetupFromTemp(host);
    return 0;
}

LRESULT OnEnforceStep(InstallHost& host) {
    SessionState& session = Session();
    const StepAction action = StepFor(session.enforcedJobState, kEnforcedJobSteps);
    const SessionOptions& options = Options();
    const bool caller = options.notice && options.noticeWindow != 0;
    if (action.reportProgress && caller) {
        host.SendCallerRecord(kStatusDownloading,
                              static_cast<std::uint32_t>(EnforcedDownloadPercent()));
    }
    if (action.reportFailure && caller) {
        host.SendCallerRecord(kStatusFailed, 100);
    }
    if (action.newState >= 0) {
        session.enforcedJobState = action.newState;
    }
    if (action.releaseJob) {
        session.jobIdle = true;
    }
    return 0;
}

LRESULT OnPackageStep(InstallHost& host) {
    SessionState& session = Session();
    const StepAction action = StepFor(session.packageJobState, kPackageJobSteps);
    if (action.reportProgress) {
        host.SetDisplayedPercent(PackageDownloadPercent());
        host.RepaintProgress();
    }
    if (action.newState >= 0) {
        session.packageJobState = action.newState;
    }
    if (action.releaseJob) {
        session.jobIdle = true;
    }
    return 0;
}

void RunGuardUpgrade(InstallHost& host) {
    SyncGuardFiles(host);
}
