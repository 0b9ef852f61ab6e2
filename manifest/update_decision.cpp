#include "manifest/update_decision.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/text.h"
#include "manifest/substring_watch.h"
#include "manifest/update_list.h"
#include "manifest/version.h"

namespace {

const wchar_t kMainProgramTag[] = L"keldra";
const wchar_t kCalendarTag[] = L"dayloom";
const wchar_t kMainProgramFile[] = L"keldra.exe";

// Installed versions.

std::wstring SuiteFilePath(const DecisionMachine& machine, const UpdateItem& item) {
    return machine.suiteDirectory + item.fileName;
}

bool MachineFileExists(const DecisionMachine& machine, const std::wstring& path) {
    return machine.probe.fileExists && machine.probe.fileExists(path);
}

std::wstring MachineFileVersion(const DecisionMachine& machine, const std::wstring& path) {
    if (path.empty() || !machine.fileVersion) {
        return std::wstring();
    }
    return machine.fileVersion(path);
}

// The version of `path` when that file exists; empty otherwise.
std::wstring VersionIfPresent(const DecisionMachine& machine, const std::wstring& path) {
    if (path.empty() || !MachineFileExists(machine, path)) {
        return std::wstring();
    }
    return MachineFileVersion(machine, path);
}

std::wstring PluginPath(const DecisionMachine& machine, const UpdateItem& item) {
    return AppendPath(CalendarPluginsPath(machine.probe), item.fileName);
}

// The plug-in directory is preferred only when it already holds exactly the offered version;
// otherwise the copy in the second place decides.
std::wstring PluginInTwoPlaces(const DecisionMachine& machine, const UpdateItem& item) {
    const std::wstring first = PluginPath(machine, item);
    if (MachineFileExists(machine, first)) {
        const std::wstring firstVersion = MachineFileVersion(machine, first);
        if (firstVersion == item.version) {
            return firstVersion;
        }
    }
    return MachineFileVersion(machine, AppendPath(machine.secondPluginDirectory, item.fileName));
}

std::wstring Fennick(const DecisionMachine& machine) {
    const std::wstring path = FennickExecutablePath(machine.probe);
    if (path.empty() || !MachineFileExists(machine, path)) {
        return kFennickNotInstalled;
    }
    return MachineFileVersion(machine, path);
}

// The sibling's upgrade program is taken from the local application-data folder, not from its
// install directory ("Install_NewPath\\upgrade.exe"): installing that component copies the
// program into the install directory first and then into the application-data folder, so the
// latter is where the copy that runs lives. A program at 1.0.3.2 or later updates itself and
// counts as not installed here.
std::wstring MarlowUpgrade(const DecisionMachine& machine) {
    const std::wstring folder = machine.localAppData ? machine.localAppData() : std::wstring();
    const std::wstring version = MachineFileVersion(machine, MarlowUpgradeInLocalAppData(folder));
    return IsNewer(version, kMarlowUpgradeThreshold) ? version : std::wstring();
}

// Which rule decides which entry.

// When a row of a rule table applies to an entry.
enum class When {
    kTagIn,                    // the lower-case tag is one of the row's tags
    kPluginModeExceptUpdater,  // the calendar started the updater and the entry is not "tallix"
    kCalendarPlugin,           // the entry's placement kind is 1
    kAlways,
};

// One row of a rule table: the first row that applies to an entry says how its installed
// version is found.
struct RuleRow {
    When when;
    const wchar_t* tags[4];
    InstalledRule rule;
    bool decidePluginsFirst;  // decide every calendar plug-in before the entry itself
};

constexpr RuleRow kTargetedRules[] = {
    {When::kTagIn, {L"octakit", L"ostrakit"}, InstalledRule::kToolByTag, false},
    {When::kPluginModeExceptUpdater, {}, InstalledRule::kPluginTargeted, false},
    {When::kTagIn, {kCalendarTag}, InstalledRule::kSuiteFile, true},
    {When::kTagIn,
     {L"dayloomsetup", L"dayloomsetup_silent", L"pinnacesetup", L"pinnacesetup_silent"},
     InstalledRule::kCalendarSetup,
     false},
    {When::kAlways, {}, InstalledRule::kSuiteFile, false},
};

constexpr RuleRow kSuiteRules[] = {
    {When::kCalendarPlugin, {}, InstalledRule::kPluginTwoPlaces, false},
    {When::kTagIn, {L"fennick"}, InstalledRule::kFennick, false},
    {When::kTagIn, {L"upgrade"}, InstalledRule::kMarlowUpgrade, false},
    {When::kAlways, {}, InstalledRule::kSuiteFile, false},
};

// What an entry whose component is not found needs.
enum class WhenMissing {
    kUpdate,               // an empty installed version needs an update
    kUpdateIfEnforced,     // ... only when the entry and the command line both say enforce
    kUpdateIfNoSuiteFile,  // the suite file itself missing needs an update
};

bool Applies(const RuleRow& row, const std::wstring& lowerTag, const UpdateItem& item,
             const DecisionOptions& options) {
    switch (row.when) {
        case When::kTagIn:
            for (const wchar_t* tag : row.tags) {
                if (tag != nullptr && lowerTag == tag) {
                    return true;
                }
            }
            return false;
        case When::kPluginModeExceptUpdater:
            return options.pluginMode && lowerTag != kUpdaterTag;
        case When::kCalendarPlugin:
            return item.placementKind == kCalendarPluginPlacement;
        case When::kAlways:
            return true;
    }
    return false;
}

template <std::size_t N>
const RuleRow& SelectRule(const RuleRow (&rows)[N], const std::wstring& lowerTag,
                          const UpdateItem& item, const DecisionOptions& options) {
    for (const RuleRow& row : rows) {
        if (Applies(row, lowerTag, item, options)) {
            return row;
        }
    }
    return rows[N - 1];
}

// Finds and stores the entry's installed version, then sets update needed: a newer offered
// version always counts; a component that is not found counts as `missing` says.
void DecideItem(UpdateItem& item, InstalledRule rule, WhenMissing missing, bool enforceSwitch,
                const DecisionMachine& machine) {
    // Manifests come over plain HTTP: a package name that the reader refused (one that would
    // leave its folder, or could become another file's name) is never looked up on the machine,
    // fetched or installed. The session goes on with the other entries.
    if (item.nameRefused) {
        item.installedVersion.clear();
        item.updateNeeded = false;
        return;
    }
    item.installedVersion = InstalledVersion(rule, item, machine);
    const bool newer = IsNewer(item.installedVersion, item.version);
    switch (missing) {
        case WhenMissing::kUpdate:
            item.updateNeeded = item.installedVersion.empty() || newer;
            return;
        case WhenMissing::kUpdateIfEnforced:
            item.updateNeeded =
                item.installedVersion.empty() ? item.enforce && enforceSwitch : newer;
            return;
        case WhenMissing::kUpdateIfNoSuiteFile:
            item.updateNeeded = !MachineFileExists(machine, SuiteFilePath(machine, item)) || newer;
            return;
    }
}

template <typename Predicate>
UpdateItem* FirstItem(const UpdateList& list, Predicate matches) {
    for (const auto& entry : list) {
        if (entry && matches(*entry)) {
            return entry.get();
        }
    }
    return nullptr;
}

// The entries ordered by tag and, within a tag, by their place in the list, so that the first
// entry of a tag is found by a binary search.
using TagOrder = std::vector<std::pair<const std::wstring*, std::size_t>>;

TagOrder OrderByTag(const UpdateList& list) {
    TagOrder order;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i]) {
            order.emplace_back(&list[i]->tag, i);
        }
    }
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        return *a.first < *b.first || (*a.first == *b.first && a.second < b.second);
    });
    return order;
}

