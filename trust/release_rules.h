// When the build with release keys accepts a release index, and what it takes from one: the
// threshold of distinct trusted keys, the expiry with its grace, the release number that never
// goes back, and the sizes and digests that fetched files must have. The cryptography is the
// caller's (the system's CryptoAPI in the updater, OpenSSL in the publisher's tool).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "trust/release_index.h"

// An index is still taken this long after its expiry, for a machine whose clock runs ahead.
inline constexpr std::int64_t kExpiryGraceSeconds = 24 * 60 * 60;

// Whether an index that expires at `expires` is refused at `now` (seconds since 1970).
inline bool IndexExpired(std::int64_t expires, std::int64_t now) {
    return now > expires + kExpiryGraceSeconds;
}

// Whether `signature` is a good signature of the body by the trusted key at `keyIndex`;
// `context` is the trust's own.
using IndexSignatureCheck = bool (*)(const void* context, std::size_t keyIndex,
                                     const unsigned char* body, std::size_t size,
                                     const std::vector<std::uint8_t>& signature);

struct IndexTrust {
    std::vector<std::string> keyIds;  // the trusted keys, by KeyIdOf
    unsigned threshold = 1;           // how many of them must have signed
    IndexSignatureCheck check = nullptr;
    const void* context = nullptr;  // handed to `check`
    std::int64_t now = 0;           // seconds since 1970-01-01 00:00 UTC
    std::uint64_t lastRelease = 0;  // the highest release number accepted before
};

// The first failure in the order of the checks, or kAccepted.
enum class IndexVerdict { kAccepted, kMalformed, kBelowThreshold, kExpired, kRolledBack };

// What became of one signature line.
enum class SignatureVerdict : std::uint8_t {
    kGood,        // a trusted key's good signature: it counts
    kUnknownKey,  // a key the build does not trust
    kBad,         // a trusted key, but not its signature of this body
    kRepeated,    // a second signature of a key that has already counted
};

struct IndexAssessment {
    IndexVerdict verdict = IndexVerdict::kMalformed;
    ReleaseIndex index;                        // as read (empty when malformed)
    unsigned goodKeys = 0;                     // distinct trusted keys with a good signature
    std::vector<SignatureVerdict> signatures;  // one for each of index.signatures
    bool expired = false;
    bool rolledBack = false;
};

// Reads and judges an index: well formed, signed by at least `threshold` distinct trusted keys
// (a second signature by one key counts once, a signature by another key not at all), not past
// its expiry plus the grace, and of a release number not below the last one accepted.
IndexAssessment AssessReleaseIndex(const unsigned char* bytes, std::size_t count,
                                   const IndexTrust& trust);

// Whether a fetched file is the one the index names: the same size and digest.
bool MatchesIndexedFile(const IndexedFile& entry, std::uint64_t size, const Sha256Digest& digest);

// The release number as the updater keeps it in the registry ("release", REG_BINARY: 8 bytes,
// least significant first); any other value reads as 0, no release accepted yet.
std::vector<std::uint8_t> EncodeStoredRelease(std::uint64_t release);
std::uint64_t DecodeStoredRelease(const std::vector<std::uint8_t>& bytes);
