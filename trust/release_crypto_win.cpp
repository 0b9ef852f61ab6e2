#include "trust/release_crypto_win.h"

#include <algorithm>
#include <memory>

namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
constexpr DWORD kFileBlock = 64 * 1024;
constexpr std::size_t kHashChunk = 1u << 30;  // CryptHashData takes a 32-bit count

struct LocalMemoryDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};

bool HashMore(HCRYPTHASH hash, const unsigned char* bytes, std::size_t count) {
    for (std::size_t done = 0; done < count;) {
        const DWORD part = static_cast<DWORD>(std::min(count - done, kHashChunk));
        if (!CryptHashData(hash, bytes + done, part, 0)) {
            return false;
        }
        done += part;
    }
    return true;
}

}  // namespace

SystemCrypto::SystemCrypto() {
    HCRYPTPROV provider = 0;
    if (CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        provider_.Reset(provider);
    }
}

UniqueHandle<CryptHashTraits> SystemCrypto::HashOf(const unsigned char* bytes,
                                                   std::size_t count) const {
    UniqueHandle<CryptHashTraits> hash;
    if (!Ok() || !CryptCreateHash(provider_.Get(), CALG_SHA_256, 0, 0, hash.Put()) ||
        !HashMore(hash.Get(), bytes, count)) {
        return UniqueHandle<CryptHashTraits>();
    }
    return hash;
}

std::optional<Sha256Digest> SystemCrypto::DigestOf(HCRYPTHASH hash) const {
    Sha256Digest digest{};
    DWORD size = static_cast<DWORD>(digest.size());
    if (!CryptGetHashParam(hash, HP_HASHVAL, digest.data(), &size, 0) || size != digest.size()) {
        return std::nullopt;
    }
    return digest;
}

std::optional<Sha256Digest> SystemCrypto::Sha256(const unsigned char* bytes,
                                                 std::size_t count) const {
    const UniqueHandle<CryptHashTraits> hash = HashOf(bytes, count);
    return hash ? DigestOf(hash.Get()) : std::nullopt;
}

std::optional<Sha256Digest> SystemCrypto::Sha256OfFile(const std::wstring& path,
                                                       std::uint64_t expectedSize) const {
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size) ||
        static_cast<std::uint64_t>(size.QuadPart) != expectedSize) {
        return std::nullopt;
    }
    const UniqueHandle<CryptHashTraits> hash = HashOf(nullptr, 0);
    if (!hash) {
        return std::nullopt;
    }
    std::unique_ptr<unsigned char[]> block(new unsigned char[kFileBlock]);
    std::uint64_t total = 0;
    for (DWORD read = 0;; total += read) {
        if (!ReadFile(file.Get(), block.get(), kFileBlock, &read, nullptr)) {
            return std::nullopt;
        }
        if (read == 0) {
            break;
        }
        if (!HashMore(hash.Get(), block.get(), read)) {
            return std::nullopt;
        }
    }
    // A file that changed its length while it was read is not the indexed one.
    return total == expectedSize ? DigestOf(hash.Get()) : std::nullopt;
}

std::string SystemCrypto::AddPublicKey(const unsigned char* der, std::size_t size) {
    CERT_PUBLIC_KEY_INFO* decoded = nullptr;
    DWORD decodedSize = 0;
    if (!Ok() || !CryptDecodeObjectEx(kEncoding, X509_PUBLIC_KEY_INFO, der,
                                      static_cast<DWORD>(size), CRYPT_DECODE_ALLOC_FLAG, nullptr,
                                      &decoded, &decodedSize)) {
        return std::string();
    }
    const std::unique_ptr<CERT_PUBLIC_KEY_INFO, LocalMemoryDeleter> info(decoded);
    UniqueHandle<CryptKeyTraits> key;
    const std::optional<Sha256Digest> digest = Sha256(der, size);
    if (!digest || !CryptImportPublicKeyInfo(provider_.Get(), kEncoding, info.get(), key.Put())) {
        return std::string();
    }
    keys_.push_back(std::move(key));
    return KeyIdOf(*digest);
}

bool SystemCrypto::Verify(std::size_t key, const unsigned char* bytes, std::size_t count,
                          const std::vector<std::uint8_t>& signature) const {
    if (key >= keys_.size() || signature.empty()) {
        return false;
    }
    const UniqueHandle<CryptHashTraits> hash = HashOf(bytes, count);
    // CryptoAPI takes the signature least significant byte first.
    const std::vector<BYTE> reversed(signature.rbegin(), signature.rend());
    return hash &&
           CryptVerifySignatureW(hash.Get(), reversed.data(), static_cast<DWORD>(reversed.size()),
                                 keys_[key].Get(), nullptr, 0) != FALSE;
}
