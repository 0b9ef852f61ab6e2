#include "tools/publish/lint.h"

#include <map>
#include <set>

#include "base/text.h"
#include "manifest/settings_manifest.h"
#include "manifest/update_list.h"
#include "manifest/version.h"

namespace {

std::string Narrow(const std::wstring& text) {
    return Utf16ToUtf8(text);
}

// Reads the walk's children with their names; the view of the publisher's parser never fails.
std::vector<std::pair<std::wstring, std::unique_ptr<ManifestNode>>> Children(
    const ManifestNode& n) {
    std::vector<std::pair<std::wstring, std::unique_ptr<ManifestNode>>> out;
    std::size_t count = 0;
    n.ChildCount(count);
    for (std::size_t i = 0; i < count; ++i) {
        auto child = n.Child(i);
        std::wstring name;
        if (child && child->Name(name))
            out.emplace_back(name, std::move(child));
    }
    return out;
}

std::wstring TextOf(const ManifestNode& n) {
    std::wstring text;
    n.Text(text);
    return text;
}

struct Context {
    const LoadedManifest& m;
    std::vector<Finding>& out;

    std::string At(const std::wstring& path, const ManifestNode& node) const {
        const std::size_t line = m.xml->LineOf(node);
        return Narrow(path) + (line > 0 ? ", line " + std::to_string(line) : std::string());
    }
    void Add(Severity s, const char* code, std::string where, std::string message,
             std::string fix) const {
        out.push_back({s, code, m.file, std::move(where), std::move(message), std::move(fix)});
    }
};

// "http://host:port" of a URL in lower case; empty when it is not an absolute http(s) URL.
std::wstring OriginOf(const std::wstring& url) {
    const std::wstring lower = ToLowerAscii(url);
    const std::size_t scheme = lower.find(L"://");
    if (lower.rfind(L"http", 0) != 0 || scheme == std::wstring::npos)
        return std::wstring();
    const std::size_t end = lower.find(L'/', scheme + 3);
    return lower.substr(0, end);
}

void LintSettings(const Context& c) {
    const auto root = c.m.xml->Root();
    for (const auto& [name, child] : Children(*root)) {
        const std::wstring path = std::wstring(kSettingsRootName) + L"/" + name;
        const std::wstring text = TextOf(*child);
        if (!IsSettingsElementName(name)) {
            c.Add(Severity::kWarning, "ignored-element", c.At(path, *child),
                  "the settings reader ignores <" + Narrow(name) + ">",
                  "remove it, or use one of EUPP, downip, upkeldra6, history, hijactname");
        } else if (EqualsNoCase(name, L"upkeldra6") && text != L"0" && text != L"1") {
            c.Add(Severity::kError, "flag-word", c.At(path, *child),
                  "upkeldra6 \"" + Narrow(text) +
                      "\": only the exact text 1 switches to the version-6 manifests; this "
                      "leaves the switch clear",
                  "write 1 or 0");
        } else if (EqualsNoCase(name, L"downip")) {
            const bool dotted = !text.empty() &&
                                text.find_first_not_of(L"0123456789.") == std::wstring::npos &&
                                std::count(text.begin(), text.end(), L'.') == 3;
            if (!dotted) {
                c.Add(Severity::kError, "setting-range", c.At(path, *child),
                      "downip \"" + Narrow(text) +
                          "\" is not a dotted IPv4 address: every retry through the download IP "
                          "goes nowhere",
                      "write the download server's address, e.g. 203.0.113.80");
            }
        } else if (EqualsNoCase(name, L"hijactname")) {
            std::vector<std::wstring> names;
            AppendHijackNames(text, names);
            if (names.empty()) {
                c.Add(Severity::kWarning, "setting-range", c.At(path, *child),
                      "hijactname names no marker: no redirect counts as hijacked",
                      "list the markers between bars, e.g. |hijacked|portal|");
            }
        }
    }
}

struct EntryFacts {
    std::wstring tag;
    std::wstring path;
    std::string where;  // element path and line in the upgrade manifest
    std::wstring version;
    std::wstring fileName;
    std::wstring url;
    std::wstring depend;
    bool hasInstallFile = false;
};

void LintFlag(const Context& c, const std::wstring& path, const ManifestNode& node,
              const std::wstring& field, const std::wstring& text) {
    const std::wstring lower = ToLowerAscii(text);
    if (lower == L"true" || lower == L"false")
        return;
    const bool unattended = EqualsNoCase(field, L"u");
    c.Add(Severity::kError, "flag-word", c.At(path, node),
          "flag text \"" + Narrow(text) + "\" reads as " + (unattended ? "false" : "true") +
              ": only \"true\" and \"false\" (any letter case) are flag words",
          std::string("write ") + (unattended ? "true" : "false") + " if that is what you meant");
}

void LintEntry(const Context& c, ManifestVariant v, const std::wstring& name,
               const ManifestNode& entry, const LintOptions& options, EntryFacts& facts) {
    facts.tag = ToLowerAscii(name);
    facts.path = std::wstring(kUpgradeRootName) + L"/" + name;
    facts.where = c.At(facts.path, entry);
    const ManifestVariant other =
        v == ManifestVariant::kClassic ? ManifestVariant::kVersion6 : ManifestVariant::kClassic;
    std::set<std::wstring> seen;
    UpgradeReaderState state;
    state.downloadBase = options.downloadOrigin;
    UpdateItem item;
    item.tag = facts.tag;
    ReadUpdateEntry(entry, v, L"", state, item);  // what the updater takes from the entry
    for (const auto& [field, child] : Children(entry)) {
        const std::wstring path = facts.path + L"/" + field;
        if (!IsEntryFieldName(field, v)) {
            const bool otherVocabulary = IsEntryFieldName(field, other);
            c.Add(otherVocabulary ? Severity::kError : Severity::kWarning,
                  otherVocabulary ? "other-vocabulary" : "ignored-element", c.At(path, *child),
                  "<" + Narrow(field) + "> is ignored" +
                      (otherVocabulary
                           ? std::string(": it belongs to the ") +
                                 (v == ManifestVariant::kClassic ? "version-6" : "classic") +
                                 " manifest's names"
                           : std::string()),
                  "use this manifest's element names");
            continue;
        }
        if (!seen.insert(ToLowerAscii(field)).second) {
            c.Add(Severity::kWarning, "duplicate-field", c.At(path, *child),
                  "<" + Narrow(field) + "> occurs twice: the later value wins", "keep one of them");
        }
        const std::wstring lower = ToLowerAscii(field);
        if (lower == L"copyfile" || lower == L"cf" || lower == L"enforce" || lower == L"ef" ||
            lower == L"rundirect" || lower == L"rd" || lower == L"u") {
            LintFlag(c, path, *child, lower, TextOf(*child));
        }
        if (lower == L"installfile" || lower == L"f")
            facts.hasInstallFile = true;
        if (lower == L"p") {
            const std::wstring text = TextOf(*child);
            if (text != L"0" && text != L"1") {
                c.Add(Severity::kWarning, "setting-range", c.At(path, *child),
                      "placement kind \"" + Narrow(text) + "\" reads as " +
                          std::to_string(LeadingInt(text)) + ": only 0 and 1 mean anything",
                      "write 0 or 1");
            }
        }
    }
    facts.version = item.version;
    facts.fileName = item.fileName;
    facts.url = item.downloadUrl;
    facts.depend = item.depend;
    if (name.empty() || name[0] == L'#') {
        c.Add(Severity::kWarning, "stray-node", c.At(facts.path, entry),
              "a " + Narrow(name) + " node becomes an entry tagged \"" + Narrow(facts.tag) +
                  "\" with empty fields",
              "move comments and text out of the root or delete them");
        return;
    }
    if (ToLowerAscii(name) == L"systemset") {
        c.Add(Severity::kError, "systemset-case", c.At(facts.path, entry),
              "<" + Narrow(name) +
                  "> is not the settings element (SystemSet, exact letter case): "
                  "it becomes an entry",
              "write SystemSet");
        return;
    }
    if (item.version.empty()) {
        c.Add(Severity::kError, "missing-field", c.At(facts.path, entry),
              "no version: the entry never counts as newer, and a missing component is "
              "downloaded with nothing to check it against",
              "add the version");
    } else if (!IsFourPartVersion(item.version)) {
        c.Add(Severity::kError, "version-form", c.At(facts.path, entry),
              "version \"" + Narrow(item.version) +
                  "\" is not four numbers: installed versions are always four numbers, and the "
                  "comparison stops at the shorter text",
              "write four numbers, e.g. 5.9.2.0");
    }
    if (!facts.hasInstallFile) {
        c.Add(Severity::kError, "missing-field", c.At(facts.path, entry),
              "no install file: the package is fetched from an empty URL and fails",
              "add the package's path or URL");
    } else if (!IsSafePackageFileName(item.fileName)) {
        c.Add(Severity::kError, "file-unsafe", c.At(facts.path, entry),
              "package file name \"" + Narrow(item.fileName) +
                  "\" is refused by the updater (a path, a device name or a character a file "
                  "name cannot hold)",
              "give the package a plain file name");
    }
    const std::wstring origin = OriginOf(item.downloadUrl);
    if (!origin.empty() && origin != ToLowerAscii(options.downloadOrigin)) {
        c.Add(Severity::kWarning, "foreign-host", c.At(facts.path, entry),
              "the package comes from " + Narrow(origin) + ", not the download host " +
                  Narrow(options.downloadOrigin) +
                  ": its retry through the download IP asks the same host again",
              "serve the package from the download host, with a path that begins with /");
    }
}

}  // namespace

