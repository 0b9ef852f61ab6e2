// Where the publisher's manifests are read from, and the manifests of one release as the
// publisher's commands read them (each fetched from the same place the updater fetches it from,
// decoded and parsed the updater's way). The manifests come from a folder laid out like the
// manifest host (the manifests below "keldra/", or the "keldra" folder itself), or the manifest
// host's "http://" origin, fetched with plain HTTP/1.0 GETs that follow redirects as the
// updater's do. What is beyond the updater's one read of 1 MiB is counted but never parsed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "manifest/manifest_text.h"
#include "tools/publish/http_get.h"
#include "tools/publish/xml_view.h"

// How long the reading of one manifest from a host may take, unless the command says otherwise.
constexpr int kDefaultTimeoutSeconds = 10;

class ManifestSource {
  public:
    explicit ManifestSource(std::string location, int timeoutSeconds = kDefaultTimeoutSeconds);

    // What a machine gets at a host path such as "/keldra/upgrade.xml": the first
    // kManifestReadLimit bytes of the body (and its whole size), a missing file or an HTTP status
    // other than 200, or nothing readable at all.
    FetchResult Read(const std::string& hostPath) const;

    // Why the location itself cannot be read (no such folder); empty when it can be.
    std::string Problem() const;

    const std::string& Location() const { return location_; }
    bool IsUrl() const { return isUrl_; }

  private:
    std::string location_;
    bool isUrl_ = false;
    int timeoutSeconds_;
};

// The bytes of a file, or nothing (a folder, a missing or unreadable file).
std::optional<std::vector<unsigned char>> ReadFileBytes(const std::string& path);

// The bytes of a file below the release folder `dir`, at `path` ("/keldra/pinnace.exe") as a
// manifest or an index names it. Manifests come from anyone who answers for their host: a path
// with a ".." step (out of the folder) or one that names anything but a plain file (a device
// that never ends, a pipe) reads as missing.
std::optional<std::vector<unsigned char>> ReadReleaseFile(const std::string& dir,
                                                          const std::string& path);

struct LoadedManifest {
    std::string file;  // host path, "/keldra/upgrade.xml"
    ManifestKind kind = ManifestKind::kUpgrade;
    ManifestVariant variant = ManifestVariant::kClassic;
    bool present = false;
    std::vector<unsigned char>
        bytes;               // what the updater's one read gets: kManifestReadLimit at most
    std::uint64_t size = 0;  // the whole body's size
    std::string absence;     // why it is not present ("HTTP 404 Not Found")
    std::vector<std::string> redirects;  // the redirects the fetch followed
    std::unique_ptr<ManifestXml> xml;    // parsed; set when present
};

// Decodes and parses the bytes a machine got for a manifest, as the updater does.
void LoadManifestBytes(ManifestKind kind, ManifestVariant variant,
                       const std::vector<unsigned char>& bytes, LoadedManifest& out);

struct ReleaseManifests {
    LoadedManifest settings;
    LoadedManifest upgrade[2];  // classic, version-6
    LoadedManifest history[2];
    // Why the manifests could not be read (the folder does not exist, a manifest is a folder or
    // cannot be opened, the host does not answer); empty when each one was read or is missing.
    std::string unreadable;
    // The signed release index beside the manifests (trust/release_index.h), when served.
    std::optional<std::vector<unsigned char>> index;

    const LoadedManifest& Upgrade(ManifestVariant v) const { return upgrade[Index(v)]; }
    const LoadedManifest& History(ManifestVariant v) const { return history[Index(v)]; }
    static int Index(ManifestVariant v) { return v == ManifestVariant::kClassic ? 0 : 1; }
};

// Reads the five manifests; a missing one is marked absent.
ReleaseManifests LoadRelease(const ManifestSource& source);
