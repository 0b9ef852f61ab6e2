// The publisher's release keys, with OpenSSL: RSA key pairs in PEM files (the private key as
// unencrypted PKCS #8, the public key as a SubjectPublicKeyInfo, the form the updater's build
// takes), signatures of release indexes (PKCS #1 v1.5 over SHA-256) and their check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trust/release_index.h"

// An RSA key of at least this many bits; new keys have kNewKeyBits.
inline constexpr int kMinimumKeyBits = 2048;
inline constexpr int kNewKeyBits = 3072;

class ReleaseKey {
  public:
    ~ReleaseKey();
    ReleaseKey(ReleaseKey&& other) noexcept;
    ReleaseKey& operator=(ReleaseKey&& other) noexcept;
    ReleaseKey(const ReleaseKey&) = delete;
    ReleaseKey& operator=(const ReleaseKey&) = delete;

    // A new key pair of `bits` bits.
    static std::optional<ReleaseKey> Generate(int bits, std::string& error);
    // A key pair from a private key file, or a public key from a public key file.
    static std::optional<ReleaseKey> LoadPrivate(const std::string& path, std::string& error);
    static std::optional<ReleaseKey> LoadPublic(const std::string& path, std::string& error);

    // Writes PREFIX.key (readable by its owner only) and PREFIX.pub; refuses, writing nothing,
    // when either exists.
    bool WritePair(const std::string& prefix, std::string& error) const;

    // The key's name in signature lines (KeyIdOf its public key).
    std::string Id() const;
    // The signature of the bytes (a key pair only); empty when OpenSSL fails.
    std::vector<std::uint8_t> Sign(const unsigned char* bytes, std::size_t count) const;
    bool Verify(const unsigned char* bytes, std::size_t count,
                const std::vector<std::uint8_t>& signature) const;

  private:
    struct Key;
    explicit ReleaseKey(std::unique_ptr<Key> key);
    static std::optional<ReleaseKey> Load(const std::string& path, bool pair, std::string& error);
    std::unique_ptr<Key> key_;
};

Sha256Digest Sha256Of(const unsigned char* bytes, std::size_t count);
