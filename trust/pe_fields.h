// Where the fields of a Windows program image's headers lie, for the checks that read them from
// a file's first bytes: whether the image names a certificate table, and how far its sections
// and its signature reach. Offsets are counted from the start of the file in 64 bits, so sums of
// the file's own 32-bit values never wrap.
#pragma once

#include <cstddef>
#include <cstdint>

// The DOS header's field that holds the offset of the PE header.
constexpr std::size_t kPeHeaderOffsetAt = 0x3C;
// "PE\0\0" and the COFF file header that follows it; the optional header comes next.
constexpr std::size_t kPeFileHeaderBytes = 24;
// The certificate table is the fifth data directory (index 4).
constexpr std::uint32_t kSecurityDirectory = 4;

std::uint16_t ReadLe16(const std::uint8_t* at);
std::uint32_t ReadLe32(const std::uint8_t* at);

// Whether `bytes` start with the "MZ" of a program image.
bool StartsAsImage(const std::uint8_t* bytes, std::size_t size);

// Whether "PE\0\0" stands at `at`, which lies within the bytes.
bool IsPeSignature(const std::uint8_t* at);

// The fields of the COFF file header, read from the PE header at `peHeader`.
struct CoffFields {
    std::uint64_t sections;       // NumberOfSections
    std::uint64_t symbolTable;    // PointerToSymbolTable
    std::uint64_t symbols;        // NumberOfSymbols
    std::uint64_t optionalBytes;  // SizeOfOptionalHeader
};
CoffFields ReadCoff(const std::uint8_t* bytes, std::uint64_t peHeader);

// The offset of the optional header's data-directory count, for an optional header at
// `optional` with `magic` (PE32 or PE32+); 0 when the magic is neither.
std::uint64_t DirectoryCountAt(std::uint64_t optional, std::uint16_t magic);

// The offset of the certificate table's entry (its file offset and size, 8 bytes) among the
// data directories whose count stands at `countAt`.
constexpr std::uint64_t SecurityEntryAt(std::uint64_t countAt) {
    return countAt + 4 + 8 * kSecurityDirectory;
}