UpdateItem* FirstWithTag(const UpdateList& list, const TagOrder& order, const std::wstring& tag) {
    const auto found = std::lower_bound(
        order.begin(), order.end(), tag,
        [](const auto& entry, const std::wstring& wanted) { return *entry.first < wanted; });
    return found != order.end() && *found->first == tag ? list[found->second].get() : nullptr;
}

std::wstring StripCommas(const std::wstring& text) {
    const std::size_t first = text.find_first_not_of(L',');
    if (first == std::wstring::npos) {
        return std::wstring();
    }
    return text.substr(first, text.find_last_not_of(L',') - first + 1);
}

// Decides the entries named in a depend text (see EvaluateDependencies); `firstWithTag` finds
// the first entry of a lower-case tag, or null.
template <typename FindFirst>
void DecideDependencies(const std::wstring& dependText, const DecisionMachine& machine,
                        FindFirst firstWithTag) {
    for (const std::wstring& token : DependTokens(dependText)) {
        UpdateItem* item = firstWithTag(token);
        if (item != nullptr) {
            DecideItem(*item, InstalledRule::kSuiteFile, WhenMissing::kUpdateIfNoSuiteFile, false,
                       machine);
        }
    }
}

void DecideTargeted(UpdateList& list, const DecisionOptions& options,
                    const DecisionMachine& machine, DecisionResults& results) {
    for (const auto& entry : list) {
        if (!entry) {
            continue;
        }
        UpdateItem& item = *entry;
        const std::wstring tag = ToLowerAscii(item.tag);
        const bool isTarget = tag == options.targetProduct;
        if (!isTarget && tag != kUpdaterTag) {
            continue;
        }
        if (isTarget && !options.requestedVersion.empty()) {
            // The caller knows its own version; nothing is looked up on the machine.
            item.updateNeeded = IsNewer(options.requestedVersion, item.version);
        } else {
            const RuleRow& row = SelectRule(kTargetedRules, tag, item, options);
            if (row.decidePluginsFirst) {
                DecideCalendarPlugins(list, options.enforceSwitch, machine);
            }
            DecideItem(item, row.rule, WhenMissing::kUpdate, options.enforceSwitch, machine);
        }
        results.currentName = item.name;
        results.currentVersion = item.version;
        results.currentFileName = item.fileName;
        EvaluateDependencies(item.depend, list, machine);
    }
}

