// The session part of the plan: the check's outcome and the window (plan_session.cpp), the normal
// job, the installing and relaunching and the reports at close (plan_install.cpp), in the order
// the updater's window runs them and chosen by the updater's own session, finish and apply rules.
#pragma once

#include <string>

#include "base/command_line.h"
#include "manifest/manifest_text.h"
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
    UpgradeReaderState state{};
    UpdateList items{};
    DecisionResults results{};
    ManifestVariant variant = ManifestVariant::kClassic;  // of the upgrade and history manifests
    std::wstring downloadHostName{};
    std::wstring lastPackagePath{};
    bool noticeWindow = false;    // the caller's window exists
    bool keldra6Visible = false;  // the version-6 main window is shown at check time
    bool click = false;           // the user clicks the main button of the offer
};

// From the decision on: fills the outcome, the window, downloads, closes, replacements, starts,
// records and the report requests of `s.p`.
void RunCheck(PlanSession& s);

// The normal job: every item that needs an update and is not enforced, in list order.
void PlanDownloads(PlanSession& s);

// What the normal job's end does with the setup kind of the session.
void PlanDownloadDone(PlanSession& s, int setupKind, bool keldra6Visible);

// A record to the caller's window, when there is one; `onlyWithNotice`: and the run has
// "-notice" (the progress and outcome notices; the finishing record of a caller's own run goes
// to its window whatever the switches).
void PlanNotice(PlanSession& s, int status, bool onlyWithNotice);

// The update count to the version-6 main window, when it exists.
void PlanUpdateCount(PlanSession& s, int count);

// The requests of the close: the sibling report when the sibling's entry needs an update.
void PlanReports(PlanSession& s);

// The host path of a URL, without its query.
std::wstring HostPath(const std::wstring& url);
