// The order of a session, and where each step lives:
//   1. Begin (here): the upgrade folders, the caller's notice window, the download hosts.
//   2. Check (session_check_win.cpp): the settings, upgrade and history manifests
//      (manifest/) and the update decision.
//   3. Outcome (session_check_win.cpp, chosen by session_rules.cpp): close at once, close after
//      five seconds, wait for a click, start a job, or hand the enforced items to a second,
//      hidden updater.
//   4. Job (here, and download/): the jobs download on their own threads and post their steps
//      to the window, which hands them here.
//   5. Install (apply/): the jobs' "done" messages go to the installers, which close and
//      replace the programs through this session's InstallHost side (session_host_win.cpp).
//   6. Finish (apply/): the programs start again, the caller gets its record, the window closes
//      (or waits for the button, Click).
//   7. Close (here): the old updater's backup goes, a running download stops, and the usage and
//      anomaly reports are sent (report/).
#include "app/session_win.h"

#include "app/notice_record.h"
#include "app/notice_win.h"
#include "app/session_rules.h"
#include "app/startup_win.h"
#include "apply/finish_win.h"
#include "base/command_line.h"
#include "base/job_step.h"
#include "base/session_state.h"
#include "build_values.h"
#include "download/download_host.h"
#include "download/download_jobs_win.h"
#include "manifest/machine_win.h"
#include "report/usage_report_win.h"

namespace {

constexpr DWORD kWaitStepMs = 100;

}  // namespace

UpdateSession::UpdateSession(SessionView& view) : view_(view) {
    Session().Reset();
}

void UpdateSession::Begin() {
    moduleDir_ = ModuleDirectory();
    EnsureUpgradeFolders(*this);
    SessionOptions& options = Options();
    if (options.noticeWindow == 0) {
        HWND caller = FindWindowW(options.fromValue.c_str(), nullptr);
        options.noticeWindow = static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(caller));
    }
    DownloadHostBase() = TALLIX_DOWNLOAD_HOST;
    upgrade_.downloadBase = DownloadHostBase();
    settings_.downloadAddress = TALLIX_DOWNLOAD_IP;  // until the settings manifest names one
    CheckForUpdates();
}

void UpdateSession::ApplyShowRule() {
    view_.ShowFrame(ShownAfterCheck(Options(), check_, Session().setupKind));
}

bool UpdateSession::SessionMessage(UINT message, LRESULT& result) {
    result = 0;
    switch (message) {
        case UM_DOWNLOAD_STEP:
            OnJobStep();
            return true;
        case UM_DOWNLOAD_DONE:
            result = OnDownloadDone(*this);
            return true;
        case UM_ENFORCE_DONE:
            result = OnEnforceDone(*this);
            return true;
        case UM_ENFORCE_STEP:
            result = OnEnforceStep(*this);
            return true;
        case UM_PACKAGE_STEP:
            result = OnPackageStep(*this);
            return true;
        case UM_PACKAGE_DONE:
            result = OnPackageDone(*this);
            return true;
        case UM_QUERY_ENFORCE:
            result = Options().enforce ? 1 : 0;
            return true;
        default:
            return false;
    }
}

// The normal job's step (the enforced and package steps are the installers' own handlers).
void UpdateSession::OnJobStep() {
    SessionState& session = Session();
    std::atomic<std::int32_t>& state = session.normalJobState;
    const StepAction action = StepFor(state, kNormalJobSteps);
    if (action.startThread) {
        StartJobOfKind();
    }
    if (action.reportProgress) {
        jobPercent_ = NormalDownloadPercent();
        view_.RepaintProgress();
        SendNotice(view_.Window(), kNoticeDownloading, static_cast<std::uint32_t>(jobPercent_));
    }
    if (action.countDownload) {
        ++session.downloadedCount;
    }
    if (action.reportFailure) {
        SendNotice(view_.Window(), kNoticeFailed, 100);
    }
    if (action.newState >= 0) {
        state = action.newState;
    }
    if (action.releaseJob) {
        session.jobIdle = true;
    }
}

