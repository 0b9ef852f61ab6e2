// The release check of a build with release keys: the signed index fetched from the manifest
// host, judged against the keys built in, the system's clock and the release number kept under
// the updater's own registry key; once accepted, the gate that manifests and packages must pass.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "app/release_check.h"
#include "trust/release_crypto_win.h"
#include "trust/release_gate.h"
#include "trust/release_rules.h"

class SignedReleaseCheck : public ReleaseCheck, public ReleaseGate {
  public:
    // `keys` are the trusted public keys; `threshold` of them must have signed.
    SignedReleaseCheck(const PublicKeyDer* keys, std::size_t keyCount, unsigned threshold);

    bool Open(const std::wstring& manifestHost) override;
    void Keep() override;

    bool ManifestMatches(const std::wstring& url, const unsigned char* bytes,
                         std::size_t count) const override;
    const IndexedFile* Package(const std::wstring& url) const override;
    bool FileMatches(const std::wstring& path, const IndexedFile& entry) const override;

  private:
    const PublicKeyDer* keys_;
    std::size_t keyCount_;
    unsigned threshold_;
    SystemCrypto crypto_;
    std::optional<ReleaseIndex> accepted_;
};
