#include "app/release_check_win.h"

#include <windows.h>

#include "manifest/machine_win.h"
#include "manifest/manifest_fetch_win.h"

namespace {

const wchar_t kValueRelease[] = L"release";

std::int64_t UtcNow() {
    SYSTEMTIME now = {};
    GetSystemTime(&now);
    return UtcSeconds(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

}  // namespace

SignedReleaseCheck::SignedReleaseCheck(const PublicKeyDer* keys, std::size_t keyCount,
                                       unsigned threshold)
    : keys_(keys), keyCount_(keyCount), threshold_(threshold) {}

bool SignedReleaseCheck::Open(const std::wstring& manifestHost) {
    IndexTrust trust;
    for (std::size_t i = 0; i < keyCount_; ++i) {
        std::string id = crypto_.AddPublicKey(keys_[i].bytes, keys_[i].size);
        if (id.empty()) {
            return false;  // a key the system cannot take: nothing can be trusted
        }
        trust.keyIds.push_back(std::move(id));
    }
    trust.threshold = threshold_;
    trust.check = [](const void* crypto, std::size_t key, const unsigned char* body,
                     std::size_t size, const std::vector<std::uint8_t>& signature) {
        return static_cast<const SystemCrypto*>(crypto)->Verify(key, body, size, signature);
    };
    trust.context = &crypto_;
    trust.now = UtcNow();
    trust.lastRelease = DecodeStoredRelease(UpdaterRegistryKey().ReadBinary(kValueRelease));

    // Fetched like a manifest: one GET of the manifest host, numbered against caches.
    std::wstring url = manifestHost;
    for (const char* c = kReleaseIndexPath; *c != '\0'; ++c) {
        url += static_cast<wchar_t>(*c);
    }
    url += L"?a=" + std::to_wstring(CacheBustingNumber(GetTickCount()));
    const std::optional<FetchedManifest> body = FetchManifest(url);
    if (!body) {
        return false;
    }
    IndexAssessment assessment = AssessReleaseIndex(body->bytes.data(), body->count, trust);
    if (assessment.verdict != IndexVerdict::kAccepted) {
        return false;
    }
    accepted_ = std::move(assessment.index);
    SetActiveReleaseGate(this);
    return true;
}

void SignedReleaseCheck::Keep() {
    if (!accepted_) {
        return;
    }
    const RegistryKey key = UpdaterRegistryKey();
    // The number only ever rises, also when two sessions overlap.
    if (accepted_->release > DecodeStoredRelease(key.ReadBinary(kValueRelease))) {
        key.WriteBinary(kValueRelease, EncodeStoredRelease(accepted_->release));
    }
}

bool SignedReleaseCheck::ManifestMatches(const std::wstring& url, const unsigned char* bytes,
                                         std::size_t count) const {
    const IndexedFile* entry = accepted_ ? FindIndexedUrl(accepted_->manifests, url) : nullptr;
    const std::optional<Sha256Digest> digest = crypto_.Sha256(bytes, count);
    return entry != nullptr && digest && MatchesIndexedFile(*entry, count, *digest);
}

const IndexedFile* SignedReleaseCheck::Package(const std::wstring& url) const {
    return accepted_ ? FindIndexedUrl(accepted_->packages, url) : nullptr;
}

bool SignedReleaseCheck::FileMatches(const std::wstring& path, const IndexedFile& entry) const {
    const std::optional<Sha256Digest> digest = crypto_.Sha256OfFile(path, entry.size);
    return digest && MatchesIndexedFile(entry, entry.size, *digest);
}
