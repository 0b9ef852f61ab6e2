#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "manifest/manifest_text.h"
#include "manifest/version.h"

namespace {

using Bytes = std::vector<unsigned char>;

// UTF-16 units in a wide string, the same on 16- and 32-bit wchar_t.
std::wstring Units(std::initializer_list<unsigned> units) {
    std::wstring text;
    for (unsigned u : units) {
        text.push_back(static_cast<wchar_t>(u));
    }
    return text;
}

Bytes Utf16Le(const std::wstring& text) {
    Bytes bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<unsigned char>(c & 0xFF));
        bytes.push_back(static_cast<unsigned char>((c >> 8) & 0xFF));
    }
    return bytes;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Bytes kUtf8Mark = {0xEF, 0xBB, 0xBF};
const Bytes kUtf16Mark = {0xFF, 0xFE};
// "<a>中文</a>" in UTF-8.
const Bytes kChineseUtf8 = {'<', 'a', '>', 0xE4, 0xB8, 0xAD, 0xE6, 0x96, 0x87, '<', '/', 'a', '>'};

TEST(DecodeManifestBytes, EncodingByMark) {
    const std::tuple<const char*, Bytes, std::wstring> cases[] = {
        {"UTF-8 with mark", Concat(kUtf8Mark, kChineseUtf8), L"<a>中文</a>"},
        {"UTF-16LE with mark", Concat(kUtf16Mark, Utf16Le(L"<a>中文</a>")), L"<a>中文</a>"},
        {"UTF-16LE without mark", Utf16Le(L"<a>中文</a>"), L"<a>中文</a>"},
        {"UTF-8 without mark read as UTF-16LE", {'<', 'a', '/', '>'}, Units({0x613C, 0x3E2F})},
        {"big-endian mark is an ordinary unit", {0xFE, 0xFF, '<', 0}, Units({0xFFFE, '<'})},
        {"second UTF-16 mark is kept", Concat(kUtf16Mark, Utf16Le(Units({0xFEFF, 'x'}))),
         Units({0xFEFF, 'x'})},
        {"empty", {}, L""},
        {"UTF-8 mark only", kUtf8Mark, L""},
        {"UTF-16 mark only", kUtf16Mark, L""},
        {"two bytes of the UTF-8 mark are UTF-16", {0xEF, 0xBB}, Units({0xBBEF})},
        {"UTF-16 ends at the first NUL unit", Utf16Le(Units({'a', 'b', 0, 'c'})), L"ab"},
        {"a zero byte inside a unit is no NUL", {'a', 0, 0, 'b'}, Units({'a', 0x6200})},
        {"UTF-8 ends at the first NUL byte", Concat(kUtf8Mark, {'a', 0, 'b'}), L"a"},
        {"odd last byte pairs with the zero padding", {'a', 0, 'b'}, L"ab"},
        {"odd zero last byte ends the text", {'a', 0, 0}, L"a"},
        {"single byte", {'x'}, L"x"}};
    for (const auto& [name, bytes, text] : cases) {
        EXPECT_EQ(DecodeManifestBytes(bytes), text) << name;
    }
}

TEST(DecodeManifestBytes, PointerAndCountReadOnlyCountBytes) {
    const unsigned char body[] = {'a', 0, 'b', 0, 'c', 0};
    EXPECT_EQ(DecodeManifestBytes(body, 4), L"ab");
    EXPECT_EQ(DecodeManifestBytes(nullptr, 0), L"");
}

TEST(DecodeManifestBytes, Utf8OutsideTheBasicPlaneBecomesASurrogatePair) {
    const Bytes bytes = Concat(kUtf8Mark, {0xF0, 0x9F, 0x98, 0x80, 0xF4, 0x8F, 0xBF, 0xBF});
    EXPECT_EQ(DecodeManifestBytes(bytes), Units({0xD83D, 0xDE00, 0xDBFF, 0xDFFF}));
}

