#include "tools/publish/release_index_check.h"

#include "base/text.h"
#include "manifest/update_list.h"
#include "tools/publish/release_keys.h"
#include "trust/release_rules.h"

namespace {

std::string Short(const Sha256Digest& digest) {
    return LowerHex(digest.data(), 6);
}

// What not having the manifest means on a machine.
std::string WithoutIt(ManifestKind kind) {
    switch (kind) {
        case ManifestKind::kSettings:
            return "machines keep the built-in settings";
        case ManifestKind::kUpgrade:
            return "every check of this variant ends with the network error box";
        case ManifestKind::kHistory:
        default:
            return "no history page is shown";
    }
}

void CheckManifest(const LoadedManifest& m, const ReleaseIndex& index,
                   std::vector<IndexProblem>& out) {
    const IndexedFile* entry = FindIndexedFile(index.manifests, m.file);
    if (!m.present) {
        if (entry != nullptr) {
            out.push_back({false, m.file, "in the release index but not served",
                           "serve it, or sign the release without it"});
        }
        return;
    }
    const Sha256Digest digest = Sha256Of(m.bytes.data(), m.bytes.size());
    if (entry == nullptr) {
        out.push_back({true, m.file,
                       "served but not in the release index: the updater with release keys "
                       "takes it as not fetched (" +
                           WithoutIt(m.kind) + ")",
                       "sign the release again (tallix-publish sign)"});
    } else if (!MatchesIndexedFile(*entry, m.bytes.size(), digest)) {
        out.push_back({true, m.file,
                       std::to_string(m.bytes.size()) + " bytes with SHA-256 " + Short(digest) +
                           "..., the index names " + std::to_string(entry->size) + " bytes with " +
                           Short(entry->digest) + "...: taken as not fetched (" +
                           WithoutIt(m.kind) + ")",
                       "sign the release again after the last change"});
    }
}

}  // namespace

std::vector<NamedPackage> PackagesNamed(const ReleaseManifests& release,
                                        const std::wstring& downloadBase) {
    std::vector<NamedPackage> named;
    for (const ManifestVariant v : {ManifestVariant::kClassic, ManifestVariant::kVersion6}) {
        const LoadedManifest& m = release.Upgrade(v);
        if (!m.present || !m.xml->RootFound())
            continue;
        UpgradeReaderState state;
        state.downloadBase = downloadBase;
        UpdateList items;
        ReadUpgradeManifest(*m.xml->Root(), v, L"", state, items);
        for (const auto& item : items) {
            if (item->downloadUrl.empty())
                continue;
            NamedPackage package{m.file, item->tag, item->downloadUrl,
                                 IndexPathOfUrl(item->downloadUrl)};
            bool known = false;
            for (const NamedPackage& other : named)
                known = known || (!package.path.empty() && other.path == package.path);
            if (!known)
                named.push_back(std::move(package));
        }
    }
    return named;
}

bool ManifestVouched(const LoadedManifest& manifest, const ReleaseIndex& index) {
    const IndexedFile* entry = FindIndexedFile(index.manifests, manifest.file);
    return manifest.present && entry != nullptr &&
           MatchesIndexedFile(*entry, manifest.bytes.size(),
                              Sha256Of(manifest.bytes.data(), manifest.bytes.size()));
}

std::vector<IndexProblem> CompareWithIndex(const ReleaseManifests& release,
                                           const ReleaseIndex& index,
                                           const std::wstring& downloadBase) {
    std::vector<IndexProblem> out;
    CheckManifest(release.settings, index, out);
    for (const ManifestVariant v : {ManifestVariant::kClassic, ManifestVariant::kVersion6}) {
        CheckManifest(release.Upgrade(v), index, out);
        CheckManifest(release.History(v), index, out);
    }
    for (const NamedPackage& p : PackagesNamed(release, downloadBase)) {
        const std::string what =
            "the package of " + Utf16ToUtf8(p.tag) + " (" + Utf16ToUtf8(p.url) + ")";
        if (p.path.empty()) {
            out.push_back({true, p.manifest,
                           what + " has no path the index can name (printable ASCII without "
                                  "blanks): the updater with release keys never downloads it",
                           "give the package such a path"});
        } else if (FindIndexedFile(index.packages, p.path) == nullptr) {
            out.push_back({true, p.manifest,
                           what + " is not in the release index: the updater with release keys "
                                  "refuses it and the item fails",
                           "put the package in the release folder and sign the release again"});
        }
    }
    return out;
}

std::vector<IndexProblem> ComparePackageBytes(
    const ReleaseIndex& index,
    const std::function<std::optional<std::vector<unsigned char>>(const IndexedFile&)>& read) {
    std::vector<IndexProblem> out;
    for (const IndexedFile& entry : index.packages) {
        const auto bytes = read(entry);
        if (!bytes) {
            out.push_back({true, entry.path,
                           "indexed package not found: machines fail to download it",
                           "serve the package that was signed"});
            continue;
        }
        const Sha256Digest digest = Sha256Of(bytes->data(), bytes->size());
        if (!MatchesIndexedFile(entry, bytes->size(), digest)) {
            out.push_back({true, entry.path,
                           std::to_string(bytes->size()) + " bytes with SHA-256 " + Short(digest) +
                               "..., the index names " + std::to_string(entry.size) +
                               " bytes with " + Short(entry.digest) +
                               "...: machines delete it after the download and the item fails",
                           "serve the package that was signed, or sign the release again"});
        }
    }
    return out;
}
