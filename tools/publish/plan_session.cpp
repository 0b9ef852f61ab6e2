// The check's outcome and the window, chosen by the updater's own session rules: the outcome of
// the check, how a check without updates ends, what a check with updates starts, the setup kind,
// the hand-off to a second updater, the window after the check and what a click does.
#include "app/notice_record.h"
#include "app/session_rules.h"
#include "apply/finish_rules.h"
#include "base/session_state.h"
#include "base/text.h"
#include "manifest/installed_products.h"
#include "manifest/update_decision.h"
#include "tools/publish/plan_session.h"
#include "ui/frame_picture.h"

namespace {

// What the session knows of its product once the check has run.
struct ProductFacts {
    bool installed = false;
    bool updatePending = false;
};

// The window's first text line in the state the check leaves it in.
std::wstring TitleLine(const PlanSession& s, const CheckEnd& end, int setupKind,
                       const ProductFacts& product) {
    const WindowAfterCheck after = WindowAfter(end);
    FrameView view;
    view.displayName = s.results.currentName;
    view.targetVersion = s.results.currentVersion;
    view.suiteCaller = s.options.suiteCaller;
    view.silent = s.options.silent;
    view.productUpdatePending = product.updatePending;
    view.updatesAvailable = end.outcome == CheckOutcome::kUpdates;
    view.setupKind = setupKind;
    view.pendingCount = ProductPendingCount(s.items, s.options.productKey);
    view.packageCount = PackageCount(s.items, IsSuiteProduct(s.options));
    view.jobKind = after.jobKind;
    view.interactive = !after.autoClose;
    view.productInstalled = product.installed;
    view.startReason = after.startReason;
    const FramePicture picture = PlanFrame(view, Rect{}, Rect{});
    return picture.texts.empty() ? std::wstring() : picture.texts.front().text;
}

void SelfUpdate(PlanSession& s) {
    Prediction& p = s.p;
    p.selfUpdate = true;
    p.why = L"the manifest offers a newer updater";
    for (const auto& item : s.items) {
        if (item->tag != kUpdaterTag)
            continue;
        p.requests.push_back(HostPath(item->downloadUrl));
        p.starts.push_back({s.machine.suiteDirectory + L"upgrade\\tallix.exe",
                            HandoverParameters(s.options.commandLine), L"shell"});
        break;
    }
    p.outcome = L"the updater updates itself first; the new copy then runs the same check";
    p.unpredicted.push_back(L"what the new updater does after it replaced this one");
}

void NoUpdates(PlanSession& s, CheckEnd& end, ProductFacts& product) {
    s.p.why = L"no entry offers a newer version than the machine has";
    end.noUpdates = DecideNoUpdatesEnd(s.options, [&] {
        product.installed = MainProgramPresent(s.machine.suiteDirectory, s.options.productKey,
                                               s.machine.Machine().probe);
        return product.installed;
    });
    if (end.noUpdates == NoUpdatesEnd::kFinished)
        PlanNotice(s, kNoticeFinished, true);
    else if (end.noUpdates == NoUpdatesEnd::kCountOnly)
        PlanUpdateCount(s, 0);
}

void Updates(PlanSession& s, CheckEnd& end, int setupKind, ProductFacts& product) {
    Prediction& p = s.p;
    const SessionOptions& o = s.options;
    p.why = L"entries offer newer versions";
    int ordinary = 0;
    for (const auto& item : s.items)
        ordinary += NeedsOrdinaryUpdate(*item) ? 1 : 0;
    if (IsVersion6Product(o))
        PlanUpdateCount(s, ordinary);
    product.installed =
        MainProgramPresent(s.machine.suiteDirectory, o.productKey, s.machine.Machine().probe);
    product.updatePending = TargetUpdateAvailable(s.items, o.productKey);
    p.requests.push_back(ManifestPath(ManifestKind::kHistory, s.variant));
    UpdatesFacts facts;
    facts.enforcedPending = AnyItem(s.items, NeedsEnforcedUpdate);
    facts.ordinaryPending = AnyItem(s.items, NeedsOrdinaryUpdate);
    for (const auto& item : s.items)
        facts.productIsEnforcedItem |= item->enforce && EqualsNoCase(item->tag, o.productKey);
    facts.setupKind = setupKind;
    end.updates = DecideUpdatesPlan(o, facts);
    if (end.updates.startEnforcedJob) {
        p.outcome = L"the enforced job runs hidden";
        p.unpredicted.push_back(L"the enforced job's downloads and installation");
    } else if (end.updates.handOffEnforced) {
        p.starts.push_back(
            {s.machine.suiteDirectory + L"tallix.exe", SecondUpdaterArguments(o), L"hidden"});
        p.unpredicted.push_back(L"what the second, hidden updater does with the enforced items");
        for (auto& item : s.items) {
            if (item->enforce)
                item->updateNeeded = false;
        }
        p.outcome = L"a second updater takes the enforced items; ";
    }
}

// A window that waits for a click, and the click on its main button when the plan makes one.
void WaitForClick(PlanSession& s, const WindowAfterCheck& after, int setupKind,
                  const ProductFacts& product) {
    Prediction& p = s.p;
    ClickFacts facts;
    facts.at.button = true;
    facts.suiteProduct = IsSuiteProduct(s.options);
    facts.productInstalled = product.installed;
    facts.productUpdatePending = product.updatePending;
    facts.silent = s.options.silent;
    const ClickPlan click = DecideClick(facts);
    const bool installsSuite = click.count > 0 && click.actions[0] == ClickAction::kInstallSuite;
    if (after.jobKind == kJobMainSetup) {
        p.outcome += L"the window offers to install the product and waits for a click";
    } else {
        p.outcome +=
            installsSuite
                ? L"the window offers the updates; a click installs the whole suite package"
                : L"the window offers the updates and waits for a click";
    }
    if (!s.click)
        return;
    if (installsSuite) {
        p.unpredicted.push_back(L"the suite package job that the click starts");
    } else if (after.jobKind == kJobNormalUpdate) {
        p.outcome += L"; the click starts the downloads";
        PlanDownloads(s);
        PlanDownloadDone(s, setupKind, s.keldra6Visible);
    } else {
        p.unpredicted.push_back(L"the job that the click starts");
    }
}

// What follows a check that found updates, or none: the close, the five seconds, the downloads
// or the wait for a click.
void FollowCheck(PlanSession& s, const WindowAfterCheck& after, int setupKind,
                 const ProductFacts& product) {
    Prediction& p = s.p;
    if (after.closePosted) {
        p.outcome += L"closes at once; no window";
    } else if (after.autoClose) {
        p.outcome += !p.windowShown ? L"closes after 5 seconds; no window"
                     : after.jobKind == kJobNone
                         ? L"the window says all is up to date and closes after 5 seconds"
                         : L"the window closes after 5 seconds";
    } else if (after.postJobStep) {
        p.outcome += p.windowShown ? L"the downloads start at once"
                                   : L"the downloads start at once; no window";
        PlanDownloads(s);
        PlanDownloadDone(s, setupKind, s.keldra6Visible);
    } else if (!p.windowShown) {
        p.outcome += L"no window: the updater waits until its caller closes it";
    } else {
        WaitForClick(s, after, setupKind, product);
    }
}

}  // namespace

