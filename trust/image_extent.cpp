#include "trust/image_extent.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::uint64_t kDamaged = std::numeric_limits<std::uint64_t>::max();
constexpr std::size_t kDosHeaderBytes = 0x40;
constexpr std::size_t kNewHeaderAt = 0x3C;
constexpr std::size_t kFileHeaderBytes = 24;  // "PE\0\0" and the COFF file header
constexpr std::size_t kSectionBytes = 40;
constexpr std::size_t kSymbolBytes = 18;
constexpr std::uint16_t kMagic32 = 0x10B;
constexpr std::uint16_t kMagic64 = 0x20B;
constexpr std::size_t kSecurityDirectory = 4;

std::uint16_t Read16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Read32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

std::uint64_t ImageExtent(const std::uint8_t* prefix, std::size_t prefixSize) {
    if (prefix == nullptr || prefixSize < 2 || prefix[0] != 'M' || prefix[1] != 'Z') {
        return 0;
    }
    const std::size_t size = std::min(prefixSize, kImageHeaderBytes);
    if (size < kDosHeaderBytes) {
        return kDamaged;
    }
    // Offsets are 32-bit values of the file: summed in 64 bits, none of them can wrap.
    const std::uint64_t fileHeader = Read32(prefix + kNewHeaderAt);
    if (fileHeader + kFileHeaderBytes > size || Read32(prefix + fileHeader) != 0x00004550) {
        return kDamaged;
    }
    const std::uint8_t* coff = prefix + fileHeader + 4;
    const std::uint64_t sections = Read16(coff + 2);
    const std::uint64_t symbolTable = Read32(coff + 8);
    const std::uint64_t symbols = Read32(coff + 12);
    const std::uint64_t optionalBytes = Read16(coff + 16);
    const std::uint64_t optional = fileHeader + kFileHeaderBytes;
    const std::uint64_t sectionTable = optional + optionalBytes;
    const std::uint64_t headersEnd = sectionTable + sections * kSectionBytes;
    if (optionalBytes < 64 || headersEnd > size) {
        return kDamaged;
    }
    const std::uint16_t magic = Read16(prefix + optional);
    if (magic != kMagic32 && magic != kMagic64) {
        return kDamaged;
    }
    std::uint64_t extent = std::max<std::uint64_t>(headersEnd, Read32(prefix + optional + 60));

    // The certificate table: the one directory entry that holds a file offset, not an address.
    const std::uint64_t countAt = optional + (magic == kMagic32 ? 92 : 108);
    const std::uint64_t directories = countAt + 4;
    const std::uint64_t securityAt = directories + kSecurityDirectory * 8;
    if (countAt + 4 <= sectionTable && securityAt + 8 <= sectionTable &&
        Read32(prefix + countAt) > kSecurityDirectory) {
        const std::uint64_t offset = Read32(prefix + securityAt);
        const std::uint64_t length = Read32(prefix + securityAt + 4);
        if (length > 0) {
            extent = std::max(extent, offset + length);
        }
    }
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint8_t* section = prefix + sectionTable + i * kSectionBytes;
        const std::uint64_t rawSize = Read32(section + 16);
        if (rawSize > 0) {
            extent = std::max(extent, Read32(section + 20) + rawSize);
        }
    }
    if (symbolTable != 0) {
        extent = std::max(extent, symbolTable + symbols * kSymbolBytes);
    }
    return extent;
}

ImageWholeness JudgeImage(const std::uint8_t* prefix, std::size_t prefixSize,
                          std::uint64_t fileSize) {
    const std::uint64_t extent = ImageExtent(prefix, std::min<std::uint64_t>(prefixSize, fileSize));
    if (extent == 0) {
        return ImageWholeness::kNotAnImage;
    }
    return extent <= fileSize ? ImageWholeness::kWhole : ImageWholeness::kCut;
}
