#include "tools/publish/release_manifests.h"

#include "manifest/manifest_node.h"

namespace {

void LoadOne(const ManifestSource& source, ManifestKind kind, ManifestVariant variant,
             LoadedManifest& out) {
    out.kind = kind;
    out.variant = variant;
    std::wstring path = ManifestPath(kind, variant);
    out.file.assign(path.begin(), path.end());  // the paths are ASCII
    const auto bytes = source.Read(out.file);
    out.present = bytes.has_value();
    if (!out.present)
        return;
    out.bytes = *bytes;
    out.xml = std::make_unique<ManifestXml>();
    out.xml->Load(out.bytes,
                  kind == ManifestKind::kSettings ? kSettingsRootName : kUpgradeRootName);
}

}  // namespace

ReleaseManifests LoadRelease(const ManifestSource& source) {
    ReleaseManifests release;
    LoadOne(source, ManifestKind::kSettings, ManifestVariant::kClassic, release.settings);
    for (const ManifestVariant v : {ManifestVariant::kClassic, ManifestVariant::kVersion6}) {
        LoadOne(source, ManifestKind::kUpgrade, v, release.upgrade[ReleaseManifests::Index(v)]);
        LoadOne(source, ManifestKind::kHistory, v, release.history[ReleaseManifests::Index(v)]);
    }
    return release;
}
