// The check that starts every session: the manifests, the decision, and the one outcome of the
// session (close at once, close after five seconds, wait for a click, start a job, or hand the
// enforced items to a second, hidden updater). The choices are session_rules.cpp's; this file
// gathers their facts and carries them out.
#include <windows.h>
#include <shellapi.h>

#include "app/notice_record.h"
#include "app/notice_win.h"
#include "app/release_check.h"
#include "app/session_rules.h"
#include "app/session_win.h"
#include "app/uptime.h"
#include "apply/finish_win.h"
#include "base/command_line.h"
#include "base/session_state.h"
#include "base/text.h"
#include "build_values.h"
#include "download/download_jobs_win.h"
#include "manifest/com_ptr_win.h"
#include "manifest/file_version_win.h"
#include "manifest/history_win.h"
#include "manifest/installed_products.h"
#include "manifest/machine_win.h"
#include "manifest/manifest_readers_win.h"
#include "base/registry_win.h"

namespace {

const wchar_t kNetworkErrorText[] = L"网络连接异常\r请检查是否有杀毒或者卫士程序拦截";
const wchar_t kNetworkErrorCaption[] = L"Helvor升级提示";

double LocalNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return ToOleDate(LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond});
}

}  // namespace

void UpdateSession::RunDecision() {
    DecideUpdates(items_, DecisionOptionsFrom(Options()), WindowsDecisionMachine(moduleDir_),
                  decision_);
}

bool UpdateSession::ProductInstalled() const {
    return MainProgramPresent(moduleDir_, Options().productKey, WindowsProductProbe());
}

void UpdateSession::CheckForUpdates() {
    SessionOptions& options = Options();
    SessionState& session = Session();
    suiteProduct_ = IsSuiteProduct(options);

    // A build with release keys trusts no manifest before its signed release index: an index it
    // cannot fetch or accept ends the check as an unreachable manifest host does.
    ReleaseCheck* release = BuiltInReleaseCheck();
    if (release != nullptr && !release->Open(TALLIX_MANIFEST_HOST)) {
        EndWithoutManifest();
        return;
    }
    {
        ComApartment com;  // each manifest reader runs in its own COM initialisation
        FetchSettingsManifest(document_, TALLIX_MANIFEST_HOST, settings_);
    }
    UpgradeManifestOutcome upgrade;
    {
        ComApartment com;  // each manifest reader runs in its own COM initialisation
        UpgradeManifestRequest request;
        request.hostOrigin = TALLIX_MANIFEST_HOST;
        request.moduleDir = moduleDir_;
        request.version6Switch = settings_.version6Switch;
        request.targetProduct = options.productKey;
        request.runUpdateDecision = [this] {
            // The dependency list starts from the target's own depend text as the reader found
            // it; the decision appends the depend texts of installed components.
            decision_.targetDependency = upgrade_.targetDependency;
            RunDecision();
        };
        upgrade = FetchUpgradeManifest(document_, request, upgrade_, items_);
    }
    if (release != nullptr && upgrade.fetched) {
        release->Keep();
    }

    CheckFacts facts;
    facts.manifestRead = upgrade.fetched;
    facts.updaterUpdate = upgrade.fetched && UpdaterUpdateAvailable(items_);
    facts.updatesAvailable = AnyItem(items_, NeedsUpdate);
    check_.outcome = DecideCheckOutcome(options, facts, [this] { return GuardCheckTooSoon(); });
    session.setupKind = SetupKindAfterCheck(options, check_.outcome, upgrade_.setupKind);
    switch (check_.outcome) {
        case CheckOutcome::kNetworkFailure:
            EndWithoutManifest();
            return;
        case CheckOutcome::kSelfUpdate:
            break;
        case CheckOutcome::kGuardUpkeep:
            RunGuardUpgrade(*this);
            view_.HideFrame();
            break;
        case CheckOutcome::kGuardTooSoon:
            view_.HideFrame();
            break;
        case CheckOutcome::kSuitePackage:
            StartPackageJob(*this);
            break;
        case CheckOutcome::kUpdates:
        case CheckOutcome::kNoUpdates:
            keldra6Visible_ = Keldra6WindowVisible();
            WriteHistoryTemplate(HistoryPagePath());
            session.updatesAvailable = facts.updatesAvailable;
            if (facts.updatesAvailable) {
                FinishWithUpdates();
            } else {
                FinishWithoutUpdates();
            }
            break;
    }
    EndCheck();
}

// The window's side of the check's end (session_rules.cpp chooses it from the outcome).
void UpdateSession::EndCheck() {
    const WindowAfterCheck after = WindowAfter(check_);
    jobKind_ = after.jobKind;
    if (after.autoClose) {
        StartAutoCloseTimer();
    }
    if (after.closePosted) {
        PostClose();
    }
    if (after.postJobStep) {
        PostJobStep(after.startReason);
    }
}

