#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "trust/image_extent.h"

namespace {

constexpr std::uint64_t kDamaged = std::numeric_limits<std::uint64_t>::max();

void Put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

// The headers of an image as a linker writes them: the DOS header pointing at "PE\0\0" at 0x80,
// an optional header of the given kind with 16 directories, and the sections as
// (file offset, raw size); a certificate table when `certificateSize` is not 0.
struct Headers {
    bool wide = false;  // PE32+ rather than PE32
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sections = {{0x400, 0x1000},
                                                                     {0x1400, 0x200}};
    std::uint32_t certificateAt = 0;
    std::uint32_t certificateSize = 0;
    std::uint32_t symbolTable = 0;
    std::uint32_t symbols = 0;

    std::vector<std::uint8_t> Bytes() const {
        std::vector<std::uint8_t> bytes(0x400, 0);
        bytes[0] = 'M';
        bytes[1] = 'Z';
        Put32(bytes, 0x3C, 0x80);
        Put32(bytes, 0x80, 0x00004550);
        const std::size_t coff = 0x84;
        const std::uint32_t optionalBytes = wide ? 240 : 224;
        Put16(bytes, coff + 2, static_cast<std::uint32_t>(sections.size()));
        Put32(bytes, coff + 8, symbolTable);
        Put32(bytes, coff + 12, symbols);
        Put16(bytes, coff + 16, optionalBytes);
        const std::size_t optional = 0x98;
        Put16(bytes, optional, wide ? 0x20B : 0x10B);
        Put32(bytes, optional + 60, 0x400);  // the size of the headers
        const std::size_t count = optional + (wide ? 108 : 92);
        Put32(bytes, count, 16);
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

TEST(ImageWholeness, HeadersSectionsAndTheSignatureMustLieWithinTheFile) {
    Headers plain;
    Headers wide;
    wide.wide = true;
    Headers signedImage;
    signedImage.certificateAt = 0x1600;
    signedImage.certificateSize = 0x900;
    Headers signedWide = signedImage;
    signedWide.wide = true;
    Headers bss;  // a section without raw data (uninitialised data) reaches nowhere
    bss.sections.push_back({0, 0});
    Headers symbols;
    symbols.symbolTable = 0x1600;
    symbols.symbols = 10;
    Headers none;  // headers only
    none.sections.clear();
    // The headers, the size of the file and the verdict.
    const std::tuple<const char*, Headers, std::uint64_t, ImageWholeness> cases[] = {
        {"sections end at 0x1600", plain, 0x1600, ImageWholeness::kWhole},
        {"with data after them", plain, 0x2000, ImageWholeness::kWhole},
        {"last section cut", plain, 0x15FF, ImageWholeness::kCut},
        {"PE32+", wide, 0x1600, ImageWholeness::kWhole},
        {"PE32+ cut", wide, 0x1500, ImageWholeness::kCut},
        {"signed, whole", signedImage, 0x1F00, ImageWholeness::kWhole},
        // The signature cut off: sections whole, the certificate table short by one byte.
        {"signature cut", signedImage, 0x1EFF, ImageWholeness::kCut},
        {"signature gone", signedImage, 0x1600, ImageWholeness::kCut},
        {"PE32+ signature cut", signedWide, 0x1700, ImageWholeness::kCut},
        {"section without raw data", bss, 0x1600, ImageWholeness::kWhole},
        {"symbol table whole", symbols, 0x1600 + 180, ImageWholeness::kWhole},
        {"symbol table cut", symbols, 0x1600 + 179, ImageWholeness::kCut},
        {"headers only", none, 0x400, ImageWholeness::kWhole},
        {"headers cut", none, 0x3FF, ImageWholeness::kCut},
    };
    for (const auto& [name, headers, fileSize, verdict] : cases) {
        const std::vector<std::uint8_t> bytes = headers.Bytes();
        EXPECT_EQ(JudgeImage(bytes.data(), bytes.size(), fileSize), verdict) << name;
    }
    const std::vector<std::uint8_t> bytes = signedImage.Bytes();
    EXPECT_EQ(ImageExtent(bytes.data(), bytes.size()), 0x1F00u);
}

TEST(ImageWholeness, WhatIsNoImageAndWhatIsDamaged) {
    const std::vector<std::uint8_t> text = {'<', 'h', 't', 'm', 'l', '>'};
    EXPECT_EQ(JudgeImage(text.data(), text.size(), text.size()), ImageWholeness::kNotAnImage);
    EXPECT_EQ(JudgeImage(nullptr, 0, 0), ImageWholeness::kNotAnImage);
    const std::uint8_t m[] = {'M'};
    EXPECT_EQ(JudgeImage(m, 1, 1), ImageWholeness::kNotAnImage);

    // Starts like a program, then breaks off or lies: each is cut, never "no image".
    auto edited = [](auto edit) {
        std::vector<std::uint8_t> bytes = Headers().Bytes();
        edit(bytes);
        return bytes;
    };
    const std::tuple<const char*, std::vector<std::uint8_t>> damaged[] = {
        {"only the DOS header's start", std::vector<std::uint8_t>{'M', 'Z', 0x90, 0}},
        {"no PE signature", edited([](auto& b) { b[0x81] = 'X'; })},
        {"new header past the prefix", edited([](auto& b) { Put32(b, 0x3C, 0x7FFFFFF0); })},
        {"new header at the top of 32 bits", edited([](auto& b) { Put32(b, 0x3C, 0xFFFFFFFF); })},
        {"unknown optional header", edited([](auto& b) { Put16(b, 0x98, 0x107); })},
        {"optional header too small", edited([](auto& b) { Put16(b, 0x94, 16); })},
        {"section table past the prefix", edited([](auto& b) { Put16(b, 0x86, 0xFFFF); })},
    };
    for (const auto& [name, bytes] : damaged) {
        EXPECT_EQ(ImageExtent(bytes.data(), bytes.size()), kDamaged) << name;
        EXPECT_EQ(JudgeImage(bytes.data(), bytes.size(), 1u << 30), ImageWholeness::kCut) << name;
    }
    // Offsets near the top of 32 bits add up without wrapping round to a small extent.
    std::vector<std::uint8_t> far = Headers().Bytes();
    Put32(far, 0x98 + 224 + 20, 0xFFFFFFFF);
    EXPECT_EQ(ImageExtent(far.data(), far.size()), 0xFFFFFFFFull + 0x1000);
    // Only the file's own bytes count: a prefix longer than the file is cut to it.
    const std::vector<std::uint8_t> bytes = Headers().Bytes();
    EXPECT_EQ(JudgeImage(bytes.data(), bytes.size(), 0x30), ImageWholeness::kCut);
}

}  // namespace
