// The session part of the plan: the check's outcome, the download job, the installing and
// relaunching, and the reports at close, in the order the updater's window runs them.
#pragma once

#include <string>

#include "base/command_line.h"
#include "manifest/settings_manifest.h"
#include "manifest/update_decision.h"
#include "manifest/update_list.h"
#include "tools/publish/plan.h"

struct PlanSession {
    Prediction& p;
    const MachineProfile& machine;
    SessionOptions& options;
    const PublishHosts& hosts;
    const UpdaterSettings& settings;
    UpgradeReaderState state;
    UpdateList items;
    DecisionResults results;
    std::wstring downloadHostName;
    std::wstring lastPackagePath;
    bool noticeWindow = false;  // the caller's window exists
    bool click = false;         // the user clicks the main button of the offer
};

// From the decision on: fills the outcome, downloads, closes, replacements, starts, records and
// the report requests of `s.p`.
void RunCheck(PlanSession& s);