bool IsFourPartVersion(const std::wstring& text) {
    std::size_t fields = 0;
    std::size_t begin = 0;
    while (true) {
        const std::size_t dot = text.find(L'.', begin);
        const std::wstring field = text.substr(begin, dot - begin);
        if (field.empty() || field.size() > 5 ||
            field.find_first_not_of(L"0123456789") != std::wstring::npos ||
            std::stoul(Utf16ToUtf8(field)) > 65535) {
            return false;
        }
        ++fields;
        if (dot == std::wstring::npos)
            break;
        begin = dot + 1;
    }
    return fields == 4;
}

namespace {

std::string ListOf(const std::set<std::wstring>& tags) {
    std::string out;
    for (const std::wstring& t : tags)
        out += (out.empty() ? "" : ", ") + Narrow(t);
    return out;
}

// Entries, SystemSet, and the rules across entries of one upgrade manifest.
void LintUpgrade(const Context& c, const LintOptions& options, std::vector<EntryFacts>& entries) {
    const auto root = c.m.xml->Root();
    const auto children = Children(*root);  // the entries' facts point into it
    for (const auto& [name, child] : children) {
        if (name == L"SystemSet") {
            for (const auto& [setting, value] : Children(*child)) {
                const std::wstring path = L"UpdateList/SystemSet/" + setting;
                const std::wstring text = TextOf(*value);
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
            continue;
        }
        EntryFacts facts;
        LintEntry(c, c.m.variant, name, *child, options, facts);
        entries.push_back(std::move(facts));
    }
    std::map<std::wstring, const EntryFacts*> byTag;
    std::map<std::wstring, const EntryFacts*> byFile;
    for (const EntryFacts& e : entries) {
        if (e.tag.empty() || e.tag[0] == L'#')
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
        std::set<std::wstring> unknown;
        std::wstring rest = e.depend;
        for (std::size_t comma; !rest.empty();
             rest = comma == std::wstring::npos ? L"" : rest.substr(comma + 1)) {
            comma = rest.find(L',');
            const std::wstring token = ToLowerAscii(rest.substr(0, comma));
            if (!token.empty() && byTag.count(token) == 0)
                unknown.insert(token);
        }
        if (!unknown.empty()) {
            c.Add(Severity::kError, "depend-unknown", e.where,
                  "depend names no entry: " + ListOf(unknown) + "; nothing is pulled for it",
                  "add the entries or correct the tags");
        }
    }
    const auto updater = byTag.find(L"tallix");
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
        if (!e.tag.empty() && e.tag[0] != L'#')
            upgradeTags.insert(e.tag);
    }
    std::set<std::wstring> historyTags;
    const auto root = c.m.xml->Root();
    for (const auto& [name, child] : Children(*root)) {
        const std::wstring tag = ToLowerAscii(name);
        historyTags.insert(tag);
        if (upgradeTags.count(tag) == 0) {
            c.Add(Severity::kWarning, "history-orphan", c.At(L"UpdateList/" + name, *child),
                  "history entry \"" + Narrow(tag) +
                      "\" has no upgrade entry: its notes are never shown",
                  "remove it or add the upgrade entry");
        }
    }
    for (const EntryFacts& e : entries) {
        if (e.tag.empty() || e.tag[0] == L'#' || e.tag == L"tallix" || historyTags.count(e.tag) > 0)
            continue;
        c.Add(Severity::kWarning, "history-missing", "UpdateList",
              "upgrade entry \"" + Narrow(e.tag) +
                  "\" has no history entry: its update is offered without notes",
              "add <" + Narrow(e.tag) + "><h>|...|</h></" + Narrow(e.tag) +
                  "> to the history manifest");
    }
}

}  // namespace

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
    if (!release.settings.present) {
        out.push_back({Severity::kError, "missing-file", release.settings.file, "",
                       "no settings manifest: machines use the built-in download address",
                       "publish keldra/tallix.xml"});
    } else if (lintFile(release.settings)) {
        LintSettings(Context{release.settings, out});
    }
    bool anyUpgrade = false;
    for (const ManifestVariant v : {ManifestVariant::kClassic, ManifestVariant::kVersion6}) {
        const LoadedManifest& upgrade = release.Upgrade(v);
        std::vector<EntryFacts> entries;
        anyUpgrade = anyUpgrade || upgrade.present;
        const bool upgradeRead = lintFile(upgrade);
        if (upgradeRead)
            LintUpgrade(Context{upgrade, out}, options, entries);
        const LoadedManifest& history = release.History(v);
        if (lintFile(history) && upgradeRead)
            LintHistory(Context{history, out}, entries);
    }
    if (!anyUpgrade) {
        out.push_back({Severity::kError, "missing-file", "/keldra/upgrade.xml", "",
                       "no upgrade manifest: every check fails with the network error box",
                       "publish keldra/upgrade.xml (and upgrade6s.xml for the version-6 line)"});
    }
    LintReleaseIndex(release, options, out);
    return out;
}
