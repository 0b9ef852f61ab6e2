#include "tools/publish/manifest_command.h"

#include <pugixml.hpp>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "base/text.h"
#include "manifest/update_list.h"
#include "tools/publish/lint.h"
#include "tools/publish/manifest_source.h"
#include "tools/publish/output.h"
#include "tools/publish/packages_command.h"
#include "tools/publish/pe_package.h"

namespace fs = std::filesystem;

namespace {

std::string N(const std::wstring& text) {
    return Utf16ToUtf8(text);
}

struct Package {
    std::string path;  // in the release folder
    std::string tag;
    std::string version;
    std::string installFile;  // the text of the install-file element
    std::string refused;      // why it makes no entry; empty when it does
};

// Characters an install path may hold as they are in a URL and in the package's file name.
bool IsPlainPath(const std::string& path) {
    return std::all_of(path.begin(), path.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '.' || c == '_' ||
               c == '-' || c == '~';
    });
}

Package Examine(const fs::path& file, const std::string& releaseDir, const std::string& prefix) {
    Package p;
    p.path = file.string();
    p.tag = N(ToLowerAscii(Utf8ToUtf16(file.stem().string())));
    const std::string relative = fs::relative(file, releaseDir).generic_string();
    p.installFile = prefix + "/" + relative;
    const auto bytes = ReadFileBytes(p.path);
    const PackageFacts facts = ReadPackageFacts(bytes ? *bytes : std::vector<unsigned char>());
    p.version = N(facts.productVersion);
    const std::wstring fileName = Utf8ToUtf16(file.filename().string());
    const PackageVerdict verdict =
        JudgePackage(bytes.has_value(), facts, fileName, facts.productVersion);
    if (const std::string problem = ManifestTagProblem(p.tag); !problem.empty()) {
        p.refused = problem;
    } else if (!IsPlainPath(relative) || !IsSafePackageFileName(fileName)) {
        p.refused = "the path " + relative +
                    " holds characters that a URL or a package file name cannot carry as they "
                    "are: name it with letters, digits, \".\", \"_\" and \"-\"";
    } else if (verdict.level != PackageVerdict::Level::kOk) {
        p.refused = verdict.text;
    }
    return p;
}

// The entry `tag` of a manifest's root, its version and install file set; a new entry at the end
// when there is none. Every occurrence of a field is set, so that no earlier one disagrees.
void Merge(pugi::xml_node root, ManifestVariant v, const Package& p) {
    pugi::xml_node entry;
    for (pugi::xml_node child : root.children()) {
        if (child.type() == pugi::node_element && std::string(child.name()) != "SystemSet" &&
            N(ToLowerAscii(Utf8ToUtf16(child.name()))) == p.tag) {
            entry = child;
            break;
        }
    }
    if (!entry) {
        entry = root.append_child(p.tag.c_str());
        entry.append_child(N(EntryFieldElementName(EntryField::kName, v)).c_str())
            .text()
            .set(p.tag.c_str());
    }
    for (const auto& [field, value] : {std::pair{EntryField::kVersion, p.version},
                                       std::pair{EntryField::kInstallFile, p.installFile}}) {
        bool set = false;
        for (pugi::xml_node child : entry.children()) {
            if (child.type() == pugi::node_element &&
                EntryFieldNamed(Utf8ToUtf16(child.name()), v) == field) {
                child.remove_children();
                child.text().set(value.c_str());
                set = true;
            }
        }
        if (!set)
            entry.append_child(N(EntryFieldElementName(field, v)).c_str())
                .text()
                .set(value.c_str());
    }
}

// The manifest of one variant: the one to merge into, or a new one. False with `problem` when the
// manifest to merge into is there but the updater could not read entries from it.
bool Build(const LoadedManifest* existing, ManifestVariant v, const std::vector<Package>& packages,
           pugi::xml_document& doc, std::string& problem) {
    if (existing != nullptr && existing->present) {
        if (!existing->xml->Parsed() || !existing->xml->RootFound()) {
            problem = existing->file +
                      " cannot be merged into: the updater reads no entries from "
                      "it (run lint on it)";
            return false;
        }
        const std::string text = Utf16ToUtf8(existing->xml->Text());
        const unsigned options = pugi::parse_default | pugi::parse_comments | pugi::parse_pi |
                                 pugi::parse_declaration | pugi::parse_doctype;
        doc.load_buffer(text.data(), text.size(), options, pugi::encoding_utf8);
    }
    pugi::xml_node declaration = doc.first_child();
    if (declaration.type() != pugi::node_declaration) {
        declaration = doc.prepend_child(pugi::node_declaration);
        declaration.append_attribute("version") = "1.0";
    }
    // The file is written as UTF-8 with its mark, whatever the old declaration said.
    declaration.remove_attribute("encoding");
    declaration.insert_attribute_after("encoding", declaration.attribute("version")) = "utf-8";
    pugi::xml_node root = doc.document_element();
    if (!root)
        root = doc.append_child(N(kUpgradeRootName).c_str());
    for (const Package& p : packages)
        Merge(root, v, p);
    return true;
}

