// Which entries of the update list need an update on this machine.
//
// The version of each component as installed is found by one of a few rules that say where its
// file lives; the machine itself (files, version resources, registry, the local application-data
// folder) is reached through DecisionMachine, so the decision is portable.
//
// The decision runs after the upgrade manifest has been read and again after the history
// manifest; the second run must recompute the same results, so everything it writes is either
// overwritten from the list or (the dependency list) only ever gains text it does not hold yet.
//
// A targeted run (a single product named on the command line) decides only the target's entry
// and the updater's own ("tallix"); a suite run (started by the main program) decides every
// entry. Either run also decides the entries named by the depend texts it meets.
#pragma once

#include <functional>
#include <string>

#include "manifest/installed_products.h"
#include "manifest/update_item.h"

struct SessionOptions;

// What the update decision asks of the machine.
struct DecisionMachine {
    ProductProbe probe;  // file existence and registry strings (by key, or by ProductKey)
    // The product version of an executable, "%d.%d.%d.%d"; empty when the file is missing or has
    // no version resource. Never asked about an empty path.
    std::function<std::wstring(const std::wstring& path)> fileVersion;
    // The user's local application-data folder; empty when unknown.
    std::function<std::wstring()> localAppData;
    // The updater's own directory, which is also the suite directory; ends in a backslash.
    std::wstring suiteDirectory;
    // Where a calendar plug-in is looked for when the plug-in directory does not hold the offered
    // version. Nothing in the program sets it, so it stays empty and that second place is the bare
    // file name, resolved against the process's current directory. Kept as an input so that a
    // real directory can be given once one is settled on.
    std::wstring secondPluginDirectory;
};

// The ways of finding an installed version.
enum class InstalledRule {
    kSuiteFile,        // the suite directory followed by the item's file name
    kToolByTag,        // the suite directory followed by the tag and ".exe"
    kPluginTargeted,   // the file name in the calendar's plug-in directory, when it exists
    kPluginTwoPlaces,  // the plug-in directory when it holds the offered version, else the second
    kCalendarSetup,    // the calendar product's dayloom.exe
    kFennick,          // the sibling product's fennick.exe, or a placeholder when not installed
    kMarlowUpgrade,    // the sibling's upgrade program, only when older than 1.0.3.2
};

// The installed version of `item` by `rule`; empty when not installed (except kFennick, which
// gives kFennickNotInstalled so that nothing offered counts as newer).
std::wstring InstalledVersion(InstalledRule rule, const UpdateItem& item,
                              const DecisionMachine& machine);

// The switches the decision depends on.
struct DecisionOptions {
    std::wstring targetProduct;     // the product named on the command line; may be empty
    bool suiteMode = false;         // started by the main program: decide every entry
    std::wstring requestedVersion;  // the caller's own version of the target; may be empty
    bool enforceSwitch = false;     // "-enforce": components that are missing may be installed
    bool pluginMode = false;        // started by the calendar product: its plug-ins are targeted
};

DecisionOptions DecisionOptionsFrom(const SessionOptions& options);

// What the main window shows and later acts on. Owned by the main window and passed to every run.
struct DecisionResults {
    // The entry the window offers: the last one handled by a targeted run, or the main program's
    // entry in a suite run (which leaves the file name as it was).
    std::wstring currentName;
    std::wstring currentVersion;
    std::wstring currentFileName;
    // Depend texts of the installed components, each followed by ","; a text is added only when it
    // is not already a substring of the list, which keeps a second run from repeating it.
    std::wstring targetDependency;
};

// Placement kind of a calendar plug-in.
constexpr int kCalendarPluginPlacement = 1;

// Fills the installed version and the update-needed flag of the entries that matter in this run,
// and the window's results.
void DecideUpdates(UpdateList& list, const DecisionOptions& options, const DecisionMachine& machine,
                   DecisionResults& results);

// The updater's own entry.
inline constexpr wchar_t kUpdaterTag[] = L"tallix";

// The tags a depend text names, in order and lower-cased: the text is cut at each ",", commas
// at either end ignored; an empty piece between two commas stays (it names no entry).
std::vector<std::wstring> DependTokens(const std::wstring& dependText);

// Decides the entries named in a depend text: a comma-separated list of tags, commas at either end
// ignored, matched in lower case against the first entry of each tag. An entry is decided by its
// file in the suite directory, and a missing file always needs an update.
void EvaluateDependencies(const std::wstring& dependText, UpdateList& list,
                          const DecisionMachine& machine);

// Decides every calendar plug-in (placement kind 1) by the two-places rule. A plug-in that is not
// installed needs an update only when its entry and the command line both say enforce.
void DecideCalendarPlugins(UpdateList& list, bool enforceSwitch, const DecisionMachine& machine);

// Whether an entry needs its update: at all, as an enforced item, as an ordinary (not enforced)
// one; and whether any entry of the list does.
bool NeedsUpdate(const UpdateItem& item);
bool NeedsEnforcedUpdate(const UpdateItem& item);
bool NeedsOrdinaryUpdate(const UpdateItem& item);
bool AnyItem(const UpdateList& list, bool (*needs)(const UpdateItem&));

// The update-needed flag of the first entry tagged exactly "tallix"; false when there is none.
bool UpdaterUpdateAvailable(const UpdateList& list);

// True when the target's entry needs an update, or an entry whose tag occurs in the target's
// depend text does, or, for the calendar product, any calendar plug-in does.
bool TargetUpdateAvailable(const UpdateList& list, const std::wstring& targetProduct);
