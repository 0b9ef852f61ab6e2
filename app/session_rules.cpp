#include "app/session_rules.h"

#include "base/session_state.h"
#include "base/text.h"

bool IsVersion6Product(const SessionOptions& options) {
    return EqualsNoCase(options.productKey, L"keldra6");
}

int SetupKindFor(const SessionOptions& options, int current) {
    if (Contains(options.productKey, L"pinnacesetup")) {
        return options.silent ? 1 : 0;
    }
    if (Contains(options.productKey, L"dayloomsetup")) {
        return options.silent ? 2 : 0;
    }
    return current;
}

UpdatesPlan DecideUpdatesPlan(const SessionOptions& options, const UpdatesFacts& facts) {
    UpdatesPlan plan;
    if (options.enforce) {
        plan.startEnforcedJob = facts.enforcedPending;
        plan.close = !facts.enforcedPending;
        return plan;
    }
    if (facts.enforcedPending) {
        plan.handOffEnforced = true;
        if (!facts.ordinaryPending) {
            if (!options.silent) {
                plan.autoClose = true;
                plan.showPage = false;
                return plan;
            }
            // The close is posted first, so a job step posted after it finds no window.
            plan.closeOffScreen = true;
        }
    }
    const int kind = facts.setupKind;
    if (kind == 1 || kind == 2 || (options.notice && !facts.productIsEnforcedItem) ||
        options.execute) {
        plan.startReason = 1;
    } else if (options.directRunInterface) {
        plan.startReason = 2;
    }
    return plan;
}

std::wstring SecondUpdaterArguments(const SessionOptions& options) {
    if (!options.notice) {
        return L"-keldra -silent -enforce";
    }
    return L"-" + options.productKey + L" -silent -enforce -notice -from:" + options.fromValue;
}

bool IsSuiteProduct(const SessionOptions& options) {
    return options.productKey == L"helvor" || options.productKey == L"keldra";
}

int SetupKindAfterCheck(const SessionOptions& options, CheckOutcome outcome, int manifestKind) {
    if (outcome == CheckOutcome::kSuitePackage) {
        return 1;
    }
    return outcome == CheckOutcome::kUpdates ? SetupKindFor(options, manifestKind) : manifestKind;
}

WindowAfterCheck WindowAfter(const CheckEnd& end) {
    WindowAfterCheck after;
    switch (end.outcome) {
        case CheckOutcome::kNetworkFailure:
            after.jobKind = kJobSelfUpdate;
            after.closePosted = true;
            break;
        case CheckOutcome::kSelfUpdate:
            after.jobKind = kJobSelfUpdate;
            after.postJobStep = true;
            break;
        case CheckOutcome::kGuardUpkeep:
        case CheckOutcome::kGuardTooSoon:
            after.closePosted = true;
            break;
        case CheckOutcome::kSuitePackage:
            break;
        case CheckOutcome::kNoUpdates:
            after.jobKind =
                end.noUpdates == NoUpdatesEnd::kOfferMainSetup ? kJobMainSetup : kJobNone;
            after.autoClose = end.noUpdates == NoUpdatesEnd::kAutoClose;
            after.closePosted = end.noUpdates == NoUpdatesEnd::kFinished ||
                                end.noUpdates == NoUpdatesEnd::kCountOnly;
            break;
        case CheckOutcome::kUpdates:
            after.jobKind = kJobNormalUpdate;
            after.autoClose = end.updates.autoClose;
            after.closePosted = end.updates.close || end.updates.closeOffScreen;
            after.postJobStep = end.updates.startReason != 0;
            after.startReason = end.updates.startReason;
            break;
    }
    return after;
}

bool ShownAfterCheck(const SessionOptions& options, const CheckEnd& end, int setupKind) {
    ShowInputs in;
    in.enforce = options.enforce;
    in.silent = options.silent;
    in.notice = options.notice;
    in.execute = options.execute;
    in.updatesAvailable = end.outcome == CheckOutcome::kUpdates;
    in.setupKind = setupKind;
    return ShouldShowFrame(in) && !WindowAfter(end).closePosted;
}

ClickPlan DecideClick(const ClickFacts& facts) {
    ClickPlan plan;
    const auto add = [&plan](ClickAction action) { plan.actions[plan.count++] = action; };
    if (facts.at.close) {
        add(ClickAction::kCloseSession);
        return plan;
    }
    if (!facts.interactive) {
        return plan;
    }
    if (facts.at.bar) {
        add(ClickAction::kToggleHistory);
    }
    if (facts.anyJobRunning) {
        return plan;  // no second job while one transfers
    }
    // The suite link below reads the state as the button's action left it.
    bool installed = facts.productInstalled;
    bool silent = facts.silent;
    if (facts.at.button) {
        if (facts.jobFinished) {
            add(ClickAction::kFinish);
            return plan;
        }
        if (!facts.suiteProduct && (installed || facts.productUpdatePending)) {
            add(ClickAction::kStartUpdateJob);
            installed = true;
        } else {
            add(ClickAction::kInstallSuite);
            silent = false;
        }
    }
    if (facts.at.suiteLink && !silent && !installed && facts.productUpdatePending) {
        add(ClickAction::kInstallSuite);
    }
    return plan;
}
