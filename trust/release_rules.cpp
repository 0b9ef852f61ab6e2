#include "trust/release_rules.h"

#include <algorithm>

namespace {

constexpr std::size_t kStoredReleaseBytes = 8;

bool Holds(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

IndexAssessment AssessReleaseIndex(const unsigned char* bytes, std::size_t count,
                                   const IndexTrust& trust) {
    IndexAssessment out;
    std::optional<ReleaseIndex> index = ParseReleaseIndex(bytes, count);
    if (!index) {
        return out;
    }
    out.index = std::move(*index);
    std::vector<std::string> signedBy;
    for (const IndexSignature& signature : out.index.signatures) {
        const auto key = std::find(trust.keyIds.begin(), trust.keyIds.end(), signature.keyId);
        if (key == trust.keyIds.end()) {
            out.unknownKeys.push_back(signature.keyId);
            continue;
        }
        if (Holds(signedBy, signature.keyId)) {
            continue;
        }
        const std::size_t keyIndex = static_cast<std::size_t>(key - trust.keyIds.begin());
        if (trust.check && trust.check(keyIndex, bytes, out.index.signedLength, signature.value)) {
            signedBy.push_back(signature.keyId);
        } else if (!Holds(out.failedKeys, signature.keyId)) {
            out.failedKeys.push_back(signature.keyId);
        }
    }
    out.goodKeys = static_cast<unsigned>(signedBy.size());
    out.expired = trust.now > out.index.expires + kExpiryGraceSeconds;
    out.rolledBack = out.index.release < trust.lastRelease;
    if (trust.threshold == 0 || out.goodKeys < trust.threshold) {
        out.verdict = IndexVerdict::kBelowThreshold;
    } else if (out.expired) {
        out.verdict = IndexVerdict::kExpired;
    } else if (out.rolledBack) {
        out.verdict = IndexVerdict::kRolledBack;
    } else {
        out.verdict = IndexVerdict::kAccepted;
    }
    return out;
}

bool MatchesIndexedFile(const IndexedFile& entry, std::uint64_t size, const Sha256Digest& digest) {
    return entry.size == size && entry.digest == digest;
}

std::vector<std::uint8_t> EncodeStoredRelease(std::uint64_t release) {
    std::vector<std::uint8_t> bytes(kStoredReleaseBytes);
    for (std::size_t i = 0; i < kStoredReleaseBytes; ++i) {
        bytes[i] = static_cast<std::uint8_t>(release >> (8 * i));
    }
    return bytes;
}

std::uint64_t DecodeStoredRelease(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != kStoredReleaseBytes) {
        return 0;
    }
    std::uint64_t release = 0;
    for (std::size_t i = 0; i < kStoredReleaseBytes; ++i) {
        release |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    }
    return release;
}
