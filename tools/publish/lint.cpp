// The release as a whole: which manifests machines fetch, the rules across the entries of one
// upgrade manifest, and the history manifest against it.
#include "tools/publish/lint.h"

#include <map>
#include <set>

#include "base/text.h"
#include "manifest/settings_manifest.h"
#include "manifest/update_decision.h"
#include "manifest/update_list.h"
#include "manifest/version.h"

namespace {

using lint::Children;
using lint::Context;
using lint::EntryFacts;
using lint::TextOf;

std::string Narrow(const std::wstring& text) {
    return Utf16ToUtf8(text);
}

std::string ListOf(const std::set<std::wstring>& tags) {
    std::string out;
    for (const std::wstring& t : tags)
        out += (out.empty() ? "" : ", ") + Narrow(t);
    return out;
}

void LintSystemSet(const Context& c, const ManifestNode& systemSet) {
    for (const auto& [setting, value] : Children(systemSet)) {
        const std::wstring path = L"UpdateList/SystemSet/" + setting;
        const std::wstring text = TextOf(*value);
        if (setting == L"#comment")
            continue;
        if (EqualsNoCase(setting, L"UpgradeType") && text != L"0" && text != L"1") {
            c.Add(Severity::kWarning, "setting-range", c.At(path, *value),
                  "UpgradeType \"" + Narrow(text) + "\" reads as 1", "write 0 or 1");
        } else if (!EqualsNoCase(setting, L"UpgradeType") &&
                   !EqualsNoCase(setting, L"HistoryHelvor") &&
                   !EqualsNoCase(setting, L"HistoryPinnace")) {
            c.Add(Severity::kWarning, "ignored-element", c.At(path, *value),
                  "SystemSet's reader ignores <" + Narrow(setting) + ">",
                  "remove it, or use UpgradeType");
        }
    }
}

bool IsEntryTag(const std::wstring& tag) {
    return !tag.empty() && tag[0] != L'#';
}

// The depend tokens, as the updater's dependency evaluation cuts them, that name no entry.
std::set<std::wstring> UnknownDependTokens(const std::wstring& depend,
                                           const std::map<std::wstring, const EntryFacts*>& byTag) {
    std::set<std::wstring> unknown;
    for (const std::wstring& token : DependTokens(depend)) {
        if (!token.empty() && byTag.count(token) == 0)
            unknown.insert(token);
    }
    return unknown;
}

// Entries, SystemSet, and the rules across entries of one upgrade manifest.
void LintUpgrade(const Context& c, const LintOptions& options, std::vector<EntryFacts>& entries) {
    for (const auto& [name, child] : Children(*c.m.xml->Root())) {
        if (name == L"SystemSet") {
            LintSystemSet(c, *child);
            continue;
        }
        EntryFacts facts;
        lint::LintEntry(c, name, *child, options, facts);
        entries.push_back(std::move(facts));
    }
    std::map<std::wstring, const EntryFacts*> byTag;
    std::map<std::wstring, const EntryFacts*> byFile;
    for (const EntryFacts& e : entries) {
        if (!IsEntryTag(e.tag))
            continue;
        if (!byTag.emplace(e.tag, &e).second) {
            c.Add(Severity::kError, "duplicate-tag", e.where,
                  "a second entry tagged \"" + Narrow(e.tag) +
                      "\": the decision, the dependencies and the history page use only the "
                      "first",
                  "merge the two entries");
        }
        const std::wstring file = ToLowerAscii(e.fileName);
        if (!file.empty()) {
            const auto [it, added] = byFile.emplace(file, &e);
            if (!added && it->second->tag != e.tag) {
                c.Add(Severity::kError, "file-collision", e.where,
                      "package file name \"" + Narrow(e.fileName) + "\" is also that of \"" +
                          Narrow(it->second->tag) +
                          "\": one download overwrites the other in the upgrade folder",
                      "give each package its own file name");
            }
        }
    }
    for (const EntryFacts& e : entries) {
        const std::set<std::wstring> unknown = UnknownDependTokens(e.depend, byTag);
        if (!unknown.empty()) {
            c.Add(Severity::kError, "depend-unknown", e.where,
                  "depend names no entry: " + ListOf(unknown) + "; nothing is pulled for it",
                  "add the entries or correct the tags");
        }
    }
    const auto updater = byTag.find(kUpdaterTag);
    if (updater == byTag.end()) {
        c.Add(Severity::kError, "updater-missing", "UpdateList",
              "no entry tagged tallix: machines never learn of a newer updater",
              "add the updater's entry with version " + Narrow(options.releaseVersion));
    } else if (IsNewer(updater->second->version, options.releaseVersion)) {
        c.Add(Severity::kError, "updater-older", updater->second->where,
              "the updater's entry offers " + Narrow(updater->second->version) +
                  ", older than the release " + Narrow(options.releaseVersion) +
                  ": machines keep the old updater",
              "offer " + Narrow(options.releaseVersion));
    }
}

// History entries without an upgrade entry, and the reverse.
void LintHistory(const Context& c, const std::vector<EntryFacts>& entries) {
    std::set<std::wstring> upgradeTags;
    for (const EntryFacts& e : entries) {
        if (IsEntryTag(e.tag))
            upgradeTags.insert(e.tag);
    }
    std::set<std::wstring> historyTags;
    for (const auto& [name, child] : Children(*c.m.xml->Root())) {
        const std::wstring tag = ToLowerAscii(name);
        historyTags.insert(tag);
        if (IsEntryTag(tag) && upgradeTags.count(tag) == 0) {
            c.Add(Severity::kWarning, "history-orphan", c.At(L"UpdateList/" + name, *child),
                  "history entry \"" + Narrow(tag) +
                      "\" has no upgrade entry: its notes are never shown",
                  "remove it or add the upgrade entry");
        }
    }
    for (const std::wstring& tag : upgradeTags) {
        if (tag == kUpdaterTag || historyTags.count(tag) > 0)
            continue;
        c.Add(
            Severity::kWarning, "history-missing", "UpdateList",
            "upgrade entry \"" + Narrow(tag) +
                "\" has no history entry: its update is offered without notes",
            "add <" + Narrow(tag) + "><h>|...|</h></" + Narrow(tag) + "> to the history manifest");
    }
}

// Which machines fetch a variant, as the variant choice decides it: the classic manifests by
// machines whose main program is of the classic line, unless the settings switch every machine
// to version 6; the version-6 ones always (machines without keldra.exe fetch them too).
std::string WhoFetches(ManifestVariant v, bool version6Switch) {
    if (v == ManifestVariant::kClassic) {
        return version6Switch ? "" : "machines whose keldra.exe is of the classic line fetch it";
    }
    return version6Switch ? "every machine fetches it (upkeldra6 is 1)"
                          : "machines with the version-6 main program or without keldra.exe "
                            "fetch it";
}

void MissingFile(std::vector<Finding>& out, Severity severity, const LoadedManifest& m,
                 const std::string& consequence, const std::string& fix) {
    out.push_back({severity, "missing-file", m.file, "",
                   (m.absence.empty() ? std::string("missing") : m.absence) + ": " + consequence,
                   fix});
}

}  // namespace

