// The signed release index of the build with release keys: one small text file served beside the
// manifests that binds one release together. It names the release's number, when it expires, the
// size and SHA-256 of each manifest and of each package the upgrade manifests name, and carries
// the publisher's signatures over everything above them. Shared by the updater, which reads it,
// and the publisher's tool, which writes it.
//
//   tallix-release-index 1
//   release 12
//   expires 2025-07-01T00:00:00Z
//   manifest /keldra/tallix.xml 212 <64 hexadecimal digits>
//   manifest /keldra/upgrade.xml 1523 <64 hexadecimal digits>
//   package /keldra/pinnace.exe 184320 <64 hexadecimal digits>
//   signature <16 hexadecimal digits: the key> <the RSA signature in hexadecimal>
//
// Printable ASCII, one item a line, each line ended by a line feed; single spaces; numbers in
// decimal without leading zeros; hexadecimal in lower case; the lines in the order above
// (manifests, then packages, then signatures). The signatures cover the bytes before the first
// signature line. Exactly one way to write each index: what the reader takes, the writer gives back
// byte for byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The index's path on the manifest host, beside the manifests.
inline constexpr char kReleaseIndexPath[] = "/keldra/release.txt";
inline constexpr char kReleaseIndexFirstLine[] = "tallix-release-index 1";

using Sha256Digest = std::array<std::uint8_t, 32>;

// A manifest or a package of the release, by its path on the host.
struct IndexedFile {
    std::string path;  // begins with "/", printable ASCII without blanks
    std::uint64_t size = 0;
    Sha256Digest digest{};
};

struct IndexSignature {
    std::string keyId;                // 16 lower-case hexadecimal digits (KeyIdOf)
    std::vector<std::uint8_t> value;  // the RSA signature, most significant byte first
};

struct ReleaseIndex {
    std::uint64_t release = 0;
    std::int64_t expires = 0;  // seconds since 1970-01-01 00:00 UTC
    std::vector<IndexedFile> manifests;
    std::vector<IndexedFile> packages;
    std::vector<IndexSignature> signatures;
    std::size_t signedLength = 0;  // the bytes that the signatures cover, from the start
};

// Reads an index; nothing when any byte or line is not as above, or when a path is named twice
// among the manifests or among the packages. `bytes` may be null when `count` is 0.
std::optional<ReleaseIndex> ParseReleaseIndex(const unsigned char* bytes, std::size_t count);

// The signed part (every line before the signatures) and one signature line.
std::string FormatReleaseIndexBody(const ReleaseIndex& index);
std::string FormatSignatureLine(const IndexSignature& signature);

// The entry of `path`, or null.
const IndexedFile* FindIndexedFile(const std::vector<IndexedFile>& files, std::string_view path);
// The entry of what a URL fetches (its IndexPathOfUrl), or null.
const IndexedFile* FindIndexedUrl(const std::vector<IndexedFile>& files, const std::wstring& url);

// The path of a URL without query or fragment ("http://host/a/b.exe?x" gives "/a/b.exe"); a text
// without a scheme is a path already. Empty when a URL has no path.
std::wstring UrlPath(const std::wstring& url);

// The index's name for what a URL fetches: its path without query or fragment, for an
// "http(s)://host/..." URL or a path that begins with "/". Empty when there is none or when it
// holds a character the index cannot (anything but printable ASCII without blanks).
std::string IndexPathOfUrl(const std::wstring& url);

// A key's name in signature lines: the first 8 bytes of the SHA-256 of its public key (the DER
// SubjectPublicKeyInfo) in lower-case hexadecimal.
std::string KeyIdOf(const Sha256Digest& publicKeyDigest);

// Lower-case hexadecimal, and its reading (lower case only, an even count of digits).
std::string LowerHex(const std::uint8_t* bytes, std::size_t count);
bool ReadLowerHex(std::string_view text, std::vector<std::uint8_t>& bytes);

// "YYYY-MM-DDTHH:MM:SSZ" (UTC, years 1970 to 9999) and seconds since 1970-01-01 00:00 UTC.
std::optional<std::int64_t> ParseIndexTime(std::string_view text);
std::string FormatIndexTime(std::int64_t seconds);
// Seconds since 1970-01-01 00:00 UTC of a valid date and time of the calendar from 1970 on.
std::int64_t UtcSeconds(int year, int month, int day, int hour, int minute, int second);
