// Where the publisher's manifests are read from, and the manifests of one release as the
// publisher's commands read them (each fetched from the same place the updater fetches it from,
// decoded and parsed the updater's way). The manifests come from a folder laid out like the
// manifest host (the manifests below "keldra/", or the "keldra" folder itself), or the manifest
// host's "http://" origin, fetched with plain HTTP/1.0 GETs.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "manifest/manifest_text.h"
#include "tools/publish/xml_view.h"

class ManifestSource {
  public:
    explicit ManifestSource(std::string location);

    // The body at a host path such as "/keldra/upgrade.xml"; nothing when it is missing or the
    // host does not answer 200.
    std::optional<std::vector<unsigned char>> Read(const std::string& hostPath) const;

    const std::string& Location() const { return location_; }
    bool IsUrl() const { return isUrl_; }

  private:
    std::string location_;
    bool isUrl_ = false;
};

// A plain HTTP GET of an "http://host[:port]/path" URL (no TLS, no redirects followed). The body
// when the status is 200. Reading stops soon after `limit` bytes (an endless answer then gives a
// body longer than the limit).
std::optional<std::vector<unsigned char>> HttpGet(const std::string& url,
                                                  std::size_t limit = SIZE_MAX);

// The bytes of a file, or nothing.
std::optional<std::vector<unsigned char>> ReadFileBytes(const std::string& path);

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
    // The signed release index beside the manifests (trust/release_index.h), when served.
    std::optional<std::vector<unsigned char>> index;

    const LoadedManifest& Upgrade(ManifestVariant v) const { return upgrade[Index(v)]; }
    const LoadedManifest& History(ManifestVariant v) const { return history[Index(v)]; }
    static int Index(ManifestVariant v) { return v == ManifestVariant::kClassic ? 0 : 1; }
};

// Reads the five manifests; a missing one is marked absent.
ReleaseManifests LoadRelease(const ManifestSource& source);
