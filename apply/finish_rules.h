// The rules of finishing a session: which programs are started again and how, when the updater
// hands over to a newer copy of itself, what the caller's own run installs, the calendar's staged
// update record, the wait for an entry's dependencies and the enforced and package job steps.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "apply/apply_plan.h"

struct SessionOptions;

// Operating-system code of Windows Vista; from it on, unattended programs start through the
// shell's explorer so that they run as the signed-in user.
constexpr int kVistaOsCode = 19;

// How a relaunch entry is started.
enum class RelaunchStart {
    kTray,             // the shell opens it with " /tray"
    kGuard,            // the shell opens it with "/fromtallix", owned by the window; the
                       // "-copyfile" start of the guard is no longer needed
    kExplorer,         // through the explorer command line (the calendar: from its own folder)
    kFennickExplorer,  // the sibling product's executable through the explorer, when it exists
    kMainProgram,      // the shell opens it with "/fromtallix", or "/fromtallix /hide" when its
                       // version-6 window was hidden at check time
    kOwnedOpen,        // the shell opens it with "/fromtallix", owned by the window
    kOpen,             // the shell opens it with "/fromtallix"
};

// The two relaunch tables: after the normal job's installation, and after the enforced run.
enum class RelaunchTable { kFinish, kEnforced };

// The first rule of the table that matches the entry.
RelaunchStart ChooseRelaunch(RelaunchTable table, const RelaunchEntry& entry, int osCode);

// What the shell is given for a start of that kind (kExplorer and kFennickExplorer take none).
struct ShellStart {
    std::wstring parameters;
    bool ownedByWindow = false;
};
ShellStart ShellStartFor(RelaunchStart start, bool keldra6Visible);

// The older main window of the suite. An installation for the product "keldra" that finds it
// closes it and starts the main program once more, after the relaunch entries.
inline constexpr wchar_t kOlderMainClass[] = L"_Helvor3";
bool RestartsOlderMainWindow(const std::wstring& productKey);

// The explorer command line that starts `program` as the signed-in user.
std::wstring ExplorerCommandLine(const std::wstring& explorerPath, const std::wstring& program);

// The facts the self-update hand-over looks at.
struct HandoverFacts {
    bool listEmpty = true;
    std::wstring firstEntryVersion;  // offered version of the update list's first entry
    std::wstring newVersion;         // of the downloaded updater
    std::wstring currentVersion;     // of the running updater's installed file
    bool signatureAccepted = false;
    bool productAccepted = false;
};

// True when the downloaded updater is started to replace the running one.
bool ShouldHandOver(const HandoverFacts& facts);

// The new copy's parameters: the command line as received, then " -resetnew ".
std::wstring HandoverParameters(const std::wstring& commandLine);

// How the end of the normal, main-setup or self-update job goes on, once the enforced items that
// the job brought are applied (they are, whatever comes next, except after the self-update).
enum class DownloadDoneEnd {
    kHandOver,              // the self-update job: the new copy takes over, or is recorded; close
    kInstallForCaller,      // notices, "-execute" or the direct start: only the caller's product
                            // and its dependencies, the caller's record, close; nothing restarts
    kInstallAndRelaunch,    // setup kind 0: install, start the closed programs again, close
    kLeaveInUpgradeFolder,  // setup kind 2: the packages stay in the upgrade folder; close
    kWaitForClick,          // any other setup kind: the window shows, and its button installs
};

DownloadDoneEnd DecideDownloadDone(const SessionOptions& options, int jobKind, int setupKind);

// Whether a run for one caller installs this item: its lower-cased tag is the product key, or
// occurs in the target's dependency list.
bool CallerWantsItem(const std::wstring& tag, const std::wstring& productKey,
                     const std::wstring& targetDependency);

// The four setup product keys for which the calendar's staged update is recorded.
bool IsCalendarSetupKey(const std::wstring& productKey);

enum class CalendarRecord { kLeave, kWrite, kDelete };

// The staged package of the calendar's record: the module directory followed by "\\upgrade\\" and
// the package file name, joined by plain concatenation. Empty when the name is refused
// (IsSafePackageFileName): a join that kept a drive or a UNC path in the name would have the
// updater look at, and so connect to, another disk or a network share.
std::wstring StagedCalendarPackage(const std::wstring& moduleDir, const std::wstring& fileName);

// Leave the record when either file is missing or the staged file has no version; write it when
// the staged version is newer than the installed one; otherwise delete it.
CalendarRecord DecideCalendarRecord(bool installedExists, bool stagedExists,
                                    const std::wstring& stagedVersion,
                                    const std::wstring& installedVersion);

// Waits for the files of a relaunch entry's depend text ("a.dll,b.dll"): each missing file
// costs one pause of 100 ms, except that `missingCount` (kept by the caller across all entries)
// is reset to 0 instead of pausing each time it passes 50. Every name is checked once.
constexpr int kDependPauseMs = 100;
constexpr int kDependMissingLimit = 50;
void WaitForDependencies(const std::wstring& depend,
                         const std::function<bool(const std::wstring& name)>& exists,
                         const std::function<void(int ms)>& pause, int& missingCount);
