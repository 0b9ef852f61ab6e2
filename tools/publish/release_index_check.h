// A release's manifests and packages held against its release index, the way the updater with
// release keys holds them: a manifest the index does not vouch for counts as not fetched, and a
// package it does not name is not downloaded.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tools/publish/manifest_source.h"
#include "trust/release_index.h"

// A package that an upgrade manifest names.
struct NamedPackage {
    std::string manifest;  // host path of the upgrade manifest
    std::wstring tag;
    std::wstring url;  // the download URL as the updater builds it
    std::string path;  // its name in the index; empty when it cannot have one
};

// The packages of the present upgrade manifests (entries with a download URL), each index path
// once, in manifest order. Relative install files are read below `downloadBase`.
std::vector<NamedPackage> PackagesNamed(const ReleaseManifests& release,
                                        const std::wstring& downloadBase);

// Whether the updater takes this served manifest: the index names its path, size and digest.
bool ManifestVouched(const LoadedManifest& manifest, const ReleaseIndex& index);

struct IndexProblem {
    bool error = true;    // false: worth a look, but machines are not affected
    std::string file;     // host path
    std::string message;  // what the updater with release keys does
    std::string fix;
};

// Served manifests that the index does not vouch for, indexed manifests that are not served, and
// named packages that the index does not name.
std::vector<IndexProblem> CompareWithIndex(const ReleaseManifests& release,
                                           const ReleaseIndex& index,
                                           const std::wstring& downloadBase);

// The bytes of each indexed package, read by `read` (given the path and the indexed size, it
// returns the bytes or nothing when there are none), held against the index.
std::vector<IndexProblem> ComparePackageBytes(
    const ReleaseIndex& index,
    const std::function<std::optional<std::vector<unsigned char>>(const IndexedFile&)>& read);
