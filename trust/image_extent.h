// Whether a program file is whole: a Windows program image says in its own headers how far its
// sections and its embedded signature reach, so a file cut short (a download that stopped, a
// copy that hit a full disk) is seen before its version or its signer is believed. A signature
// cut off at the end would otherwise read as no signature at all.
#pragma once

#include <cstddef>
#include <cstdint>

enum class ImageWholeness {
    kNotAnImage,  // no "MZ" at the start: the other checks judge such a file
    kWhole,       // every section and the signature lie within the file
    kCut,         // the headers, a section or the signature reach past the end of the file
};

// How many leading bytes of a file the rule needs at most; headers that reach further are taken
// as damaged.
constexpr std::size_t kImageHeaderBytes = 64 * 1024;

// The end of what the headers describe: the furthest end of the headers themselves, of a
// section's raw data and of the certificate table. 0 when the bytes are not an image; UINT64_MAX
// when the headers are damaged or reach past `prefix` (the file's first bytes, at most
// kImageHeaderBytes of them).
std::uint64_t ImageExtent(const std::uint8_t* prefix, std::size_t prefixSize);

// The verdict for a file of `fileSize` bytes whose first bytes are `prefix`.
ImageWholeness JudgeImage(const std::uint8_t* prefix, std::size_t prefixSize,
                          std::uint64_t fileSize);
