#include "trust/pe_fields.h"

namespace {

constexpr std::uint16_t kPe32 = 0x10B;
constexpr std::uint16_t kPe32Plus = 0x20B;
// Where the data-directory count stands in each kind of optional header.
constexpr std::uint64_t kPe32CountAt = 92;
constexpr std::uint64_t kPe32PlusCountAt = 108;

}  // namespace

std::uint16_t ReadLe16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t ReadLe32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

bool StartsAsImage(const std::uint8_t* bytes, std::size_t size) {
    return bytes != nullptr && size >= 2 && bytes[0] == 'M' && bytes[1] == 'Z';
}

bool IsPeSignature(const std::uint8_t* at) {
    return at[0] == 'P' && at[1] == 'E' && at[2] == 0 && at[3] == 0;
}

CoffFields ReadCoff(const std::uint8_t* bytes, std::uint64_t peHeader) {
    const std::uint8_t* coff = bytes + peHeader + 4;
    return {ReadLe16(coff + 2), ReadLe32(coff + 8), ReadLe32(coff + 12), ReadLe16(coff + 16)};
}

std::uint64_t DirectoryCountAt(std::uint64_t optional, std::uint16_t magic) {
    if (magic == kPe32) {
        return optional + kPe32CountAt;
    }
    return magic == kPe32Plus ? optional + kPe32PlusCountAt : 0;
}
