// Fetching a manifest from the manifest host: one HTTP GET, one read of at most 1 MiB.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "manifest/manifest_text.h"

// A fetched body. `bytes` holds the `count` bytes received followed by zero bytes, so that the
// buffer ends in a NUL both when it is read as 8-bit and as 16-bit text.
struct FetchedManifest {
    std::vector<unsigned char> bytes;
    std::size_t count = 0;
};

// GETs `url` directly (no proxy) without using cached copies and returns what the one read gave.
// Nothing when the session, the request or the read fails, or when the body is empty. Any HTTP
// answer with a body counts as fetched, an error page too: it then fails to parse as a manifest.
std::optional<FetchedManifest> FetchManifest(const std::wstring& url);

// The URL of a manifest on `hostOrigin`, numbered with the current tick count so that no cache
// between here and the host answers for it.
std::wstring BuildManifestUrl(const std::wstring& hostOrigin, ManifestKind kind,
                              ManifestVariant variant);