TEST(DecodeManifestBytes, IllFormedUtf8GivesOneReplacementPerMaximalSubpart) {
    constexpr unsigned R = 0xFFFD;
    const std::tuple<const char*, Bytes, std::wstring> cases[] = {
        {"lone continuation", {0x80, 'a'}, Units({R, 'a'})},
        {"invalid lead bytes", {0xC0, 0xC1, 0xF5, 0xFF}, Units({R, R, R, R})},
        {"overlong slash", {0xC0, 0xAF}, Units({R, R})},
        {"overlong three-byte", {0xE0, 0x80, 0xAF}, Units({R, R, R})},
        {"encoded surrogate", {0xED, 0xA0, 0x80}, Units({R, R, R})},
        {"above U+10FFFF", {0xF4, 0x90, 0x80, 0x80}, Units({R, R, R, R})},
        {"cut short before ASCII", {0xE4, 0xB8, 'A'}, Units({R, 'A'})},
        {"cut short at the end", {'x', 0xE4, 0xB8}, Units({'x', R})},
        {"cut short by NUL", {0xF0, 0x9F, 0x98, 0, 'z'}, Units({R})},
        {"new lead inside a sequence", {0xE4, 0xE4, 0xB8, 0xAD}, Units({R, 0x4E2D})},
        {"largest two-byte", {0xDF, 0xBF}, Units({0x07FF})},
        {"last below surrogates", {0xED, 0x9F, 0xBF}, Units({0xD7FF})}};
    for (const auto& [name, bytes, text] : cases) {
        EXPECT_EQ(DecodeManifestBytes(Concat(kUtf8Mark, bytes)), text) << name;
    }
}

TEST(ManifestUrl, PathsPerManifestAndVariantWithTheTickCountAsSigned32Bit) {
    const ManifestVariant classic = ManifestVariant::kClassic, six = ManifestVariant::kVersion6;
    const std::tuple<ManifestKind, ManifestVariant, std::uint32_t, const wchar_t*> cases[] = {
        {ManifestKind::kSettings, classic, 0, L"/keldra/tallix.xml?a=0"},
        {ManifestKind::kSettings, six, 2147483647u, L"/keldra/tallix.xml?a=2147483647"},
        {ManifestKind::kUpgrade, classic, 2147483648u, L"/keldra/upgrade.xml?a=-2147483648"},
        {ManifestKind::kUpgrade, six, 4294967295u, L"/keldra/upgrade6s.xml?a=-1"},
        {ManifestKind::kHistory, classic, 3000000000u, L"/keldra/history.xml?a=-1294967296"},
        {ManifestKind::kHistory, six, 5, L"/keldra/history6.xml?a=5"}};
    for (const auto& [kind, variant, tick, path] : cases) {
        EXPECT_EQ(ManifestUrl(L"http://m.test", kind, variant, tick),
                  std::wstring(L"http://m.test") + path);
    }
}

TEST(ChooseManifestVariant, ClassicOnlyWhenAllThreeConditionsHold) {
    for (int bits = 0; bits < 8; ++bits) {
        const bool version6Switch = bits & 1;
        const bool mainVersion6 = bits & 2;
        const bool mainExists = bits & 4;
        const ManifestVariant expected =
            bits == 4 ? ManifestVariant::kClassic : ManifestVariant::kVersion6;
        EXPECT_EQ(ChooseManifestVariant(version6Switch, mainVersion6, mainExists), expected)
            << "bits " << bits;
    }
}

// Seeded random bytes, short runs: nothing may crash under the sanitizers, and what holds for
// every input holds.
// Every surrogate is part of a pair and every unit fits 16 bits.
bool WellFormedUtf16(const std::wstring& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<std::uint32_t>(text[i]);
        if (unit > 0xFFFF || (unit >= 0xDC00 && unit <= 0xDFFF)) {
            return false;
        }
        if (unit >= 0xD800 && unit <= 0xDBFF &&
            (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[++i] > 0xDFFF)) {
            return false;
        }
    }
    return true;
}

