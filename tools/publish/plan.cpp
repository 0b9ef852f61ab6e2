#include "tools/publish/plan.h"

#include "base/command_line.h"
#include "base/text.h"
#include "manifest/installed_products.h"
#include "manifest/settings_manifest.h"
#include "manifest/update_decision.h"
#include "manifest/update_list.h"
#include "manifest/version.h"
#include "tools/publish/plan_session.h"

namespace {

std::wstring HostName(const std::wstring& origin) {
    std::wstring host =
        origin.substr(origin.find(L"://") == std::wstring::npos ? 0 : origin.find(L"://") + 3);
    return host.substr(0, host.find_first_of(L":/"));
}

// Where the decision read an entry's installed version, named after the file it asked about.
std::wstring FoundBy(const UpdateItem& item, const std::vector<std::wstring>& asked,
                     const std::wstring& requestedVersion, const std::wstring& productKey) {
    if (!requestedVersion.empty() && item.tag == productKey)
        return L"the caller's version " + requestedVersion;
    if (item.installedVersion == kFennickNotInstalled)
        return L"sibling not installed (placeholder)";
    for (auto it = asked.rbegin(); it != asked.rend(); ++it) {
        const std::wstring lower = ToLowerAscii(*it);
        const std::wstring file =
            ToLowerAscii(item.fileName.empty() ? item.tag + L".exe" : item.fileName);
        if (lower.size() >= file.size() &&
            lower.compare(lower.size() - file.size(), file.size(), file) == 0) {
            return *it;
        }
        if (item.tag == L"dayloomsetup" || item.tag == L"pinnacesetup" ||
            item.tag == L"dayloomsetup_silent" || item.tag == L"pinnacesetup_silent") {
            if (Contains(lower, L"dayloom.exe"))
                return *it;
        }
    }
    return L"";
}

}  // namespace

Prediction PredictRun(const ReleaseManifests& release, const MachineProfile& machine,
                      const std::wstring& switches, const PublishHosts& hosts, bool click) {
    Prediction p;
    p.machine = machine.name;
    p.switches = switches;
    SessionOptions options;
    options.commandLine = switches;
    ParseCommandLine(switches, options, [&machine] { return machine.osCode; });

    // Settings, then the upgrade manifest of the variant the machine asks for.
    UpdaterSettings settings;
    settings.downloadAddress = hosts.downloadIp;
    p.requests.push_back(L"/keldra/tallix.xml");
    if (release.settings.present && release.settings.xml->RootFound()) {
        ReadSettingsManifest(*release.settings.xml->Root(), settings);
    }
    const std::wstring keldra = machine.suiteDirectory + L"keldra.exe";
    const ManifestVariant variant =
        ChooseManifestVariant(settings.version6Switch, IsVersion6Line(machine.FileVersion(keldra)),
                              machine.FileExists(keldra));
    p.variant = variant == ManifestVariant::kClassic ? L"classic" : L"version-6";
    p.requests.push_back(ManifestPath(ManifestKind::kUpgrade, variant));
    const LoadedManifest& upgrade = release.Upgrade(variant);

    PlanSession s{
        .p = p, .machine = machine, .options = options, .hosts = hosts, .settings = settings};
    s.variant = variant;
    s.state.downloadBase = hosts.download;
    if (upgrade.present && upgrade.xml->RootFound()) {
        ReadUpgradeManifest(*upgrade.xml->Root(), variant, options.productKey, s.state, s.items);
    }
    std::vector<std::wstring> asked;
    DecisionMachine decisionMachine = machine.Machine();
    decisionMachine.fileVersion = [&machine, &asked](const std::wstring& path) {
        asked.push_back(path);
        return machine.FileVersion(path);
    };
    s.results.targetDependency = s.state.targetDependency;
    DecideUpdates(s.items, DecisionOptionsFrom(options), decisionMachine, s.results);
    for (const auto& item : s.items) {
        PlannedEntry e;
        e.tag = item->tag;
        e.offered = item->version;
        e.installed = item->installedVersion;
        e.updateNeeded = item->updateNeeded;
        e.enforce = item->enforce;
        e.foundBy = FoundBy(*item, asked, options.requestedVersion, options.productKey);
        e.decided = options.suiteCaller || item->tag == options.productKey ||
                    item->tag == kUpdaterTag || !e.foundBy.empty() || item->updateNeeded;
        p.entries.push_back(e);
    }
    if (!upgrade.present) {
        // Read as an empty manifest, as an error page with a body is.
        p.unpredicted.push_back(
            L"the upgrade manifest is missing: what the host answers instead "
            L"(an error page or nothing) decides whether the network error "
            L"box appears");
    }
    s.downloadHostName = HostName(hosts.download);
    s.click = click;
    RunCheck(s);
    return p;
}
