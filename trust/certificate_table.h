// Whether a program carries an embedded signature at all, told from its headers alone: the
// certificate table (the security entry of a PE image's data directories). The signer check
// accepts a file without any signature, so it must not take a signature that fails to parse for
// one that is not there.
#pragma once

#include <cstddef>
#include <cstdint>

// How many bytes of a file's start the question is asked of.
constexpr std::size_t kCertificateHeaderBytes = 4096;

enum class CertificateTable {
    kNone,     // not a PE image, or one whose certificate table is empty
    kPresent,  // the image names a certificate table
    kUnknown,  // the image's headers lie beyond the bytes read: taken as present
};

// Reads the DOS header ("MZ", the offset of the PE header at 0x3C), the "PE\0\0" signature, the
// file header's optional-header size and the optional header (PE32 or PE32+), whose fifth data
// directory entry is the certificate table; an image whose directory has fewer than five
// entries has none. `bytes` are the first `size` bytes of a file of `fileSize` bytes.
CertificateTable CertificateTableOf(const std::uint8_t* bytes, std::size_t size,
                                    std::uint64_t fileSize);