int LintExitStatus(const std::vector<Finding>& findings, Severity failOn) {
    for (const Finding& f : findings) {
        if (f.severity == Severity::kError || failOn == Severity::kWarning)
            return 1;
    }
    return 0;
}

std::vector<Finding> LintRelease(const ReleaseManifests& release, const LintOptions& options) {
    std::vector<Finding> out;
    // A file whose bytes the updater cannot read gives no further findings: its XML is noise.
    auto lintFile = [&](const LoadedManifest& m) {
        if (!m.present)
            return false;
        const std::size_t before = out.size();
        LintBytes(m, out);
        for (std::size_t i = before; i < out.size(); ++i) {
            if (out[i].severity == Severity::kError)
                return false;
        }
        LintXml(m, out);
        return m.xml->Parsed() && m.xml->RootFound();
    };
    UpdaterSettings settings;
    if (!release.settings.present) {
        MissingFile(out, Severity::kError, release.settings,
                    "machines use the built-in download address and the classic manifests",
                    "publish keldra/tallix.xml");
    } else if (lintFile(release.settings)) {
        lint::LintSettings(Context{release.settings, out});
        ReadSettingsManifest(*release.settings.xml->Root(), settings);
    }
    for (const ManifestVariant v : {ManifestVariant::kClassic, ManifestVariant::kVersion6}) {
        const std::string who = WhoFetches(v, settings.version6Switch);
        const LoadedManifest& upgrade = release.Upgrade(v);
        const LoadedManifest& history = release.History(v);
        if (!upgrade.present && !who.empty()) {
            MissingFile(out, Severity::kError, upgrade, who + " and finds no update at all",
                        "publish keldra/" + upgrade.file.substr(upgrade.file.rfind('/') + 1));
        }
        if (!history.present && upgrade.present && !who.empty()) {
            MissingFile(out, Severity::kWarning, history,
                        who + ": its updates are offered without notes",
                        "publish keldra/" + history.file.substr(history.file.rfind('/') + 1));
        }
        std::vector<EntryFacts> entries;
        const bool upgradeRead = lintFile(upgrade);
        if (upgradeRead)
            LintUpgrade(Context{upgrade, out}, options, entries);
        if (lintFile(history) && upgradeRead)
            LintHistory(Context{history, out}, entries);
    }
    LintReleaseIndex(release, options, out);
    return out;
}
