#include "tools/publish/packages_command.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "base/text.h"
#include "manifest/update_list.h"
#include "tools/publish/manifest_source.h"
#include "tools/publish/output.h"
#include "tools/publish/pe_package.h"
#include "tools/publish/manifest_source.h"
#include "trust/signer_rule.h"

namespace {

std::string N(const std::wstring& text) {
    return Utf16ToUtf8(text);
}

struct PackageRow {
    std::string manifest;
    std::wstring tag;
    std::wstring file;
    std::wstring expected;
    std::string found;  // path in the release folder, empty when missing
    std::uint64_t size = 0;
    PackageFacts facts;
    std::string verdict;
    bool ok = false;
};

// The package of an entry: the URL's path below the release folder, else its file name there.
std::string FindPackage(const std::string& dir, const UpdateItem& item,
                        std::vector<unsigned char>& bytes) {
    const std::wstring url = item.downloadUrl;
    const std::size_t scheme = url.find(L"://");
    const std::size_t slash =
        scheme == std::wstring::npos ? std::wstring::npos : url.find(L'/', scheme + 3);
    std::vector<std::string> candidates;
    if (slash != std::wstring::npos)
        candidates.push_back(dir + N(url.substr(slash, url.find(L'?') - slash)));
    candidates.push_back(dir + "/" + N(item.fileName));
    for (const std::string& path : candidates) {
        if (auto read = ReadFileBytes(path)) {
            bytes = std::move(*read);
            return path;
        }
    }
    return "";
}

void Judge(PackageRow& row) {
    if (row.found.empty()) {
        row.verdict = "missing from the release folder";
        return;
    }
    if (!row.facts.isPe) {
        row.verdict = "not a Windows program: no version resource, no signature";
        return;
    }
    if (row.facts.productVersion != row.expected) {
        row.verdict = "version resource " +
                      (row.facts.productVersion.empty() ? std::string("missing")
                                                        : N(row.facts.productVersion)) +
                      ", the entry says " + N(row.expected) +
                      ": the package is downloaded again on every check and never applied";
        return;
    }
    if (IsSignatureExemptPath(L"\\" + row.file)) {
        row.ok = true;
        row.verdict = "ok (the exempt installer: its signer is not checked)";
        return;
    }
    if (!row.facts.signatureReadable) {
        row.verdict =
            "unsigned: accepted only because the updater accepts a file without a readable "
            "signature; a redirected download of it counts as suspicious";
        return;
    }
    if (!IsMakersSigner(ToLowerAscii(row.facts.signerSubject))) {
        row.verdict = "signed by \"" + N(row.facts.signerSubject) + "\": the updater refuses it";
        return;
    }
    row.ok = true;
    row.verdict = "ok";
}

}  // namespace

int RunPackagesCommand(const std::string& manifests, const std::string& releaseDir,
                       const PublishHosts& hosts, bool json, std::ostream& out) {
    const ReleaseManifests release = LoadRelease(ManifestSource(manifests));
    std::vector<PackageRow> rows;
    for (const ManifestVariant v : {ManifestVariant::kClassic, ManifestVariant::kVersion6}) {
        const LoadedManifest& m = release.Upgrade(v);
        if (!m.present || !m.xml->RootFound())
            continue;
        UpgradeReaderState state;
        state.downloadBase = hosts.download;
        UpdateList items;
        ReadUpgradeManifest(*m.xml->Root(), v, L"", state, items);
        for (const auto& item : items) {
            if (item->downloadUrl.empty())
                continue;
            PackageRow row;
            row.manifest = m.file;
            row.tag = item->tag;
            row.file = item->fileName;
            row.expected = item->version;
            std::vector<unsigned char> bytes;
            row.found = FindPackage(releaseDir, *item, bytes);
            row.size = bytes.size();
            row.facts = ReadPackageFacts(bytes);
            Judge(row);
            rows.push_back(row);
        }
    }
    bool allOk = true;
    for (const PackageRow& r : rows)
        allOk = allOk && r.ok;
    if (json) {
        out << "[";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const PackageRow& r = rows[i];
            out << (i ? "," : "") << "{\"manifest\":" << Json(r.manifest)
                << ",\"tag\":" << Json(N(r.tag)) << ",\"file\":" << Json(N(r.file))
                << ",\"expected\":" << Json(N(r.expected)) << ",\"found\":" << Json(r.found)
                << ",\"size\":" << r.size << ",\"version\":" << Json(N(r.facts.productVersion))
                << ",\"signer\":" << Json(N(r.facts.signerSubject))
                << ",\"ok\":" << (r.ok ? "true" : "false") << ",\"verdict\":" << Json(r.verdict)
                << "}";
        }
        out << "]\n";
    } else {
        std::vector<std::vector<std::string>> table = {
            {"manifest", "entry", "file", "size", "version", "signer", "verdict"}};
        for (const PackageRow& r : rows) {
            table.push_back(
                {r.manifest, N(r.tag), N(r.file), r.found.empty() ? "-" : std::to_string(r.size),
                 r.facts.productVersion.empty() ? "-" : N(r.facts.productVersion),
                 r.facts.signatureReadable ? N(r.facts.signerSubject) : "-", r.verdict});
        }
        PrintTable(out, table);
    }
    return allOk ? 0 : 1;
}

int RunManifestCommand(const std::string& releaseDir, const std::wstring& base,
                       const PublishHosts& hosts, bool json, std::ostream& out) {
    std::vector<std::filesystem::path> packages;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(releaseDir, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::string extension = it->path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
        if (it->is_regular_file() && extension == ".exe")
            packages.push_back(it->path());
    }
    std::sort(packages.begin(), packages.end());
    std::wstring prefix = base;
    while (!prefix.empty() && prefix.back() == L'/')
        prefix.pop_back();
    if (EqualsNoCase(prefix.substr(0, hosts.download.size()), hosts.download))
        prefix = prefix.substr(hosts.download.size());
    bool allVersioned = true;
    out << (json ? "[" : "");
    for (std::size_t i = 0; i < packages.size(); ++i) {
        const auto bytes = ReadFileBytes(packages[i].string());
        const PackageFacts facts = ReadPackageFacts(bytes ? *bytes : std::vector<unsigned char>());
        allVersioned = allVersioned && !facts.productVersion.empty();
        const std::string tag = N(ToLowerAscii(Utf8ToUtf16(packages[i].stem().string())));
        const std::string url =
            N(prefix) + "/" + std::filesystem::relative(packages[i], releaseDir).generic_string();
        const std::string version = N(facts.productVersion);
        if (json) {
            out << (i ? "," : "") << "{\"tag\":" << Json(tag) << ",\"version\":" << Json(version)
                << ",\"installfile\":" << Json(url) << "}";
        } else {
            out << "  <" << tag << ">\n    <name>" << tag << "</name>\n    <version>" << version
                << "</version>\n    <installfile>" << url << "</installfile>\n  </" << tag << ">\n";
        }
    }
    out << (json ? "]\n" : "");
    return allVersioned ? 0 : 1;
}
