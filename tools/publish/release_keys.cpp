#include "tools/publish/release_keys.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <unistd.h>

#include <cstdio>

struct ReleaseKey::Key {
    EVP_PKEY* pkey = nullptr;
    ~Key() { EVP_PKEY_free(pkey); }
};

namespace {

struct MdContextDeleter {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, MdContextDeleter>;

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

std::string OpenSslError(const std::string& what) {
    const unsigned long code = ERR_get_error();
    char text[256] = {};
    if (code != 0) {
        ERR_error_string_n(code, text, sizeof text);
    }
    ERR_clear_error();
    return code != 0 ? what + " (" + text + ")" : what;
}

bool IsRsaOfAtLeast(EVP_PKEY* pkey) {
    return EVP_PKEY_base_id(pkey) == EVP_PKEY_RSA && EVP_PKEY_bits(pkey) >= kMinimumKeyBits;
}

// Creates a new file only (never one that exists) with the given permissions.
std::unique_ptr<FILE, FileCloser> CreateNew(const std::string& path, mode_t mode) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
    if (fd < 0) {
        return nullptr;
    }
    FILE* file = fdopen(fd, "w");
    if (file == nullptr) {
        close(fd);
    }
    return std::unique_ptr<FILE, FileCloser>(file);
}

bool Exists(const std::string& path) {
    return access(path.c_str(), F_OK) == 0;
}

}  // namespace

ReleaseKey::ReleaseKey(std::unique_ptr<Key> key) : key_(std::move(key)) {}
ReleaseKey::~ReleaseKey() = default;
ReleaseKey::ReleaseKey(ReleaseKey&& other) noexcept = default;
ReleaseKey& ReleaseKey::operator=(ReleaseKey&& other) noexcept = default;

std::optional<ReleaseKey> ReleaseKey::Generate(int bits, std::string& error) {
    auto key = std::make_unique<Key>();
    key->pkey = EVP_RSA_gen(static_cast<unsigned>(bits));
    if (key->pkey == nullptr) {
        error = OpenSslError("OpenSSL could not make an RSA key");
        return std::nullopt;
    }
    return ReleaseKey(std::move(key));
}

std::optional<ReleaseKey> ReleaseKey::LoadPrivate(const std::string& path, std::string& error) {
    return Load(path, true, error);
}

std::optional<ReleaseKey> ReleaseKey::LoadPublic(const std::string& path, std::string& error) {
    return Load(path, false, error);
}

std::optional<ReleaseKey> ReleaseKey::Load(const std::string& path, bool pair, std::string& error) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
    if (!file) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    auto key = std::make_unique<Key>();
    key->pkey = pair ? PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr)
                     : PEM_read_PUBKEY(file.get(), nullptr, nullptr, nullptr);
    if (key->pkey == nullptr || !IsRsaOfAtLeast(key->pkey)) {
        error = OpenSslError(path + " is not an RSA " + (pair ? "private" : "public") +
                             " key of at least " + std::to_string(kMinimumKeyBits) +
                             " bits in PEM" + (pair ? "" : " (BEGIN PUBLIC KEY)"));
        return std::nullopt;
    }
    return ReleaseKey(std::move(key));
}

bool ReleaseKey::WritePair(const std::string& prefix, std::string& error) const {
    const std::string privatePath = prefix + ".key";
    const std::string publicPath = prefix + ".pub";
    if (Exists(privatePath) || Exists(publicPath)) {
        error = "a key is already there (" + (Exists(privatePath) ? privatePath : publicPath) +
                "): it is not overwritten";
        return false;
    }
    bool written = false;
    {
        auto privateFile = CreateNew(privatePath, 0600);
        auto publicFile = privateFile ? CreateNew(publicPath, 0644) : nullptr;
        written = privateFile && publicFile &&
                  PEM_write_PrivateKey(privateFile.get(), key_->pkey, nullptr, nullptr, 0, nullptr,
                                       nullptr) == 1 &&
                  PEM_write_PUBKEY(publicFile.get(), key_->pkey) == 1;
        written =
            written && std::fflush(privateFile.get()) == 0 && std::fflush(publicFile.get()) == 0;
        if (!written && privateFile) {
            // Half a pair is no pair: what this call created goes again.
            std::remove(privatePath.c_str());
            if (publicFile) {
                std::remove(publicPath.c_str());
            }
        }
    }
    if (!written) {
        error = OpenSslError("cannot write " + privatePath + " and " + publicPath);
    }
    return written;
}

std::string ReleaseKey::Id() const {
    unsigned char* der = nullptr;
    const int size = i2d_PUBKEY(key_->pkey, &der);
    if (size <= 0) {
        return std::string();
    }
    const std::string id = KeyIdOf(Sha256Of(der, static_cast<std::size_t>(size)));
    OPENSSL_free(der);
    return id;
}

std::vector<std::uint8_t> ReleaseKey::Sign(const unsigned char* bytes, std::size_t count) const {
    MdContext context(EVP_MD_CTX_new());
    std::size_t size = 0;
    if (!context ||
        EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key_->pkey) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &size, bytes, count) != 1) {
        ERR_clear_error();
        return {};
    }
    std::vector<std::uint8_t> signature(size);
    if (EVP_DigestSign(context.get(), signature.data(), &size, bytes, count) != 1) {
        ERR_clear_error();
        return {};
    }
    signature.resize(size);
    return signature;
}

bool ReleaseKey::Verify(const unsigned char* bytes, std::size_t count,
                        const std::vector<std::uint8_t>& signature) const {
    MdContext context(EVP_MD_CTX_new());
    const bool good =
        context &&
        EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key_->pkey) == 1 &&
        EVP_DigestVerify(context.get(), signature.data(), signature.size(), bytes, count) == 1;
    ERR_clear_error();
    return good;
}

Sha256Digest Sha256Of(const unsigned char* bytes, std::size_t count) {
    Sha256Digest digest{};
    unsigned int size = 0;
    EVP_Digest(bytes, count, digest.data(), &size, EVP_sha256(), nullptr);
    return digest;
}
