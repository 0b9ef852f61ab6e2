// The signer check's portable rules: whether a program carries a certificate table at all (so
// that a signature that fails to parse is not taken for no signature), and the maker's name.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "tests/native/pe_headers.h"
#include "trust/certificate_table.h"
#include "trust/signer_rule.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using pe_test::PeHeaders;

// The headers of an image with an optional header of `magic` and `entries` data directories, the
// certificate table at (offset, size) and the PE header at `header`.
Bytes Image(std::uint32_t magic, std::uint32_t entries, std::uint32_t offset, std::uint32_t size,
            std::uint32_t header = 0x80) {
    return PeHeaders{.magic = magic,
                     .peAt = header,
                     .directories = entries,
                     .certificateAt = offset,
                     .certificateSize = size}
        .Bytes();
}

CertificateTable Of(const Bytes& bytes, std::uint64_t fileSize = 100000) {
    return CertificateTableOf(bytes.data(), bytes.size(), fileSize);
}

TEST(CertificateTable, NamedByTheFifthDirectoryOfAnImage) {
    using T = CertificateTable;
    EXPECT_EQ(Of(Image(0x10B, 16, 0x4000, 0x640)), T::kPresent);
    EXPECT_EQ(Of(Image(0x20B, 16, 0x4000, 0x640)), T::kPresent);
    EXPECT_EQ(Of(Image(0x20B, 16, 0, 8)), T::kPresent);  // a table at 0 is still named
    EXPECT_EQ(Of(Image(0x10B, 16, 0, 0)), T::kNone);
    EXPECT_EQ(Of(Image(0x20B, 4, 0x4000, 0x640)), T::kNone);  // only four directories
    EXPECT_EQ(Of(Image(0x10B, 5, 0x4000, 0x640)), T::kPresent);
    EXPECT_EQ(Of(Image(0x107, 16, 0x4000, 0x640)), T::kNone);  // no optional header magic

    Bytes notPe = Image(0x10B, 16, 0x4000, 0x640);
    notPe[0x81] = 'X';
    EXPECT_EQ(Of(notPe), T::kNone);
    Bytes notMz = Image(0x10B, 16, 0x4000, 0x640);
    notMz[1] = 'X';
    EXPECT_EQ(Of(notMz), T::kNone);
    EXPECT_EQ(Of(Bytes{'M', 'Z', 0, 0x90, ' ', 'n', 'o', 't'}), T::kNone);
    EXPECT_EQ(CertificateTableOf(nullptr, 0, 0), T::kNone);

    // An optional header too short to hold the fifth entry has none.
    Bytes shortOptional = Image(0x10B, 16, 0x4000, 0x640);
    pe_test::Put16(shortOptional, 0x94, 96);
    EXPECT_EQ(Of(shortOptional), T::kNone);

    // Headers beyond the bytes read: unknown while the file goes on, none when the file ends.
    const Bytes far = Image(0x10B, 16, 0x4000, 0x640, 0x2000);
    const Bytes start(far.begin(), far.begin() + 0x1000);
    EXPECT_EQ(Of(start, far.size()), T::kUnknown);
    EXPECT_EQ(Of(start, 0x1000), T::kNone);
    EXPECT_EQ(Of(far, far.size()), T::kPresent);
    const Bytes cut(far.begin(), far.begin() + 0x2000 + 24 + 100);
    EXPECT_EQ(Of(cut, cut.size()), T::kNone);  // the file ends inside the optional header
}

// The maker's text anywhere in the lower-cased subject names the maker, and only the exempt
// installer's name after a folder's backslash is exempt.
TEST(SignerRule, MakersTextAsASubstringAndTheExemptName) {
    const std::tuple<const wchar_t*, bool> signers[] = {
        {L"lakemoor orvane network technology co., ltd.", true},
        {L"xlakemoor orvane network technologyx", true},
        {L"beijing lakemoor orvane network technology branch", true},
        {L"lakemoor orvane network", false},
        {L"LAKEMOOR ORVANE NETWORK TECHNOLOGY", false},  // the caller lower-cases first
        {L"", false},
    };
    for (const auto& [signer, maker] : signers) {
        EXPECT_EQ(IsMakersSigner(signer), maker) << signer;
    }
    EXPECT_TRUE(IsSignatureExemptPath(L"C:\\u\\GLASSWISPSETUP.exe"));
    EXPECT_TRUE(IsSignatureExemptPath(L"C\\glasswispsetup.exe"));
    EXPECT_FALSE(IsSignatureExemptPath(L"\\glasswispsetup.exe"));
    EXPECT_FALSE(IsSignatureExemptPath(L"glasswispsetup.exe"));
    EXPECT_FALSE(IsSignatureExemptPath(L"C:\\u\\glasswispsetup.exe.tmp"));
}

}  // namespace
