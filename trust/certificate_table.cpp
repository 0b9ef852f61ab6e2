#include "trust/certificate_table.h"

namespace {

constexpr std::size_t kHeaderOffsetAt = 0x3C;
constexpr std::size_t kFileHeaderBytes = 20;
constexpr std::size_t kSecurityEntry = 4;
constexpr std::uint16_t kPe32 = 0x10B;
constexpr std::uint16_t kPe32Plus = 0x20B;

std::uint32_t Read16(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0] | (at[1] << 8));
}

std::uint32_t Read32(const std::uint8_t* at) {
    return Read16(at) | (Read16(at + 2) << 16);
}

}  // namespace

CertificateTable CertificateTableOf(const std::uint8_t* bytes, std::size_t size,
                                    std::uint64_t fileSize) {
    if (bytes == nullptr || size < kHeaderOffsetAt + 4 || bytes[0] != 'M' || bytes[1] != 'Z') {
        return CertificateTable::kNone;
    }
    // Where the PE header is, and how much of it is needed to reach the magic of the optional
    // header; a header cut off by the end of the file is no image.
    const std::uint64_t header = Read32(bytes + kHeaderOffsetAt);
    const std::uint64_t optional = header + 4 + kFileHeaderBytes;
    const auto within = [&](std::uint64_t end) { return end <= size; };
    const auto beyond = [&](std::uint64_t end) {
        return end <= fileSize ? CertificateTable::kUnknown : CertificateTable::kNone;
    };
    if (!within(optional + 2)) {
        return beyond(optional + 2);
    }
    if (bytes[header] != 'P' || bytes[header + 1] != 'E' || bytes[header + 2] != 0 ||
        bytes[header + 3] != 0) {
        return CertificateTable::kNone;
    }
    const std::uint32_t optionalSize = Read16(bytes + header + 4 + 16);
    const std::uint32_t magic = Read16(bytes + optional);
    if (magic != kPe32 && magic != kPe32Plus) {
        return CertificateTable::kNone;
    }
    const std::uint64_t countAt = optional + (magic == kPe32 ? 92 : 108);
    const std::uint64_t entry = countAt + 4 + 8 * kSecurityEntry;
    if (entry + 8 > optional + optionalSize) {
        return CertificateTable::kNone;  // the optional header ends before the entry
    }
    if (!within(entry + 8)) {
        return beyond(entry + 8);
    }
    if (Read32(bytes + countAt) <= kSecurityEntry) {
        return CertificateTable::kNone;
    }
    const bool named = Read32(bytes + entry) != 0 || Read32(bytes + entry + 4) != 0;
    return named ? CertificateTable::kPresent : CertificateTable::kNone;
}