// The upgrade manifest (or, in a build with release keys, an index it accepts) could not be had:
// the user (unless silent) and the caller are told, and the session closes.
void UpdateSession::EndWithoutManifest() {
    check_.outcome = CheckOutcome::kNetworkFailure;
    if (!Options().silent) {
        view_.ShowErrorBox(kNetworkErrorText, kNetworkErrorCaption);
    }
    SendNotice(view_.Window(), kNoticeFailed, 100);
    EndCheck();
}

// True when this guard check comes too soon after the last one and must end; otherwise records
// now as the time of the last check.
bool UpdateSession::GuardCheckTooSoon() {
    const double now = LocalNow();
    const RegistryKey key = UpdaterRegistryKey();
    if (GuardCheckRateLimited(DecodeUptime(key.ReadBinary(kValueUptime)), now,
                              Options().commandLine)) {
        return true;
    }
    key.WriteBinary(kValueUptime, EncodeUptime(now));  // a failure leaves the old value
    return false;
}

void UpdateSession::FinishWithoutUpdates() {
    const SessionOptions& options = Options();
    const auto installed = [this] {
        productInstalled_ = ProductInstalled();
        return productInstalled_;
    };
    check_.noUpdates = DecideNoUpdatesEnd(options, installed);
    switch (check_.noUpdates) {
        case NoUpdatesEnd::kFinished:
            DeleteTree(moduleDir_ + L"\\upgrade", true);
            SendNotice(view_.Window(), kNoticeFinished, 100);
            view_.HideFrameAndShadow();
            return;
        case NoUpdatesEnd::kCountOnly:
            view_.HideFrameAndShadow();
            SendUpdateCount(view_.Window(), 0);
            return;
        case NoUpdatesEnd::kOfferMainSetup:  // the window offers to install the product
            return;
        case NoUpdatesEnd::kAutoClose:
            DeleteTree(moduleDir_ + L"\\upgrade", true);
            return;
    }
}

void UpdateSession::FinishWithUpdates() {
    const SessionOptions& options = Options();
    SessionState& session = Session();

    std::uint32_t ordinary = 0;
    for (const auto& item : items_) {
        ordinary += NeedsOrdinaryUpdate(*item) ? 1 : 0;
    }
    if (IsVersion6Product(options)) {
        SendUpdateCount(view_.Window(), ordinary);
    }
    productInstalled_ = ProductInstalled();
    session.productUpdatePending = TargetUpdateAvailable(items_, options.productKey);
    const bool pageRecords =
        ReadHistoryManifest(document_, moduleDir_, settings_.version6Switch, items_);
    RunDecision();

    UpdatesFacts facts;
    facts.enforcedPending = AnyItem(items_, NeedsEnforcedUpdate);
    facts.ordinaryPending = AnyItem(items_, NeedsOrdinaryUpdate);  // as the history left them
    for (const auto& item : items_) {
        facts.productIsEnforcedItem |= item->enforce && EqualsNoCase(item->tag, options.productKey);
    }
    facts.setupKind = session.setupKind;
    check_.updates = DecideUpdatesPlan(options, facts);
    const UpdatesPlan& plan = check_.updates;

    if (plan.startEnforcedJob) {
        StartEnforcedJob(*this);
    }
    if (plan.handOffEnforced) {
        HandOffEnforcedItems();
    }
    if (plan.closeOffScreen) {
        view_.MoveOffScreen();
        view_.HideFrameAndShadow();
    }
    if (plan.showPage && pageRecords) {
        ShowHistoryPage();
    }
}

// A second, hidden updater takes the enforced items; this one keeps the others.
void UpdateSession::HandOffEnforcedItems() {
    const std::wstring arguments = SecondUpdaterArguments(Options());
    ShellExecuteW(nullptr, L"open", OwnExecutablePath().c_str(), arguments.c_str(), L"", SW_HIDE);
    for (auto& item : items_) {
        if (item->enforce) {
            item->updateNeeded = false;
        }
    }
}

void UpdateSession::ShowHistoryPage() {
    const SessionOptions& options = Options();
    HistoryPageInputs in;
    in.mainProductLine = suiteProduct_;
    in.targetUpdateAvailable = Session().productUpdatePending;
    in.suiteMode = options.suiteCaller;
    in.targetProduct = options.productKey;
    in.announcement = settings_.announcement;
    if (BuildHistoryPage(items_, in)) {
        view_.ShowHistoryPage(HistoryPagePath());
    }
}