void DecideSuite(UpdateList& list, const DecisionOptions& options, const DecisionMachine& machine,
                 DecisionResults& results) {
    for (const auto& entry : list) {
        if (!entry) {
            continue;
        }
        UpdateItem& item = *entry;
        const std::wstring tag = ToLowerAscii(item.tag);
        const RuleRow& row = SelectRule(kSuiteRules, tag, item, options);
        DecideItem(item, row.rule, WhenMissing::kUpdateIfEnforced, options.enforceSwitch, machine);
        if (tag == kMainProgramTag) {
            results.currentName = item.name;
            results.currentVersion = item.version;
            // Without its executable the suite is broken: reinstall it, enforce or not.
            if (!MachineFileExists(machine, machine.suiteDirectory + kMainProgramFile)) {
                item.updateNeeded = true;
            }
        }
    }
    // The dependencies of every installed component. The list of depend texts is watched for
    // each text instead of being searched, and tags are looked up in an index of first entries,
    // so that a long manifest costs its length, not its square.
    std::vector<std::wstring> dependTexts;
    for (const auto& entry : list) {
        if (entry) {
            dependTexts.push_back(entry->depend);
        }
    }
    SubstringWatch added(dependTexts);
    added.Feed(results.targetDependency);
    const TagOrder byTag = OrderByTag(list);
    for (const auto& entry : list) {
        if (!entry || !MachineFileExists(machine, SuiteFilePath(machine, *entry))) {
            continue;
        }
        const std::wstring depend = entry->depend;
        if (!depend.empty() && !added.Seen(depend)) {
            results.targetDependency += depend + L",";
            added.Feed(depend + L",");
        }
        DecideDependencies(depend, machine, [&list, &byTag](const std::wstring& tag) {
            return FirstWithTag(list, byTag, tag);
        });
    }
}

}  // namespace

std::vector<std::wstring> DependTokens(const std::wstring& dependText) {
    std::vector<std::wstring> tokens;
    std::wstring rest = StripCommas(dependText);
    while (!rest.empty()) {
        const std::size_t comma = rest.find(L',');
        tokens.push_back(ToLowerAscii(rest.substr(0, comma)));
        rest = comma == std::wstring::npos ? std::wstring() : rest.substr(comma + 1);
    }
    return tokens;
}