// Writes the file beside its place and moves it there in one step; then reads it back the
// updater's way and checks that every package's entry says what it should.
bool WriteChecked(const pugi::xml_document& doc, const fs::path& path, ManifestVariant v,
                  const std::wstring& downloadBase, const std::vector<Package>& packages,
                  std::string& problem) {
    std::ostringstream text;
    doc.save(text, "  ", pugi::format_indent | pugi::format_write_bom, pugi::encoding_utf8);
    const std::string bytes = text.str();
    LoadedManifest check;
    LoadManifestBytes(ManifestKind::kUpgrade, v,
                      std::vector<unsigned char>(bytes.begin(), bytes.end()), check);
    UpgradeReaderState state;
    state.downloadBase = downloadBase;
    UpdateList items;
    ReadUpgradeManifest(*check.xml->Root(), v, L"", state, items);
    for (const Package& p : packages) {
        const auto item = std::find_if(items.begin(), items.end(),
                                       [&](const auto& i) { return N(i->tag) == p.tag; });
        if (item == items.end() || N((*item)->version) != p.version ||
            (*item)->downloadUrl != InstallFileUrl(downloadBase, Utf8ToUtf16(p.installFile))) {
            problem = path.string() + ": the updater would not read the entry " + p.tag + " back";
            return false;
        }
    }
    std::error_code error;
    fs::create_directories(path.parent_path(), error);
    const fs::path temporary = path.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            problem = "cannot write " + temporary.string();
            return false;
        }
    }
    fs::rename(temporary, path, error);
    if (error) {
        problem = "cannot replace " + path.string() + ": " + error.message();
        return false;
    }
    return true;
}

void Print(const std::vector<Package>& packages, bool json, std::ostream& out) {
    if (json) {
        out << "[";
        for (std::size_t i = 0; i < packages.size(); ++i) {
            const Package& p = packages[i];
            out << (i ? "," : "") << "{\"tag\":" << Json(p.tag)
                << ",\"version\":" << Json(p.version) << ",\"installfile\":" << Json(p.installFile)
                << ",\"refused\":" << (p.refused.empty() ? std::string("null") : Json(p.refused))
                << "}";
        }
        out << "]\n";
        return;
    }
    std::vector<std::vector<std::string>> rows = {{"entry", "version", "install file", "verdict"}};
    for (const Package& p : packages) {
        rows.push_back({p.tag, p.version.empty() ? "-" : p.version, p.installFile,
                        p.refused.empty() ? "ok" : "refused: " + p.refused});
    }
    PrintTable(out, rows);
}

}  // namespace

std::string ManifestTagProblem(const std::string& tag) {
    const std::string why = "\"" + tag + "\" cannot be an element name: ";
    if (tag.empty())
        return why + "it is empty";
    if (!std::isalpha(static_cast<unsigned char>(tag[0])) && tag[0] != '_')
        return why + "it must begin with a letter or \"_\"";
    for (const char c : tag) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-' && c != '.')
            return why + "only letters, digits, \"_\", \"-\" and \".\" may follow, not \"" + c +
                   "\"";
    }
    if (tag.rfind("xml", 0) == 0)
        return why + "names beginning with \"xml\" are reserved";
    if (tag == "systemset")
        return why + "it would be read as the settings element's misspelling";
    return "";
}

int RunManifestCommand(const ManifestRequest& request, const PublishHosts& hosts, bool json,
                       std::ostream& out, std::ostream& err) {
    if (UrlHostName(request.base).empty()) {
        err << "tallix-publish: --base must be an http:// or https:// URL, not "
            << TerminalSafe(N(request.base)) << "\n";
        return 2;
    }
    struct stat info {};
    if (stat(request.releaseDir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        err << "tallix-publish: cannot read " << TerminalSafe(request.releaseDir)
            << ": not a folder\n";
        return 2;
    }
    std::vector<fs::path> files;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(request.releaseDir, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        std::string extension = it->path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
        if (it->is_regular_file() && extension == ".exe")
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    std::wstring prefix = request.base;
    while (!prefix.empty() && prefix.back() == L'/')
        prefix.pop_back();
    if (EqualsNoCase(prefix.substr(0, hosts.download.size()), hosts.download))
        prefix = prefix.substr(hosts.download.size());
    std::vector<Package> packages;
    std::map<std::string, std::string> firstOfTag;
    bool refused = false;
    for (const fs::path& file : files) {
        Package p = Examine(file, request.releaseDir, N(prefix));
        const auto [first, added] = firstOfTag.emplace(p.tag, p.path);
        if (!added && p.refused.empty())
            p.refused =
                "a second package for the entry " + p.tag + " (the first is " + first->second + ")";
        refused = refused || !p.refused.empty();
        packages.push_back(std::move(p));
    }
    Print(packages, json, out);
    if (refused || request.outDir.empty()) {
        if (!json && refused && !request.outDir.empty())
            out << "nothing written: every package must make an entry\n";
        if (!json && !refused)
            out << "give --out DIR to write the manifests\n";
        return refused ? 1 : 0;
    }
    ReleaseManifests existing;
    if (!request.merge.empty()) {
        existing = LoadRelease(ManifestSource(request.merge, request.timeoutSeconds));
        if (!existing.unreadable.empty()) {
            err << "tallix-publish: cannot read " << TerminalSafe(existing.unreadable) << "\n";
            return 2;
        }
    }
    std::vector<std::string> written;
    for (const ManifestVariant v : {ManifestVariant::kClassic, ManifestVariant::kVersion6}) {
        pugi::xml_document doc;
        std::string problem;
        const fs::path path = fs::path(request.outDir) / "keldra" /
                              N(ManifestPath(ManifestKind::kUpgrade, v)).substr(8);
        if (!Build(request.merge.empty() ? nullptr : &existing.Upgrade(v), v, packages, doc,
                   problem) ||
            !WriteChecked(doc, path, v, hosts.download, packages, problem)) {
            err << "tallix-publish: " << TerminalSafe(problem) << "\n";
            return 1;
        }
        written.push_back(path.string());
    }
    if (!json)
        out << "wrote " << TerminalSafe(written[0]) << " and " << TerminalSafe(written[1]) << "\n";
    return 0;
}
