#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "tests/native/pe_headers.h"
#include "trust/image_extent.h"

namespace {

constexpr std::uint64_t kDamaged = std::numeric_limits<std::uint64_t>::max();

using pe_test::PeHeaders;
using pe_test::Put16;
using pe_test::Put32;

TEST(ImageWholeness, HeadersSectionsAndTheSignatureMustLieWithinTheFile) {
    const PeHeaders plain;
    const PeHeaders wide{.magic = 0x20B};
    const PeHeaders signedImage{.certificateAt = 0x1600, .certificateSize = 0x900};
    const PeHeaders signedWide{.magic = 0x20B, .certificateAt = 0x1600, .certificateSize = 0x900};
    // A section without raw data (uninitialised data) reaches nowhere.
    const PeHeaders bss{.sections = {{0x400, 0x1000}, {0x1400, 0x200}, {0, 0}}};
    const PeHeaders symbols{.symbolTable = 0x1600, .symbols = 10};
    const PeHeaders none{.sections = {}};  // headers only
    // The headers, the size of the file and the verdict.
    const std::tuple<const char*, PeHeaders, std::uint64_t, ImageWholeness> cases[] = {
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
        std::vector<std::uint8_t> bytes = PeHeaders().Bytes();
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
    std::vector<std::uint8_t> far = PeHeaders().Bytes();
    Put32(far, 0x98 + 224 + 20, 0xFFFFFFFF);
    EXPECT_EQ(ImageExtent(far.data(), far.size()), 0xFFFFFFFFull + 0x1000);
    // Only the file's own bytes count: a prefix longer than the file is cut to it.
    const std::vector<std::uint8_t> bytes = PeHeaders().Bytes();
    EXPECT_EQ(JudgeImage(bytes.data(), bytes.size(), 0x30), ImageWholeness::kCut);
}

}  // namespace
