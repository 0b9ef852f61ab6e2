// What the updater fetches from the manifest host and how it reads the bytes that come back:
// the manifest URLs with their cache-busting number, the choice between the classic and the
// version-6 manifests, and the decoding of a fetched body into UTF-16 text for the XML parser.
//
// Text is UTF-16 on every platform. Where wchar_t is 32 bits wide (Linux) a std::wstring still
// holds one UTF-16 code unit per element (a character outside the BMP is two elements, a
// surrogate pair), so decoding gives the same sequence of units on Windows and elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The most a manifest can be: the fetch reads the body with one call into a buffer of this size,
// and what lies beyond it never reaches the parser.
constexpr std::size_t kManifestReadLimit = 0x100000;

enum class ManifestKind { kSettings, kUpgrade, kHistory };

// The upgrade and history manifests come in two variants; the same choice also picks the element
// vocabulary of the upgrade entries.
enum class ManifestVariant { kClassic, kVersion6 };

// The path of a manifest on the manifest host without its query number, for example
// "/keldra/upgrade6s.xml". The settings manifest has one variant only.
std::wstring ManifestPath(ManifestKind kind, ManifestVariant variant);

// The millisecond tick count read as a signed 32-bit number, as "%d" prints it: negative once the
// machine has run longer than 2^31 ms.
std::int32_t CacheBustingNumber(std::uint32_t tickCount);

// `hostOrigin` (an "http://" origin without trailing slash) followed by the manifest path and
// "?a=" with the cache-busting number of `tickCount`.
std::wstring ManifestUrl(const std::wstring& hostOrigin, ManifestKind kind, ManifestVariant variant,
                         std::uint32_t tickCount);

// The classic variant only when the settings manifest left the version-6 switch clear, the
// installed main program is not of the version-6 line, and keldra.exe exists in the updater's
// directory; the version-6 variant otherwise.
ManifestVariant ChooseManifestVariant(bool version6Switch, bool mainProgramVersion6,
                                      bool mainProgramFileExists);

// Decodes a fetched manifest body of `count` bytes:
// - bytes EF BB BF at the start: the rest is UTF-8;
// - else bytes FF FE at the start (0xFEFF little-endian): the rest is UTF-16LE;
// - else the whole body is UTF-16LE. UTF-8 without the mark is therefore not read as UTF-8.
// The text ends at the first NUL (byte in UTF-8, unit in UTF-16), like a C string, or at the end
// of the body. The fetch pads its copy of the body with zero bytes, so an odd last byte of a
// UTF-16 body is read as one unit with a zero high byte, exactly as the padded buffer reads.
// Ill-formed UTF-8 never fails: each maximal ill-formed subsequence (a bad lead byte, a sequence
// cut short, an overlong form, a surrogate or a value above U+10FFFF) becomes one U+FFFD, as the
// system's UTF-8 conversion without error flags does. UTF-16 units are copied unchecked.
// `bytes` may be null when `count` is 0.
std::wstring DecodeManifestBytes(const unsigned char* bytes, std::size_t count);
std::wstring DecodeManifestBytes(const std::vector<unsigned char>& bytes);

// Which of the three readings above a body gets, by its first bytes.
enum class ManifestEncoding {
    kUtf8Marked,   // EF BB BF
    kUtf16Marked,  // FF FE
    kUtf16,        // no mark: the whole body as UTF-16LE
};
ManifestEncoding ManifestEncodingOf(const unsigned char* bytes, std::size_t count);

// Whether the prolog of a manifest's text (before its first element: white space, a byte-order
// mark, the XML declaration, processing instructions and comments) holds a document type
// declaration ("<!DOCTYPE", in any letter case). Manifests come over plain HTTP, and a DTD could
// expand entities past the size of one read or name a local file or another address: such a
// text is not given to the parser at all.
bool HasDocumentTypeDeclaration(const std::wstring& text);
