// What the manifest readers and the download jobs ask of an accepted release index. In the
// build without release keys no gate is ever set, and everything goes as the manifests say.
#pragma once

#include <cstddef>
#include <string>

#include "trust/release_index.h"

// Never destroyed through this interface: the gate outlives every manifest and download.
class ReleaseGate {
  public:
    // Whether a fetched manifest is the one the index names for the URL's path.
    virtual bool ManifestMatches(const std::wstring& url, const unsigned char* bytes,
                                 std::size_t count) const = 0;
    // The index's entry for the package a URL fetches, or null.
    virtual const IndexedFile* Package(const std::wstring& url) const = 0;
    // Whether the file at `path` has the entry's size and digest.
    virtual bool FileMatches(const std::wstring& path, const IndexedFile& entry) const = 0;

  protected:
    ~ReleaseGate() = default;
};

// The gate of this process: null until an index is accepted, and always in the build without
// release keys. Set once on the window's thread, before any download job starts.
const ReleaseGate* ActiveReleaseGate();
void SetActiveReleaseGate(const ReleaseGate* gate);

// The download jobs' questions. Whether the package at `url` may be downloaded: always without a
// gate (`entry` is then null), otherwise only when the index names it (`entry` is its entry).
bool IndexedPackage(const std::wstring& url, const IndexedFile*& entry);
// Whether a downloaded (or already present) package may be used: always without an entry,
// otherwise only when the file has the entry's size and digest.
bool PackageFileFits(const std::wstring& path, const IndexedFile* entry);