TEST(DecoderFuzz, RandomBytesDecodeSafely) {
    std::mt19937 rng(20261205);
    const std::vector<unsigned char> marks[] = {{}, {0xEF, 0xBB, 0xBF}, {0xFF, 0xFE}};
    for (int round = 0; round < 2000; ++round) {
        std::vector<unsigned char> bytes = marks[round % 3];
        const std::size_t length = rng() % 40;
        for (std::size_t i = 0; i < length; ++i) {
            // Favour the bytes that shape UTF-8 sequences.
            const unsigned r = rng();
            bytes.push_back(
                static_cast<unsigned char>(r % 4 == 0 ? 0x80 + (r >> 8) % 0x80 : r >> 8));
        }
        const std::wstring text = DecodeManifestBytes(bytes);
        EXPECT_LE(text.size(), bytes.size());
        EXPECT_EQ(text.find(L'\0'), std::wstring::npos);
        if (round % 3 == 1) {
            EXPECT_TRUE(WellFormedUtf16(text)) << "round " << round;
        }
    }
}

TEST(IsNewer, ComparisonTable) {
    // A non-numeric field reads 0; "1.2.3" against "1.2.3.4" compares 3 and 3; a pretty-printed
    // manifest value keeps its line breaks and indentation.
    const std::tuple<const wchar_t*, const wchar_t*, bool> cases[] = {
        {L"6.0.0.0", L"6.0.0.1", true},
        {L"6.0.0.1", L"6.0.0.0", false},
        {L"", L"1.0.0.0", false},
        {L"1.0.0.0", L"", false},
        {L"1.9.0.0", L"1.10.0.0", true},
        {L"1.10.0.0", L"1.9.0.0", false},
        {L"6.0", L"6.0.1", false},
        {L"6.0.0.0", L"6.1", true},
        {L"6.0.0.0", L"6.0.0.0.1", false},
        {L"2.0.0.0", L"2.0.0.0beta", false},
        {L"2.0.0.0", L"2.0.0.1beta", true},
        {L"3.0.0.0", L"3.0.0.0", false},
        {L"1.0.0.0A", L"1.0.0.0a", false},
        {L"x.0.0.0", L"1.0.0.0", true},
        {L"1.0.0.0", L"1.x.0.0", false},
        {L"10.0.0.0", L"9.9.9.9", false},
        {L"6", L"5.9", false},
        {L"1.2.3", L"1.2.3.4", false},
        {L"01.0.0.0", L"1.0.0.1", true},
        {L"6.0.0.1", L"\n\t\t6.0.0.2\n\t", true},
        {L"\r\n\t7.0.0.0", L"6.0.0.0", false},
        {L"6.0.0.0", L"6.0.0.\t1", true}};
    for (const auto& [current, candidate, newer] : cases) {
        EXPECT_EQ(IsNewer(current, candidate), newer)
            << ::testing::PrintToString(std::wstring(current)) << " "
            << ::testing::PrintToString(std::wstring(candidate));
    }
}

TEST(FormatVersion, HighHalfFirstWithoutLeadingZeros) {
    EXPECT_EQ(FormatVersion(0x0003000A, 0x00020011), L"3.10.2.17");
    EXPECT_EQ(FormatVersion(0xFFFFFFFF, 0xFFFFFFFF), L"65535.65535.65535.65535");
}

TEST(LeadingInt, ReadsLikeTheCRuntime) {
    const std::pair<const wchar_t*, int> cases[] = {{L"", 0},
                                                    {L"abc", 0},
                                                    {L"12abc", 12},
                                                    {L" \t\r\n7", 7},
                                                    {L"-3", -3},
                                                    {L"+4", 4},
                                                    {L"99999999999", 2147483647},
                                                    {L"-99999999999", -2147483647 - 1}};
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(LeadingInt(text), value) << ::testing::PrintToString(std::wstring(text));
    }
}

}  // namespace
