#include "tools/publish/packages_command.h"

#include <sys/stat.h>

#include <vector>

#include "base/text.h"
#include "manifest/update_list.h"
#include "tools/publish/manifest_source.h"
#include "tools/publish/output.h"
#include "trust/release_index.h"
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
    PackageVerdict verdict;
};

// The package of an entry: the URL's path below the release folder, else its file name there.
std::string FindPackage(const std::string& dir, const UpdateItem& item,
                        std::vector<unsigned char>& bytes) {
    const std::wstring path = UrlPath(item.downloadUrl);
    std::vector<std::string> candidates;
    if (!path.empty())
        candidates.push_back(N(path));
    candidates.push_back("/" + N(item.fileName));
    for (const std::string& path : candidates) {
        if (auto read = ReadReleaseFile(dir, path)) {
            bytes = std::move(*read);
            return dir + path;
        }
    }
    return "";
}

const char* LevelName(PackageVerdict::Level level) {
    return level == PackageVerdict::Level::kOk        ? "ok"
           : level == PackageVerdict::Level::kWarning ? "warning"
                                                      : "error";
}

}  // namespace

PackageVerdict JudgePackage(bool found, const PackageFacts& facts, const std::wstring& fileName,
                            const std::wstring& expected) {
    using Level = PackageVerdict::Level;
    if (!found)
        return {Level::kError, "missing from the release folder"};
    if (!facts.isPe)
        return {Level::kError, "not a Windows program: no version resource, no signature"};
    if (facts.productVersion.empty())
        return {Level::kError, "no version resource: the updater cannot tell it is the new one"};
    if (facts.productVersion != expected) {
        return {Level::kError, "version resource " + N(facts.productVersion) + ", the entry says " +
                                   N(expected) +
                                   ": the package is downloaded again on every check and never "
                                   "applied"};
    }
    if (IsSignatureExemptPath(L"\\" + fileName))
        return {Level::kOk, "ok (the exempt installer: its signer is not checked)"};
    if (!facts.signatureReadable) {
        return {Level::kWarning,
                "unsigned: accepted only because the updater accepts a file without a readable "
                "signature; a redirected download of it counts as suspicious"};
    }
    if (!IsMakersSigner(ToLowerAscii(facts.signerSubject)))
        return {Level::kError,
                "signed by \"" + N(facts.signerSubject) + "\": the updater refuses it"};
    return {Level::kOk, "ok"};
}

int RunPackagesCommand(const std::string& manifests, const std::string& releaseDir,
                       int timeoutSeconds, const PublishHosts& hosts, bool errorsOnly, bool json,
                       std::ostream& out, std::ostream& err) {
    const ReleaseManifests release = LoadRelease(ManifestSource(manifests, timeoutSeconds));
    struct stat info {};
    const std::string problem = !release.unreadable.empty() ? release.unreadable
                                : stat(releaseDir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)
                                    ? releaseDir + " is not a readable folder"
                                    : "";
    if (!problem.empty()) {
        err << "tallix-publish: cannot read " << TerminalSafe(problem) << "\n";
        return 2;
    }
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
            row.verdict = JudgePackage(!row.found.empty(), row.facts, row.file, row.expected);
            rows.push_back(row);
        }
    }
    int status = 0;
    for (const PackageRow& r : rows) {
        if (r.verdict.level == PackageVerdict::Level::kError ||
            (r.verdict.level == PackageVerdict::Level::kWarning && !errorsOnly)) {
            status = 1;
        }
    }
    if (json) {
        out << "[";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const PackageRow& r = rows[i];
            out << (i ? "," : "") << "{\"manifest\":" << Json(r.manifest)
                << ",\"tag\":" << Json(N(r.tag)) << ",\"file\":" << Json(N(r.file))
                << ",\"expected\":" << Json(N(r.expected)) << ",\"found\":" << Json(r.found)
                << ",\"size\":" << r.size << ",\"version\":" << Json(N(r.facts.productVersion))
                << ",\"signer\":" << Json(N(r.facts.signerSubject))
                << ",\"ok\":" << (r.verdict.level == PackageVerdict::Level::kOk ? "true" : "false")
                << ",\"severity\":" << Json(LevelName(r.verdict.level))
                << ",\"verdict\":" << Json(r.verdict.text) << "}";
        }
        out << "]\n";
    } else {
        std::vector<std::vector<std::string>> table = {
            {"manifest", "entry", "file", "size", "version", "signer", "verdict"}};
        for (const PackageRow& r : rows) {
            table.push_back({r.manifest, N(r.tag), N(r.file),
                             r.found.empty() ? "-" : std::to_string(r.size),
                             r.facts.productVersion.empty() ? "-" : N(r.facts.productVersion),
                             r.facts.signatureReadable ? N(r.facts.signerSubject) : "-",
                             std::string(LevelName(r.verdict.level)) + ": " + r.verdict.text});
        }
        PrintTable(out, table);
    }
    return status;
}
