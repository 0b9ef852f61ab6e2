// The session's decisions that need no window system: which outcome a check ends in, what a
// check with updates starts, and what a click on the window does. The session gathers the facts
// and carries the answer out; these functions only choose.
#pragma once

#include <array>
#include <string>

#include "base/command_line.h"
#include "ui/frame_rules.h"

// How a check ends once the upgrade manifest has been asked for, in the order they are tested.
enum class CheckOutcome {
    kNetworkFailure,  // no upgrade manifest: error box unless silent, failure record, close
    kSelfUpdate,      // a newer updater is offered: the self-update job
    kGuardUpkeep,     // "-guardupgrade": the guard component's upkeep run, then close
    kGuardTooSoon,    // a guard check within the hour after the last one: close
    kSuitePackage,    // a tool code: the suite package job
    kUpdates,         // some item needs its update
    kNoUpdates,
};

struct CheckFacts {
    bool manifestRead = false;
    bool updaterUpdate = false;     // the updater's own entry offers a newer build
    bool updatesAvailable = false;  // some item needs its update
};

// `guardTooSoon()` is called only in a guard check ("-guardx64") that gets that far: answering
// "not too soon" records this check's time. (The facts that must be asked lazily are callables
// passed in, not std::function, to keep the shipped program small.)
template <typename GuardTooSoon>
CheckOutcome DecideCheckOutcome(const SessionOptions& options, const CheckFacts& facts,
                                GuardTooSoon&& guardTooSoon) {
    if (!facts.manifestRead) {
        return CheckOutcome::kNetworkFailure;
    }
    if (facts.updaterUpdate) {
        return CheckOutcome::kSelfUpdate;
    }
    if (options.guardUpgrade) {
        return CheckOutcome::kGuardUpkeep;
    }
    if (options.guardX64 && guardTooSoon()) {
        return CheckOutcome::kGuardTooSoon;
    }
    if (options.toolCodeGiven) {
        return CheckOutcome::kSuitePackage;
    }
    return facts.updatesAvailable ? CheckOutcome::kUpdates : CheckOutcome::kNoUpdates;
}

// How a check without updates ends.
enum class NoUpdatesEnd {
    kFinished,        // silent or with notices: the finished record, close unseen
    kCountOnly,       // the version-6 main program: an update count of 0, close unseen
    kOfferMainSetup,  // the product is not installed: the window offers its setup
    kAutoClose,       // "up to date", closing after five seconds
};

// True for the version-6 main program, which takes an update count instead of notices.
bool IsVersion6Product(const SessionOptions& options);

// `productInstalled()` is called only where the answer matters.
template <typename ProductInstalled>
NoUpdatesEnd DecideNoUpdatesEnd(const SessionOptions& options,
                                ProductInstalled&& productInstalled) {
    if (options.silent || options.notice) {
        return NoUpdatesEnd::kFinished;
    }
    if (IsVersion6Product(options)) {
        return NoUpdatesEnd::kCountOnly;
    }
    return productInstalled() ? NoUpdatesEnd::kAutoClose : NoUpdatesEnd::kOfferMainSetup;
}

// The setup kind of a session whose product is one of the two setup programs: 1 (pinnace) or
// 2 (dayloom) when silent, else 0; `current` for any other product.
int SetupKindFor(const SessionOptions& options, int current);

struct UpdatesFacts {
    bool enforcedPending = false;        // an enforced item needs its update
    bool ordinaryPending = false;        // an item that is not enforced needs its update
    bool productIsEnforcedItem = false;  // the product itself is among the enforced items
    int setupKind = 0;                   // after SetupKindFor
};

// What a check with updates starts.
struct UpdatesPlan {
    bool startEnforcedJob = false;  // "-enforce" with enforced items: the enforced job
    bool close = false;             // "-enforce" without: nothing for this updater to do
    bool handOffEnforced = false;   // a second, hidden updater takes the enforced items
    bool closeOffScreen = false;    // silent, and the hand-off left nothing: close unseen
    bool autoClose = false;         // shown, and the hand-off left nothing: the five seconds
    int startReason = 0;            // 1 or 2: the first job step is posted at once
    bool showPage = true;           // the history page is built (when there are records)
};

UpdatesPlan DecideUpdatesPlan(const SessionOptions& options, const UpdatesFacts& facts);

// The command line of the second updater that takes the enforced items.
std::wstring SecondUpdaterArguments(const SessionOptions& options);

// True for the suite's main program lines ("helvor" and "keldra", exactly): the session updates
// the main program itself, and its button installs the suite's package.
bool IsSuiteProduct(const SessionOptions& options);

// How a check ended: its outcome and, for the last two outcomes, how they end.
struct CheckEnd {
    CheckOutcome outcome = CheckOutcome::kNoUpdates;
    NoUpdatesEnd noUpdates = NoUpdatesEnd::kFinished;  // when the outcome is kNoUpdates
    UpdatesPlan updates{};                             // when the outcome is kUpdates
};

// The setup kind a check leaves: 1 for the suite package job, the setup products' own kind when
// updates were found (SetupKindFor), else the upgrade manifest's.
int SetupKindAfterCheck(const SessionOptions& options, CheckOutcome outcome, int manifestKind);

// What the window holds once the check has ended, and the last steps of the check, taken in this
// order: the five-second close, the close, the first job step (so a step posted after the close
// finds no window).
struct WindowAfterCheck {
    int jobKind = 0;           // the job that a job step or the button starts (JobKind)
    bool autoClose = false;    // closes itself after five seconds; only the close box answers
    bool closePosted = false;  // the session ends without showing the window
    bool postJobStep = false;  // the first job step is posted
    int startReason = 0;       // the step's start reason, when not 0
};

WindowAfterCheck WindowAfter(const CheckEnd& end);

// Whether the window is shown once the check has ended: the window's show rule, except that a
// check that has posted the close ends unseen (no flash of the window before the close).
bool ShownAfterCheck(const SessionOptions& options, const CheckEnd& end, int setupKind);

// What a click does, in the order it is done.
enum class ClickAction {
    kCloseSession,    // the close box: stop, wait for an install to end, close
    kToggleHistory,   // the bottom bar: unfold or fold the history panel
    kFinish,          // the button after the job: install, start the programs again, close
    kStartUpdateJob,  // the button: the update job of an installed or updatable product
    kInstallSuite,    // the button or the suite link: the suite package
};

struct ClickFacts {
    ClickAt at;
    bool interactive = true;  // false once the window only waits to close by itself
    bool anyJobRunning = false;
    bool jobFinished = false;
    bool suiteProduct = false;  // the session updates the suite's main program itself
    bool productInstalled = false;
    bool productUpdatePending = false;
    bool silent = false;
};

// The actions of one click, in order: at most the bar's, the button's and the suite link's.
struct ClickPlan {
    std::array<ClickAction, 3> actions{};
    int count = 0;
};

ClickPlan DecideClick(const ClickFacts& facts);
