#include "app/release_check_win.h"

#include <windows.h>

#include "base/registry_win.h"
#include "manifest/installed_products.h"
#include "manifest/manifest_fetch_win.h"

namespace {

const wchar_t kValueRelease[] = L"release";
// FILETIME counts 100 ns from 1601-01-01; the index counts seconds from 1970-01-01.
constexpr std::uint64_t kFileTimeAt1970 = 116444736000000000ull;
constexpr std::uint64_t kFileTimePerSecond = 10000000ull;

// The updater's own key: HKCU "Software\\Orvane\\Tallix".
RegistryKey UpdaterKey() {
    const RegistryLocation where = ProductRegistryKey(ProductKey::kUpdater, RunsUnderWow64());
    return RegistryKey(HKEY_CURRENT_USER, where.path, where.accessModifier);
}

std::int64_t UtcNow() {
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return ticks < kFileTimeAt1970
               ? 0
               : static_cast<std::int64_t>((ticks - kFileTimeAt1970) / kFileTimePerSecond);
}

std::wstring Widen(const char* text) {
    std::wstring wide;
    for (; *text != '\0'; ++text) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    }
    return wide;
}

}  // namespace

SignedReleaseCheck::SignedReleaseCheck(const char* const* keys, std::size_t keyCount,
                                       unsigned threshold)
    : keys_(keys), keyCount_(keyCount), threshold_(threshold) {}

bool SignedReleaseCheck::Open(const std::wstring& manifestHost) {
    IndexTrust trust;
    for (std::size_t i = 0; i < keyCount_; ++i) {
        const std::string id = crypto_.AddPublicKey(keys_[i]);
        if (id.empty()) {
            return false;  // a key the system cannot take: nothing can be trusted
        }
        trust.keyIds.push_back(id);
    }
    trust.threshold = threshold_;
    trust.check = [this](std::size_t key, const unsigned char* body, std::size_t size,
                         const std::vector<std::uint8_t>& signature) {
        return crypto_.Verify(key, body, size, signature);
    };
    trust.now = UtcNow();
    trust.lastRelease = DecodeStoredRelease(UpdaterKey().ReadBinary(kValueRelease));

    // Fetched like a manifest: one GET of the manifest host, numbered against caches.
    const std::wstring url = manifestHost + Widen(kReleaseIndexPath) + L"?a=" +
                             std::to_wstring(CacheBustingNumber(GetTickCount()));
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
    const RegistryKey key = UpdaterKey();
    // The number only ever rises, also when two sessions overlap.
    if (accepted_->release > DecodeStoredRelease(key.ReadBinary(kValueRelease))) {
        key.WriteBinary(kValueRelease, EncodeStoredRelease(accepted_->release));
    }
}

bool SignedReleaseCheck::ManifestMatches(const std::wstring& url, const unsigned char* bytes,
                                         std::size_t count) const {
    const IndexedFile* entry =
        accepted_ ? FindIndexedFile(accepted_->manifests, IndexPathOfUrl(url)) : nullptr;
    const std::optional<Sha256Digest> digest = crypto_.Sha256(bytes, count);
    return entry != nullptr && digest && MatchesIndexedFile(*entry, count, *digest);
}

const IndexedFile* SignedReleaseCheck::Package(const std::wstring& url) const {
    return accepted_ ? FindIndexedFile(accepted_->packages, IndexPathOfUrl(url)) : nullptr;
}

bool SignedReleaseCheck::FileMatches(const std::wstring& path, const IndexedFile& entry) const {
    const std::optional<Sha256Digest> digest = crypto_.Sha256OfFile(path, entry.size);
    return digest && MatchesIndexedFile(entry, entry.size, *digest);
}
