// The manifests of one release as the publisher's commands read them: each fetched from the same
// place the updater fetches it from, decoded and parsed the updater's way.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "manifest/manifest_text.h"
#include "tools/publish/manifest_source.h"
#include "tools/publish/xml_view.h"

struct LoadedManifest {
    std::string file;  // host path, "/keldra/upgrade.xml"
    ManifestKind kind = ManifestKind::kUpgrade;
    ManifestVariant variant = ManifestVariant::kClassic;
    bool present = false;
    std::vector<unsigned char> bytes;
    std::unique_ptr<ManifestXml> xml;  // parsed; set when present
};

struct ReleaseManifests {
    LoadedManifest settings;
    LoadedManifest upgrade[2];  // classic, version-6
    LoadedManifest history[2];

    const LoadedManifest& Upgrade(ManifestVariant v) const { return upgrade[Index(v)]; }
    const LoadedManifest& History(ManifestVariant v) const { return history[Index(v)]; }
    static int Index(ManifestVariant v) { return v == ManifestVariant::kClassic ? 0 : 1; }
};

// Reads the five manifests; a missing one is marked absent.
ReleaseManifests LoadRelease(const ManifestSource& source);