std::wstring InstalledVersion(InstalledRule rule, const UpdateItem& item,
                              const DecisionMachine& machine) {
    switch (rule) {
        case InstalledRule::kSuiteFile:
            return MachineFileVersion(machine, SuiteFilePath(machine, item));
        case InstalledRule::kToolByTag:
            return MachineFileVersion(machine, machine.suiteDirectory + item.tag + L".exe");
        case InstalledRule::kPluginTargeted:
            return VersionIfPresent(machine, PluginPath(machine, item));
        case InstalledRule::kPluginTwoPlaces:
            return PluginInTwoPlaces(machine, item);
        case InstalledRule::kCalendarSetup:
            return MachineFileVersion(machine, CalendarExecutablePath(machine.probe));
        case InstalledRule::kFennick:
            return Fennick(machine);
        case InstalledRule::kMarlowUpgrade:
            return MarlowUpgrade(machine);
    }
    return std::wstring();
}

DecisionOptions DecisionOptionsFrom(const SessionOptions& options) {
    DecisionOptions decision;
    decision.targetProduct = options.productKey;
    decision.suiteMode = options.suiteCaller;
    decision.requestedVersion = options.requestedVersion;
    decision.enforceSwitch = options.enforce;
    decision.pluginMode = options.fromCalendar;
    return decision;
}

void DecideUpdates(UpdateList& list, const DecisionOptions& options, const DecisionMachine& machine,
                   DecisionResults& results) {
    if (options.suiteMode) {
        DecideSuite(list, options, machine, results);
    } else {
        DecideTargeted(list, options, machine, results);
    }
    // The caller's own version and a missing main program set update needed without a lookup:
    // a hostile package name is refused there as well.
    for (const auto& entry : list) {
        if (entry && entry->nameRefused) {
            entry->updateNeeded = false;
        }
    }
}

void EvaluateDependencies(const std::wstring& dependText, UpdateList& list,
                          const DecisionMachine& machine) {
    DecideDependencies(dependText, machine, [&list](const std::wstring& token) {
        return FirstItem(list,
                         [&token](const UpdateItem& candidate) { return candidate.tag == token; });
    });
}

void DecideCalendarPlugins(UpdateList& list, bool enforceSwitch, const DecisionMachine& machine) {
    for (const auto& entry : list) {
        if (entry && entry->placementKind == kCalendarPluginPlacement) {
            DecideItem(*entry, InstalledRule::kPluginTwoPlaces, WhenMissing::kUpdateIfEnforced,
                       enforceSwitch, machine);
        }
    }
}

bool NeedsUpdate(const UpdateItem& item) {
    return item.updateNeeded;
}

bool NeedsEnforcedUpdate(const UpdateItem& item) {
    return item.updateNeeded && item.enforce;
}

bool NeedsOrdinaryUpdate(const UpdateItem& item) {
    return item.updateNeeded && !item.enforce;
}

bool AnyItem(const UpdateList& list, bool (*needs)(const UpdateItem&)) {
    for (const auto& item : list) {
        if (needs(*item)) {
            return true;
        }
    }
    return false;
}

bool UpdaterUpdateAvailable(const UpdateList& list) {
    const UpdateItem* updater =
        FirstItem(list, [](const UpdateItem& item) { return item.tag == kUpdaterTag; });
    return updater != nullptr && updater->updateNeeded;
}

bool TargetUpdateAvailable(const UpdateList& list, const std::wstring& targetProduct) {
    const UpdateItem* target = FirstItem(list, [&targetProduct](const UpdateItem& item) {
        return EqualsNoCase(item.tag, targetProduct);
    });
    if (target != nullptr) {
        if (target->updateNeeded) {
            return true;
        }
        const std::wstring& depend = target->depend;
        if (FirstItem(list, [&depend](const UpdateItem& item) {
                return item.updateNeeded && Contains(depend, item.tag);
            }) != nullptr) {
            return true;
        }
    }
    return EqualsNoCase(targetProduct, kCalendarTag) &&
           FirstItem(list, [](const UpdateItem& item) {
               return item.placementKind == kCalendarPluginPlacement && item.updateNeeded;
           }) != nullptr;
}
