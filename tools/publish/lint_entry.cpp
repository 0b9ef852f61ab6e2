// The rules about single elements: the settings manifest's values and each upgrade entry's
// fields, read with the updater's own readers and compared with what the publisher meant.
#include <optional>
#include <set>

#include "base/text.h"
#include "manifest/settings_manifest.h"
#include "manifest/update_list.h"
#include "tools/publish/lint.h"

namespace {

std::string Narrow(const std::wstring& text) {
    return Utf16ToUtf8(text);
}

bool IsDigits(const std::wstring& text) {
    return !text.empty() && text.find_first_not_of(L"0123456789") == std::wstring::npos;
}

// The parts of a text between its dots; "" gives one empty part.
std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    std::size_t begin = 0;
    for (std::size_t at; (at = text.find(separator, begin)) != std::wstring::npos; begin = at + 1)
        parts.push_back(text.substr(begin, at - begin));
    parts.push_back(text.substr(begin));
    return parts;
}

// A decimal number without leading zeros (0 itself is one) of at most `highest`.
bool IsPlainNumber(const std::wstring& text, unsigned long highest) {
    return IsDigits(text) && text.size() <= 5 && (text == L"0" || text[0] != L'0') &&
           std::stoul(Narrow(text)) <= highest;
}

bool IsHostName(const std::wstring& text) {
    if (text.empty() || text.size() > 253)
        return false;
    for (const std::wstring& label : Split(text, L'.')) {
        if (label.empty() || label.size() > 63 || label.front() == L'-' || label.back() == L'-')
            return false;
        for (const wchar_t c : label) {
            const bool alnum =
                (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
            if (!alnum && c != L'-')
                return false;
        }
    }
    return true;
}

// What a reader of the manifest takes a flag's text to say: true, false, or nothing clear.
std::optional<bool> Meant(const std::wstring& text) {
    const std::wstring lower = ToLowerAscii(text);
    if (lower == L"true" || lower == L"1" || lower == L"yes" || lower == L"on")
        return true;
    if (lower == L"false" || lower == L"0" || lower == L"no" || lower == L"off")
        return false;
    return std::nullopt;
}

// A flag text that the updater reads otherwise than it says is an error; one that says nothing
// clear ("ture", an empty element) is a warning that names how it reads.
void LintFlag(const lint::Context& c, const std::wstring& path, const ManifestNode& node,
              EntryField field, const std::wstring& text) {
    const bool reads = ReadFlag(field, text);
    const std::optional<bool> meant = Meant(text);
    if (meant && *meant == reads)
        return;
    const std::string value = reads ? "true" : "false";
    const std::string rule = field == EntryField::kUnattended
                                 ? "only \"true\" (any letter case) sets this flag"
                                 : "only \"false\" (any letter case) clears this flag";
    c.Add(meant ? Severity::kError : Severity::kWarning, "flag-word", c.At(path, node),
          "flag text \"" + Narrow(text) + "\" reads as " + value + ": " + rule,
          meant ? "write " + std::string(*meant ? "true" : "false")
                : "write true or false, whichever you mean");
}

}  // namespace

bool IsFourPartVersion(const std::wstring& text) {
    const std::vector<std::wstring> fields = Split(text, L'.');
    if (fields.size() != 4)
        return false;
    for (const std::wstring& field : fields) {
        if (!IsPlainNumber(field, 65535))
            return false;
    }
    return true;
}

bool IsDownloadAddress(const std::wstring& text) {
    std::wstring host = text;
    const std::size_t colon = text.rfind(L':');
    if (colon != std::wstring::npos) {
        const std::wstring port = text.substr(colon + 1);
        if (!IsPlainNumber(port, 65535) || port == L"0")
            return false;
        host = text.substr(0, colon);
    }
    if (host.find_first_not_of(L"0123456789.") == std::wstring::npos) {
        const std::vector<std::wstring> numbers = Split(host, L'.');
        if (numbers.size() != 4)
            return false;
        for (const std::wstring& n : numbers) {
            if (!IsDigits(n) || n.size() > 3 || std::stoul(Narrow(n)) > 255)
                return false;
        }
        return true;
    }
    return IsHostName(host);
}

