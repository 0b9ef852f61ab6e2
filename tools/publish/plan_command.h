// The plan command: what the updater would do on each described machine with these manifests.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "build_values.h"

// The servers the predicted updater talks to; a release build's by default.
struct PublishHosts {
    std::wstring manifest = TALLIX_MANIFEST_HOST;
    std::wstring download = TALLIX_DOWNLOAD_HOST;
    std::wstring downloadIp = TALLIX_DOWNLOAD_IP;
    std::wstring statistics = TALLIX_STATISTICS_HOST;
    // The updater release being published: the version of the suite's tallix.exe on a machine
    // whose profile does not name one (the updater is always installed beside the suite).
    std::wstring release = TALLIX_VERSION_WTEXT;
};

// Prints the prediction for each profile (one machine: a plan; several: a table of machines and
// entries). Returns 0 when every run is predicted whole, 1 when a run has parts the plan cannot
// predict (listed as "not predicted"), 2 when a profile could not be read.
// With `click`, a window that offers updates is clicked on its main button.
// With `keys`, the run is predicted for an updater built with those release keys
// (tools/publish/plan_release.h).
struct ReleaseKeysOption;
int RunPlanCommand(const std::string& manifests, const std::vector<std::string>& profiles,
                   const std::string& switches, bool click, const PublishHosts& hosts, bool json,
                   std::ostream& out, std::ostream& err, const ReleaseKeysOption* keys = nullptr);
