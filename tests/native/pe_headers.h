// The headers of a program image as a linker writes them, for the tests of the image rules.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

namespace pe_test {

inline void Put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

// The DOS header pointing at "PE\0\0" at `peAt`, an optional header of `magic` (PE32+ when
// 0x20B) with `directories` data directories, the certificate table at (certificateAt,
// certificateSize) and the sections as (file offset, raw size). With the default PE offset the
// optional header starts at 0x98 and the bytes are the 0x400 of the headers.
struct PeHeaders {
    std::uint32_t magic = 0x10B;
    std::uint32_t peAt = 0x80;
    std::uint32_t directories = 16;
    std::uint32_t certificateAt = 0;
    std::uint32_t certificateSize = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sections = {{0x400, 0x1000},
                                                                     {0x1400, 0x200}};
    std::uint32_t symbolTable = 0;
    std::uint32_t symbols = 0;

    std::vector<std::uint8_t> Bytes() const {
        const bool wide = magic == 0x20B;
        const std::uint32_t optionalBytes = wide ? 240 : 224;
        const std::size_t optional = peAt + 24;
        std::vector<std::uint8_t> bytes(
            std::max<std::size_t>(0x400, optional + optionalBytes + 40 * sections.size() + 64), 0);
        bytes[0] = 'M';
        bytes[1] = 'Z';
        Put32(bytes, 0x3C, peAt);
        Put32(bytes, peAt, 0x00004550);
        const std::size_t coff = peAt + 4;
        Put16(bytes, coff + 2, static_cast<std::uint32_t>(sections.size()));
        Put32(bytes, coff + 8, symbolTable);
        Put32(bytes, coff + 12, symbols);
        Put16(bytes, coff + 16, optionalBytes);
        Put16(bytes, optional, magic);
        Put32(bytes, optional + 60, 0x400);  // the size of the headers
        const std::size_t count = optional + (wide ? 108 : 92);
        Put32(bytes, count, directories);
        Put32(bytes, count + 4 + 4 * 8, certificateAt);
        Put32(bytes, count + 4 + 4 * 8 + 4, certificateSize);
        std::size_t section = optional + optionalBytes;
        for (const auto& [at, size] : sections) {
            Put32(bytes, section + 16, size);
            Put32(bytes, section + 20, at);
            section += 40;
        }
        return bytes;
    }
};

}  // namespace pe_test