std::wstring UrlHostName(const std::wstring& url) {
    const std::wstring lower = ToLowerAscii(url);
    std::size_t begin = 0;
    if (lower.rfind(L"http://", 0) == 0)
        begin = 7;
    else if (lower.rfind(L"https://", 0) == 0)
        begin = 8;
    else
        return std::wstring();
    const std::size_t end = lower.find_first_of(L"/?#", begin);
    std::wstring authority = lower.substr(begin, end - begin);
    authority = authority.substr(authority.rfind(L'@') + 1);  // npos + 1 is 0
    return authority.substr(0, authority.find(L':'));
}

namespace lint {

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

std::string Context::At(const std::wstring& path, const ManifestNode& node) const {
    const std::size_t line = m.xml->LineOf(node);
    return Narrow(path) + (line > 0 ? ", line " + std::to_string(line) : std::string());
}

void Context::Add(Severity s, const char* code, std::string where, std::string message,
                  std::string fix) const {
    out.push_back({s, code, m.file, std::move(where), std::move(message), std::move(fix)});
}

void LintSettings(const Context& c) {
    for (const auto& [name, child] : Children(*c.m.xml->Root())) {
        const std::wstring path = std::wstring(kSettingsRootName) + L"/" + name;
        const std::wstring text = TextOf(*child);
        if (name == L"#comment") {
            continue;
        } else if (!IsSettingsElementName(name)) {
            c.Add(Severity::kWarning, "ignored-element", c.At(path, *child),
                  "the settings reader ignores <" + Narrow(name) + ">",
                  "remove it, or use one of EUPP, downip, upkeldra6, history, hijactname");
        } else if (EqualsNoCase(name, L"upkeldra6") && text != L"0" && text != L"1") {
            c.Add(Severity::kError, "flag-word", c.At(path, *child),
                  "upkeldra6 \"" + Narrow(text) +
                      "\": only the exact text 1 switches to the version-6 manifests; this "
                      "leaves the switch clear",
                  "write 1 or 0");
        } else if (EqualsNoCase(name, L"downip") && !IsDownloadAddress(text)) {
            c.Add(Severity::kError, "setting-range", c.At(path, *child),
                  "downip \"" + Narrow(text) +
                      "\" is neither an IPv4 address nor a host name: every retry through the "
                      "download IP goes nowhere",
                  "write the download server's address, e.g. 203.0.113.80");
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

void LintEntry(const Context& c, const std::wstring& name, const ManifestNode& entry,
               const LintOptions& options, EntryFacts& facts) {
    const ManifestVariant v = c.m.variant;
    const ManifestVariant other =
        v == ManifestVariant::kClassic ? ManifestVariant::kVersion6 : ManifestVariant::kClassic;
    const std::wstring entryPath = std::wstring(kUpgradeRootName) + L"/" + name;
    facts.tag = ToLowerAscii(name);
    facts.where = c.At(entryPath, entry);
    UpgradeReaderState state;
    state.downloadBase = options.downloadOrigin;
    UpdateItem item;
    item.tag = facts.tag;
    ReadUpdateEntry(entry, v, L"", state, item);  // what the updater takes from the entry
    facts.version = item.version;
    facts.fileName = item.fileName;
    facts.depend = item.depend;
    if (name.empty() || name[0] == L'#') {
        c.Add(Severity::kWarning, "stray-node", facts.where,
              "a " + Narrow(name) + " node becomes an entry tagged \"" + Narrow(facts.tag) +
                  "\" with empty fields",
              "move comments and text out of the root or delete them");
        return;
    }
    if (facts.tag == L"systemset") {
        c.Add(Severity::kError, "systemset-case", facts.where,
              "<" + Narrow(name) +
                  "> is not the settings element (SystemSet, exact letter case): it becomes an "
                  "entry",
              "write SystemSet");
        return;
    }
    std::set<EntryField> seen;
    std::wstring installFile;
    bool hasInstallFile = false;
    for (const auto& [fieldName, child] : Children(entry)) {
        const std::wstring path = entryPath + L"/" + fieldName;
        const EntryField field = EntryFieldNamed(fieldName, v);
        if (fieldName == L"#comment") {
            continue;  // a comment inside an entry is no field and no entry
        }
        if (field == EntryField::kOther) {
            const bool otherVocabulary = IsEntryFieldName(fieldName, other);
            c.Add(otherVocabulary ? Severity::kError : Severity::kWarning,
                  otherVocabulary ? "other-vocabulary" : "ignored-element", c.At(path, *child),
                  "<" + Narrow(fieldName) + "> is ignored" +
                      (otherVocabulary
                           ? std::string(": it belongs to the ") +
                                 (v == ManifestVariant::kClassic ? "version-6" : "classic") +
                                 " manifest's names"
                           : std::string()),
                  "use this manifest's element names");
            continue;
        }
        if (!seen.insert(field).second) {
            c.Add(Severity::kWarning, "duplicate-field", c.At(path, *child),
                  "<" + Narrow(fieldName) + "> occurs twice: the later value wins",
                  "keep one of them");
        }
        const std::wstring text = TextOf(*child);
        if (field == EntryField::kCopyFile || field == EntryField::kEnforce ||
            field == EntryField::kRunDirect || field == EntryField::kUnattended) {
            LintFlag(c, path, *child, field, text);
        } else if (field == EntryField::kInstallFile) {
            hasInstallFile = true;
            installFile = text;
        } else if (field == EntryField::kPlacementKind && text != L"0" && text != L"1") {
            c.Add(Severity::kWarning, "setting-range", c.At(path, *child),
                  "placement kind \"" + Narrow(text) + "\" reads as " +
                      std::to_string(item.placementKind) + ": only 0 and 1 mean anything",
                  "write 0 or 1");
        }
    }
    if (item.version.empty()) {
        c.Add(Severity::kError, "missing-field", facts.where,
              "no version: the entry never counts as newer, and a missing component is "
              "downloaded with nothing to check it against",
              "add the version");
    } else if (!IsFourPartVersion(item.version)) {
        c.Add(Severity::kError, "version-form", facts.where,
              "version \"" + Narrow(item.version) +
                  "\" is not four plain numbers: installed versions are always written "
                  "\"%d.%d.%d.%d\", so the package's version can never equal it and the package "
                  "is never applied",
              "write four numbers without leading zeros, e.g. 5.9.2.0");
    }
    if (!hasInstallFile) {
        c.Add(Severity::kError, "missing-field", facts.where,
              "no install file: the package is fetched from an empty URL and fails",
              "add the package's path or URL");
        return;
    }
    if (!IsSafePackageFileName(item.fileName)) {
        c.Add(Severity::kError, "file-unsafe", facts.where,
              "package file name \"" + Narrow(item.fileName) +
                  "\" is refused by the updater (a path, a device name or a character a file "
                  "name cannot hold)",
              "give the package a plain file name");
    }
    // The updater joins an install file that is no http URL to the download host's origin.
    const bool joined = item.downloadUrl != installFile;
    const std::wstring host = UrlHostName(item.downloadUrl);
    if ((joined && installFile.rfind(L'/', 0) != 0) || (!joined && host.empty())) {
        c.Add(Severity::kError, "install-file", facts.where,
              "install file \"" + Narrow(installFile) +
                  "\" is neither a path that begins with / nor an http URL: the package is "
                  "fetched from " +
                  Narrow(item.downloadUrl) + ", and every download of it fails",
              "write the path on the download host with a leading /, or a whole URL");
    } else if (!joined && host != UrlHostName(options.downloadOrigin)) {
        c.Add(Severity::kWarning, "foreign-host", facts.where,
              "the package comes from " + Narrow(host) + ", not the download host " +
                  Narrow(UrlHostName(options.downloadOrigin)) +
                  ": its retry through the download IP asks the same host again",
              "serve the package from the download host, with a path that begins with /");
    }
}

}  // namespace lint
