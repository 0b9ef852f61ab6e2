#include "trust/certificate_table.h"

#include "trust/pe_fields.h"

CertificateTable CertificateTableOf(const std::uint8_t* bytes, std::size_t size,
                                    std::uint64_t fileSize) {
    if (!StartsAsImage(bytes, size) || size < kPeHeaderOffsetAt + 4) {
        return CertificateTable::kNone;
    }
    // Where the PE header is, and how much of it is needed to reach the magic of the optional
    // header; a header cut off by the end of the file is no image.
    const std::uint64_t header = ReadLe32(bytes + kPeHeaderOffsetAt);
    const std::uint64_t optional = header + kPeFileHeaderBytes;
    const auto within = [&](std::uint64_t end) { return end <= size; };
    const auto beyond = [&](std::uint64_t end) {
        return end <= fileSize ? CertificateTable::kUnknown : CertificateTable::kNone;
    };
    if (!within(optional + 2)) {
        return beyond(optional + 2);
    }
    if (!IsPeSignature(bytes + header)) {
        return CertificateTable::kNone;
    }
    const std::uint64_t optionalSize = ReadCoff(bytes, header).optionalBytes;
    const std::uint64_t countAt = DirectoryCountAt(optional, ReadLe16(bytes + optional));
    if (countAt == 0) {
        return CertificateTable::kNone;
    }
    const std::uint64_t entry = SecurityEntryAt(countAt);
    if (entry + 8 > optional + optionalSize) {
        return CertificateTable::kNone;  // the optional header ends before the entry
    }
    if (!within(entry + 8)) {
        return beyond(entry + 8);
    }
    if (ReadLe32(bytes + countAt) <= kSecurityDirectory) {
        return CertificateTable::kNone;
    }
    const bool named = ReadLe32(bytes + entry) != 0 || ReadLe32(bytes + entry + 4) != 0;
    return named ? CertificateTable::kPresent : CertificateTable::kNone;
}