void UpdateSession::StartJobOfKind() {
    switch (jobKind_) {
        case kJobNormalUpdate:
            StartNormalUpdateJob(*this);
            break;
        case kJobMainSetup:
            StartMainSetupJob(*this);
            break;
        case kJobSelfUpdate:
            CreateDirectoryW((moduleDir_ + L"upgrade").c_str(), nullptr);
            StartSelfUpdateJob(*this);
            break;
        default:
            break;
    }
}

void UpdateSession::PostJobStep(int startReason) {
    if (startReason != 0) {
        startReason_ = startReason;
    }
    PostMessageW(view_.Window(), UM_DOWNLOAD_STEP, 0, 0);
}

void UpdateSession::Click(const ClickAt& at) {
    SessionState& session = Session();
    ClickFacts facts;
    facts.at = at;
    facts.interactive = interactive_;
    facts.anyJobRunning = session.AnyJobRunning();
    facts.jobFinished = session.jobFinished;
    facts.suiteProduct = suiteProduct_;
    facts.productInstalled = productInstalled_;
    facts.productUpdatePending = session.productUpdatePending;
    facts.silent = Options().silent;
    const ClickPlan plan = DecideClick(facts);
    for (int i = 0; i < plan.count; ++i) {
        switch (plan.actions[i]) {
            case ClickAction::kCloseSession:
                CloseByClick();
                break;
            case ClickAction::kToggleHistory:
                ToggleHistory();
                break;
            case ClickAction::kFinish:
                view_.HideFrameAndShadow();
                RunFinishingAction(*this);
                view_.Close(true);
                break;
            case ClickAction::kStartUpdateJob:
                productInstalled_ = true;
                PostJobStep(2);
                break;
            case ClickAction::kInstallSuite:
                InstallSuite();
                break;
        }
    }
}

void UpdateSession::CloseByClick() {
    view_.HideAll();
    if (Session().normalJobState == kJobRunning) {
        StopNormalDownloader();
        Sleep(kWaitStepMs);
    }
    // An installation in progress is let finish; it runs on this thread inside a finishing
    // handler, so the flag can only still be set by a handler that is being unwound.
    while (installing_) {
        Sleep(kWaitStepMs);
    }
    view_.Close(true);
}

void UpdateSession::ToggleHistory() {
    SessionState& session = Session();
    view_.UnfoldHistory(!session.historyExpanded);
    session.historyExpanded = !session.historyExpanded;
}

// The suite's package job, started by the button or the suite link of a session that cannot
// update its product by itself.
void UpdateSession::InstallSuite() {
    SessionOptions& options = Options();
    options.toolCode = options.productKey == L"keldra" ? L"u122" : L"u59";
    options.productKey = L"keldra";
    options.toolCodeGiven = true;
    options.installPackage = true;
    options.suiteCaller = true;
    options.silent = false;
    StartPackageJob(*this);
    Session().setupKind = 1;
}

void UpdateSession::CallerRecord(WPARAM sender, const void* data, std::size_t size) {
    Options().noticeWindow = static_cast<std::uint32_t>(static_cast<UINT_PTR>(sender));
    if (data != nullptr && IsCloseRequest(static_cast<const std::uint8_t*>(data), size)) {
        view_.Close(true);
    }
}

void UpdateSession::StartAutoCloseTimer() {
    interactive_ = false;
    view_.StartTimer(kAutoCloseTimer, kAutoCloseMs);
}

void UpdateSession::Timer(UINT_PTR id) {
    // The timer is not killed: the window closes.
    if (id == kAutoCloseTimer) {
        view_.Close(false);
    }
}

void UpdateSession::PostClose() {
    view_.Close(false);
}

// The close sequence runs once: a close request that arrives while it runs (a caller's record, a
// finishing handler) finds the reports sent or being sent.
bool UpdateSession::CloseRequested() {
    if (closing_) {
        return false;
    }
    closing_ = true;
    view_.HideAll();
    if (!Session().handedOver) {
        RemoveOldVersion(moduleDir_);
    }
    if (Session().normalJobState == kJobRunning) {
        StopNormalDownloader();
        Sleep(kWaitStepMs);
    }
    SendUsageReports(moduleDir_, items_);
    PostQuitMessage(0);
    return true;
}
