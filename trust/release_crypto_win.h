// The cryptography of the build with release keys, done by the system's CryptoAPI only: SHA-256
// and RSA signatures (PKCS #1 v1.5 over SHA-256) through the RSA and AES provider, which every
// system the updater supports has, from Windows XP SP3 on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>
#include <wincrypt.h>

#include "base/unique_handle_win.h"
#include "trust/release_index.h"

struct CryptProviderTraits {
    using Handle = HCRYPTPROV;
    static Handle Invalid() { return 0; }
    static void Close(Handle h) { CryptReleaseContext(h, 0); }
};

struct CryptKeyTraits {
    using Handle = HCRYPTKEY;
    static Handle Invalid() { return 0; }
    static void Close(Handle h) { CryptDestroyKey(h); }
};

struct CryptHashTraits {
    using Handle = HCRYPTHASH;
    static Handle Invalid() { return 0; }
    static void Close(Handle h) { CryptDestroyHash(h); }
};

// A public key as a DER SubjectPublicKeyInfo.
struct PublicKeyDer {
    const unsigned char* bytes;
    std::size_t size;
};

class SystemCrypto {
  public:
    SystemCrypto();  // a provider for this process's use only, without a key container

    bool Ok() const { return provider_.Valid(); }

    // SHA-256 of bytes; nothing when the provider fails.
    std::optional<Sha256Digest> Sha256(const unsigned char* bytes, std::size_t count) const;

    // SHA-256 of a file of exactly `expectedSize` bytes; nothing when the file cannot be read or
    // has another size (then it is not read at all).
    std::optional<Sha256Digest> Sha256OfFile(const std::wstring& path,
                                             std::uint64_t expectedSize) const;

    // Takes a public key (a DER SubjectPublicKeyInfo). Returns its key id (KeyIdOf), or empty
    // when the system cannot import it. Keys are numbered in the order they were added.
    std::string AddPublicKey(const unsigned char* der, std::size_t size);

    // Whether `signature` (most significant byte first) is a good signature of the bytes by the
    // key numbered `key`.
    bool Verify(std::size_t key, const unsigned char* bytes, std::size_t count,
                const std::vector<std::uint8_t>& signature) const;

  private:
    UniqueHandle<CryptHashTraits> HashOf(const unsigned char* bytes, std::size_t count) const;
    std::optional<Sha256Digest> DigestOf(HCRYPTHASH hash) const;

    UniqueHandle<CryptProviderTraits> provider_;
    std::vector<UniqueHandle<CryptKeyTraits>> keys_;
};
