#include "app/session_rules.h"

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
