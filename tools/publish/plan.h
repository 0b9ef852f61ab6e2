// The prediction of one updater run on one described machine: the updater's own command-line
// parser, manifest readers, update decision, job table, apply and relaunch rules and window
// texts, driven in the order in which a session calls them. Packages are taken to arrive whole,
// with the offered version and the maker's signature (what the packages command checks).
#pragma once

#include <string>
#include <vector>

#include "tools/publish/machine_profile.h"
#include "tools/publish/plan_command.h"
#include "tools/publish/manifest_source.h"

struct PlannedEntry {
    std::wstring tag;
    std::wstring offered;
    std::wstring installed;
    std::wstring foundBy;  // where the installed version was read, or why none was
    bool decided = false;
    bool updateNeeded = false;
    bool enforce = false;
};

struct PlannedDownload {
    std::wstring tag;
    std::wstring url;       // first attempt, without the "?skq=" number
    std::wstring retryUrl;  // the attempt through the download IP
    std::wstring destination;
};

struct PlannedStart {
    std::wstring program;
    std::wstring parameters;
    std::wstring how;  // "shell", "explorer", "hidden"
};

struct Prediction {
    std::string machine;
    std::wstring switches;               // the updater's command line after its name
    std::vector<std::wstring> requests;  // host paths in the order asked, queries left out
    std::wstring variant;                // "classic" or "version-6"
    std::vector<PlannedEntry> entries;
    bool updatesNeeded = false;
    std::wstring why;
    std::wstring outcome;
    bool windowShown = false;
    std::wstring titleLine;
    std::vector<PlannedDownload> downloads;
    std::vector<std::wstring> closedWindows;                      // classes asked to close
    std::vector<std::pair<std::wstring, std::wstring>> replaced;  // path -> version
    std::vector<PlannedStart> starts;
    bool selfUpdate = false;
    std::vector<std::wstring> records;  // what the caller's windows receive
    std::vector<std::wstring> unpredicted;
};

// With `click`, a window that offers updates is clicked on its main button.
Prediction PredictRun(const ReleaseManifests& release, const MachineProfile& machine,
                      const std::wstring& switches, const PublishHosts& hosts, bool click = false);
