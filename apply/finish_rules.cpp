#include "apply/finish_rules.h"

#include <array>

#include "base/command_line.h"
#include "base/session_state.h"
#include "base/text.h"
#include "manifest/update_list.h"
#include "manifest/version.h"

namespace {

enum class Match {
    kTrayTool,         // the tag is "heatwatch" or "linkward" (any case)
    kGuard,            // the tag contains "wardel" (with its case)
    kUnattendedVista,  // unattended, on Vista or later
    kMainProgram,      // the lower-cased tag is "keldra"
    kFennick,          // the lower-cased tag is "fennick"
    kAny,
};

struct RelaunchRule {
    Match match;
    RelaunchStart start;
};

constexpr std::array<RelaunchRule, 5> kFinishRules = {{
    {Match::kTrayTool, RelaunchStart::kTray},
    {Match::kGuard, RelaunchStart::kGuard},
    {Match::kUnattendedVista, RelaunchStart::kExplorer},
    {Match::kMainProgram, RelaunchStart::kMainProgram},
    {Match::kAny, RelaunchStart::kOwnedOpen},
}};

constexpr std::array<RelaunchRule, 5> kEnforcedRules = {{
    {Match::kTrayTool, RelaunchStart::kTray},
    {Match::kFennick, RelaunchStart::kFennickExplorer},
    {Match::kUnattendedVista, RelaunchStart::kExplorer},
    {Match::kMainProgram, RelaunchStart::kMainProgram},
    {Match::kAny, RelaunchStart::kOpen},
}};

bool Matches(Match match, const RelaunchEntry& entry, int osCode) {
    const std::wstring tag = ToLowerAscii(entry.tag);
    switch (match) {
        case Match::kTrayTool:
            return tag == L"heatwatch" || tag == L"linkward";
        case Match::kGuard:
            return Contains(entry.tag, L"wardel");
        case Match::kUnattendedVista:
            return entry.unattended && osCode >= kVistaOsCode;
        case Match::kMainProgram:
            return tag == L"keldra";
        case Match::kFennick:
            return tag == L"fennick";
        case Match::kAny:
            return true;
    }
    return false;
}

}  // namespace

RelaunchStart ChooseRelaunch(RelaunchTable table, const RelaunchEntry& entry, int osCode) {
    const auto& rules = table == RelaunchTable::kFinish ? kFinishRules : kEnforcedRules;
    for (const RelaunchRule& rule : rules) {
        if (Matches(rule.match, entry, osCode)) {
            return rule.start;
        }
    }
    return rules.back().start;
}

ShellStart ShellStartFor(RelaunchStart start, bool keldra6Visible) {
    switch (start) {
        case RelaunchStart::kTray:
            return {L" /tray", false};
        case RelaunchStart::kGuard:
        case RelaunchStart::kOwnedOpen:
            return {L"/fromtallix", true};
        case RelaunchStart::kMainProgram:
            return {keldra6Visible ? L"/fromtallix" : L"/fromtallix /hide", false};
        case RelaunchStart::kOpen:
            return {L"/fromtallix", false};
        case RelaunchStart::kExplorer:
        case RelaunchStart::kFennickExplorer:
            break;
    }
    return {};
}

bool RestartsOlderMainWindow(const std::wstring& productKey) {
    return productKey == L"keldra";
}

std::wstring ExplorerCommandLine(const std::wstring& explorerPath, const std::wstring& program) {
    return explorerPath + L" " + program;
}

bool ShouldHandOver(const HandoverFacts& facts) {
    return !facts.listEmpty && facts.newVersion == facts.firstEntryVersion &&
           IsNewer(facts.currentVersion, facts.newVersion) && facts.signatureAccepted &&
           facts.productAccepted;
}

std::wstring HandoverParameters(const std::wstring& commandLine) {
    return commandLine + L" -resetnew ";
}

DownloadDoneEnd DecideDownloadDone(const SessionOptions& options, int jobKind, int setupKind) {
    if (jobKind == kJobSelfUpdate) {
        return DownloadDoneEnd::kHandOver;
    }
    if (options.notice || options.execute || options.directRunInterface) {
        return DownloadDoneEnd::kInstallForCaller;
    }
    switch (setupKind) {
        case 0:
            return DownloadDoneEnd::kInstallAndRelaunch;
        case 2:
            return DownloadDoneEnd::kLeaveInUpgradeFolder;
        default:
            return DownloadDoneEnd::kWaitForClick;
    }
}

bool CallerWantsItem(const std::wstring& tag, const std::wstring& productKey,
                     const std::wstring& targetDependency) {
    const std::wstring lower = ToLowerAscii(tag);
    return lower == productKey || Contains(targetDependency, lower);
}

bool IsCalendarSetupKey(const std::wstring& productKey) {
    for (const wchar_t* key :
         {L"DayloomSetup", L"DayloomSetup_Silent", L"PinnaceSetup", L"PinnaceSetup_Silent"}) {
        if (EqualsNoCase(productKey, key)) {
            return true;
        }
    }
    return false;
}

std::wstring StagedCalendarPackage(const std::wstring& moduleDir, const std::wstring& fileName) {
    return IsSafePackageFileName(fileName) ? moduleDir + L"\\upgrade\\" + fileName : std::wstring();
}

CalendarRecord DecideCalendarRecord(bool installedExists, bool stagedExists,
                                    const std::wstring& stagedVersion,
                                    const std::wstring& installedVersion) {
    if (!installedExists || !stagedExists || stagedVersion.empty()) {
        return CalendarRecord::kLeave;
    }
    return IsNewer(installedVersion, stagedVersion) ? CalendarRecord::kWrite
                                                    : CalendarRecord::kDelete;
}

void WaitForDependencies(const std::wstring& depend,
                         const std::function<bool(const std::wstring& name)>& exists,
                         const std::function<void(int ms)>& pause, int& missingCount) {
    std::size_t start = 0;
    while (start <= depend.size()) {
        std::size_t comma = depend.find(L',', start);
        if (comma == std::wstring::npos) {
            comma = depend.size();
        }
        const std::wstring name = depend.substr(start, comma - start);
        start = comma + 1;
        // An empty name (a trailing comma) names the suite directory itself, which exists.
        if (name.empty() || exists(name)) {
            continue;
        }
        if (++missingCount > kDependMissingLimit) {
            missingCount = 0;
        } else {
            pause(kDependPauseMs);
        }
    }
}
