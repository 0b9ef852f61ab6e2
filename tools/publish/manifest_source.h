// Where the publisher's manifests are read from: a folder laid out like the manifest host (the
// manifests below "keldra/", or the "keldra" folder itself), or the manifest host's "http://"
// origin, fetched with plain HTTP/1.0 GETs.
#pragma once

#include <optional>
#include <string>
#include <vector>

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
// when the status is 200.
std::optional<std::vector<unsigned char>> HttpGet(const std::string& url);

// The bytes of a file, or nothing.
std::optional<std::vector<unsigned char>> ReadFileBytes(const std::string& path);
