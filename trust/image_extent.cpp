#include "trust/image_extent.h"

#include <algorithm>
#include <limits>

#include "trust/pe_fields.h"

namespace {

constexpr std::uint64_t kDamaged = std::numeric_limits<std::uint64_t>::max();
constexpr std::size_t kDosHeaderBytes = 0x40;
constexpr std::size_t kSectionBytes = 40;
constexpr std::size_t kSymbolBytes = 18;

}  // namespace

std::uint64_t ImageExtent(const std::uint8_t* prefix, std::size_t prefixSize) {
    if (!StartsAsImage(prefix, prefixSize)) {
        return 0;
    }
    const std::size_t size = std::min(prefixSize, kImageHeaderBytes);
    if (size < kDosHeaderBytes) {
        return kDamaged;
    }
    const std::uint64_t fileHeader = ReadLe32(prefix + kPeHeaderOffsetAt);
    if (fileHeader + kPeFileHeaderBytes > size || !IsPeSignature(prefix + fileHeader)) {
        return kDamaged;
    }
    const CoffFields coff = ReadCoff(prefix, fileHeader);
    const std::uint64_t optional = fileHeader + kPeFileHeaderBytes;
    const std::uint64_t sectionTable = optional + coff.optionalBytes;
    const std::uint64_t headersEnd = sectionTable + coff.sections * kSectionBytes;
    if (coff.optionalBytes < 64 || headersEnd > size) {
        return kDamaged;
    }
    const std::uint64_t countAt = DirectoryCountAt(optional, ReadLe16(prefix + optional));
    if (countAt == 0) {
        return kDamaged;
    }
    std::uint64_t extent = std::max<std::uint64_t>(headersEnd, ReadLe32(prefix + optional + 60));

    // The certificate table: the one directory entry that holds a file offset, not an address.
    const std::uint64_t securityAt = SecurityEntryAt(countAt);
    if (countAt + 4 <= sectionTable && securityAt + 8 <= sectionTable &&
        ReadLe32(prefix + countAt) > kSecurityDirectory) {
        const std::uint64_t offset = ReadLe32(prefix + securityAt);
        const std::uint64_t length = ReadLe32(prefix + securityAt + 4);
        if (length > 0) {
            extent = std::max(extent, offset + length);
        }
    }
    for (std::uint64_t i = 0; i < coff.sections; ++i) {
        const std::uint8_t* section = prefix + sectionTable + i * kSectionBytes;
        const std::uint64_t rawSize = ReadLe32(section + 16);
        if (rawSize > 0) {
            extent = std::max(extent, ReadLe32(section + 20) + rawSize);
        }
    }
    if (coff.symbolTable != 0) {
        extent = std::max(extent, coff.symbolTable + coff.symbols * kSymbolBytes);
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
