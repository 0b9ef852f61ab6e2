#include "trust/release_rules.h"

#include <algorithm>

namespace {

constexpr std::size_t kStoredReleaseBytes = 8;

}  // namespace

IndexAssessment AssessReleaseIndex(const unsigned char* bytes, std::size_t count,
                                   const IndexTrust& trust) {
    IndexAssessment out;
    std::optional<ReleaseIndex> index = ParseReleaseIndex(bytes, count);
    if (!index) {
        return out;
    }
    out.index = std::move(*index);
    const std::vector<IndexSignature>& signatures = out.index.signatures;
    out.signatures =
        std::vector<SignatureVerdict>(signatures.size(), SignatureVerdict::kUnknownKey);
    for (std::size_t i = 0; i < signatures.size(); ++i) {
        const auto key = std::find(trust.keyIds.begin(), trust.keyIds.end(), signatures[i].keyId);
        bool counted = false;
        for (std::size_t earlier = 0; earlier < i; ++earlier) {
            counted = counted || (out.signatures[earlier] == SignatureVerdict::kGood &&
                                  signatures[earlier].keyId == signatures[i].keyId);
        }
        if (key == trust.keyIds.end()) {
            continue;
        }
        if (counted) {
            out.signatures[i] = SignatureVerdict::kRepeated;
        } else if (trust.check != nullptr &&
                   trust.check(trust.context, static_cast<std::size_t>(key - trust.keyIds.begin()),
                               bytes, out.index.signedLength, signatures[i].value)) {
            out.signatures[i] = SignatureVerdict::kGood;
            ++out.goodKeys;
        } else {
            out.signatures[i] = SignatureVerdict::kBad;
        }
    }
    out.expired = IndexExpired(out.index.expires, trust.now);
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