void RunCheck(PlanSession& s) {
    Prediction& p = s.p;
    const SessionOptions& o = s.options;
    s.noticeWindow = s.machine.WindowExists(o.fromValue, false) || o.noticeWindow != 0;
    s.keldra6Visible = s.machine.WindowExists(L"_Keldra6", true);
    CheckFacts facts;
    facts.manifestRead = true;  // a missing manifest is read as the host's answer (see PredictRun)
    facts.updaterUpdate = UpdaterUpdateAvailable(s.items);
    facts.updatesAvailable = AnyItem(s.items, NeedsUpdate);
    p.updatesNeeded = facts.updatesAvailable;
    CheckEnd end;
    end.outcome = DecideCheckOutcome(o, facts, [&p] {
        p.unpredicted.push_back(
            L"whether the last guard check was less than an hour ago (the updater's \"uptime\" "
            L"value); the plan takes it to be longer");
        return false;
    });
    const int setupKind = SetupKindAfterCheck(o, end.outcome, s.state.setupKind);
    ProductFacts product;
    switch (end.outcome) {
        case CheckOutcome::kNetworkFailure:  // not reached: see facts.manifestRead
        case CheckOutcome::kGuardTooSoon:    // not reached: the last check is taken as long ago
            break;
        case CheckOutcome::kSelfUpdate:
            SelfUpdate(s);
            break;
        case CheckOutcome::kGuardUpkeep:
            p.outcome = L"guard component upkeep; the updater closes";
            p.unpredicted.push_back(L"the guard component's upkeep");
            break;
        case CheckOutcome::kSuitePackage:
            p.outcome = L"the suite package job starts";
            p.unpredicted.push_back(L"the suite package job");
            break;
        case CheckOutcome::kNoUpdates:
            NoUpdates(s, end, product);
            break;
        case CheckOutcome::kUpdates:
            Updates(s, end, setupKind, product);
            break;
    }
    p.windowShown = ShownAfterCheck(o, end, setupKind);
    if (p.windowShown)
        p.titleLine = TitleLine(s, end, setupKind, product);
    if (end.outcome == CheckOutcome::kNoUpdates ||
        (end.outcome == CheckOutcome::kUpdates && !end.updates.startEnforcedJob)) {
        FollowCheck(s, WindowAfter(end), setupKind, product);
    }
    PlanReports(s);
}
