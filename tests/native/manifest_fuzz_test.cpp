// Seeded random inputs through the decoder and the manifest readers: nothing may crash, and the
// properties that hold for every input must hold for these.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <tuple>

#include "app/text.h"
#include "manifest/manifest_text.h"
#include "manifest/settings_manifest.h"
#include "manifest/update_list.h"
#include "tests/native/manifest_tree.h"

namespace {

using namespace manifest_tree;

using Bytes = std::vector<unsigned char>;

bool IsHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Every surrogate is part of a pair and every unit fits 16 bits.
bool WellFormedUtf16(const std::wstring& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<std::uint32_t>(text[i]) > 0xFFFF || IsLowSurrogate(text[i])) {
            return false;
        }
        if (IsHighSurrogate(text[i])) {
            if (i + 1 >= text.size() || !IsLowSurrogate(text[++i])) {
                return false;
            }
        }
    }
    return true;
}

void EncodeUtf8(std::uint32_t cp, Bytes& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<unsigned char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<unsigned char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<unsigned char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<unsigned char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<unsigned char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<unsigned char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<unsigned char>(0x80 | (cp & 0x3F)));
    }
}

void EncodeUtf16(std::uint32_t cp, std::wstring& out) {
    if (cp < 0x10000) {
        out.push_back(static_cast<wchar_t>(cp));
    } else {
        out.push_back(static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
}

TEST(DecoderFuzz, RandomBytesDecodeSafely) {
    std::mt19937 rng(20261205);
    const Bytes marks[] = {{}, {0xEF, 0xBB, 0xBF}, {0xFF, 0xFE}};
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes = marks[round % 3];
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

TEST(DecoderFuzz, ValidTextRoundTripsAndCutsEndInOneReplacement) {
    std::mt19937 rng(7);
    for (int round = 0; round < 500; ++round) {
        Bytes utf8 = {0xEF, 0xBB, 0xBF};
        std::wstring units;
        std::vector<std::size_t> boundaries = {utf8.size()};
        std::vector<std::size_t> unitCounts = {0};
        const int count = 1 + static_cast<int>(rng() % 12);
        for (int i = 0; i < count; ++i) {
            const std::uint32_t limits[] = {0x80, 0x800, 0x10000, 0x110000};
            std::uint32_t cp = 1 + rng() % (limits[rng() % 4] - 1);
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                cp = 0xE000;
            }
            EncodeUtf8(cp, utf8);
            EncodeUtf16(cp, units);
            boundaries.push_back(utf8.size());
            unitCounts.push_back(units.size());
        }
        ASSERT_EQ(DecodeManifestBytes(utf8), units);

        Bytes utf16 = {0xFF, 0xFE};
        for (wchar_t u : units) {
            utf16.push_back(static_cast<unsigned char>(u & 0xFF));
            utf16.push_back(static_cast<unsigned char>(u >> 8));
        }
        ASSERT_EQ(DecodeManifestBytes(utf16), units);

        // A body cut inside a character keeps the characters before and adds one U+FFFD.
        const std::size_t cut = 3 + rng() % (utf8.size() - 3);
        std::size_t whole = 0;
        while (whole + 1 < boundaries.size() && boundaries[whole + 1] <= cut) {
            ++whole;
        }
        std::wstring expected = units.substr(0, unitCounts[whole]);
        if (boundaries[whole] != cut) {
            expected.push_back(static_cast<wchar_t>(0xFFFD));
        }
        EXPECT_EQ(DecodeManifestBytes(utf8.data(), cut), expected);
    }
}

// Random manifest trees from a pool of names that the readers know in various letter cases.
class TreeMaker {
  public:
    explicit TreeMaker(unsigned seed, bool failures) : rng_(seed), failures_(failures) {}

    TreeNode Make(const wchar_t* rootName) {
        TreeNode root = Element(rootName);
        AddChildren(root, 0);
        return root;
    }

  private:
    void AddChildren(TreeNode& node, int depth) {
        const std::size_t count = depth >= 3 ? 0 : rng_() % 6;
        for (std::size_t i = 0; i < count; ++i) {
            TreeNode child = rng_() % 10 == 0 ? Comment(L"c") : Element(Name());
            if (child.name != L"#comment") {
                if (rng_() % 3 == 0) {
                    child.children.push_back(TextNode(Pick(kTexts)));
                } else {
                    AddChildren(child, depth + 1);
                }
            }
            if (failures_ && rng_() % 40 == 0) {
                (rng_() % 2 ? child.failText : child.failName) = true;
            }
            node.children.push_back(std::move(child));
        }
    }

    std::wstring Name() {
        std::wstring name = Pick(kNames);
        if (rng_() % 3 == 0) {
            name = ToLowerAscii(name);
        }
        return name;
    }

    template <std::size_t N>
    std::wstring Pick(const wchar_t* const (&pool)[N]) {
        return pool[rng_() % N];
    }

    static constexpr const wchar_t* kNames[] = {L"SystemSet",   L"UpgradeType", L"HistoryHelvor",
                                                L"Keldra",      L"Tallix",      L"KeldraSetup",
                                                L"dayloom",     L"Name",        L"Version",
                                                L"InstallFile", L"ClassName",   L"CopyFile",
                                                L"Enforce",     L"RunDirect",   L"Depend",
                                                L"U",           L"N",           L"V",
                                                L"F",           L"CN",          L"CF",
                                                L"EF",          L"RD",          L"D",
                                                L"P",           L"EUPP",        L"mp",
                                                L"downip",      L"upkeldra6",   L"History",
                                                L"hijactname"};
    static constexpr const wchar_t* kTexts[] = {L"",      L"0",      L"1",        L"false",
                                                L"TRUE",  L"2x",     L"/a/b.exe", L"HTTP://x/Y.exe",
                                                L"b.exe", L"/c.exe", L"|a||b|",   L"6.0.0.1"};

    std::mt19937 rng_;
    bool failures_;
};

TEST(ReaderFuzz, UpgradeEntriesFollowTheRootChildren) {
    for (unsigned seed = 1; seed <= 400; ++seed) {
        const bool failures = seed % 2 == 0;
        const TreeNode root = TreeMaker(seed, failures).Make(L"UpdateList");
        UpgradeReaderState state;
        state.downloadBase = L"http://dl.test";
        UpdateList list;
        const bool complete = ReadUpgradeManifest(
            TreeView(root), seed % 3 ? ManifestVariant::kClassic : ManifestVariant::kVersion6,
            L"dayloom", state, list);
        std::vector<std::wstring> entryTags;
        for (const TreeNode& child : root.children) {
            if (child.name != L"SystemSet") {
                entryTags.push_back(ToLowerAscii(child.name));
            }
        }
        if (!failures) {
            EXPECT_TRUE(complete);
        }
        ASSERT_LE(list.size(), entryTags.size());
        if (complete) {
            EXPECT_EQ(list.size(), entryTags.size());
        }
        for (std::size_t i = 0; i < list.size(); ++i) {
            const UpdateItem& item = *list[i];
            EXPECT_EQ(item.tag, entryTags[i]);
            EXPECT_EQ(item.fileName.find(L'/'), std::wstring::npos);
            EXPECT_TRUE(item.downloadUrl.empty() ||
                        item.downloadUrl.rfind(L"http://dl.test", 0) == 0 ||
                        ToLowerAscii(item.downloadUrl.substr(0, 4)) == L"http");
        }
        EXPECT_TRUE(state.setupKind == 0 || state.setupKind == 1);
    }
}

// The same entries written in the two vocabularies read the same.
TEST(ReaderFuzz, ClassicAndVersion6VocabulariesAgree) {
    const std::pair<const wchar_t*, const wchar_t*> names[] = {
        {L"Name", L"n"},      {L"VERSION", L"V"},  {L"installfile", L"F"}, {L"ClassName", L"cn"},
        {L"copyFile", L"CF"}, {L"Enforce", L"ef"}, {L"rundirect", L"RD"},  {L"depend", L"d"},
        {L"u", L"U"},         {L"junk", L"junk"},  {L"#text", L"#text"},
    };
    const wchar_t* texts[] = {L"", L"false", L"FaLsE", L"true", L"0", L"/k/k.exe", L"k.exe", L"x"};
    std::mt19937 rng(99);
    for (int round = 0; round < 300; ++round) {
        TreeNode classic = Element(L"UpdateList");
        TreeNode version6 = Element(L"UpdateList");
        const wchar_t* tags[] = {L"keldra", L"Tallix", L"keldrasetup", L"Dayloom"};
        for (std::size_t e = rng() % 4; e < 4; ++e) {
            TreeNode a = Element(tags[rng() % 4]);
            TreeNode b = Element(a.name);
            for (std::size_t f = rng() % 6; f < 8; ++f) {
                const auto& [longName, shortName] = names[rng() % std::size(names)];
                const wchar_t* text = texts[rng() % std::size(texts)];
                a.children.push_back(Leaf(longName, text));
                b.children.push_back(Leaf(shortName, text));
            }
            classic.children.push_back(std::move(a));
            version6.children.push_back(std::move(b));
        }
        UpgradeReaderState stateA, stateB;
        stateA.downloadBase = stateB.downloadBase = L"http://dl.test";
        UpdateList listA, listB;
        ASSERT_TRUE(ReadUpgradeManifest(TreeView(classic), ManifestVariant::kClassic, L"dayloom",
                                        stateA, listA));
        ASSERT_TRUE(ReadUpgradeManifest(TreeView(version6), ManifestVariant::kVersion6, L"dayloom",
                                        stateB, listB));
        ASSERT_EQ(listA.size(), listB.size());
        for (std::size_t i = 0; i < listA.size(); ++i) {
            const UpdateItem& a = *listA[i];
            const UpdateItem& b = *listB[i];
            EXPECT_EQ(std::tie(a.tag, a.name, a.version, a.downloadUrl, a.fileName, a.className,
                               a.depend, a.copyFile, a.enforce, a.runDirect, a.unattended),
                      std::tie(b.tag, b.name, b.version, b.downloadUrl, b.fileName, b.className,
                               b.depend, b.copyFile, b.enforce, b.runDirect, b.unattended));
        }
        EXPECT_EQ(
            std::tie(stateA.mainSetupUrl, stateA.latestUpdaterVersion, stateA.targetDependency),
            std::tie(stateB.mainSetupUrl, stateB.latestUpdaterVersion, stateB.targetDependency));
    }
}

TEST(ReaderFuzz, SettingsStayWellFormed) {
    for (unsigned seed = 1; seed <= 400; ++seed) {
        const bool failures = seed % 2 == 0;
        const TreeNode root = TreeMaker(seed, failures).Make(L"TallixSet");
        UpdaterSettings settings;
        const bool complete = ReadSettingsManifest(TreeView(root), settings);
        if (!failures) {
            EXPECT_TRUE(complete);
        }
        for (const std::wstring& name : settings.hijackNames) {
            EXPECT_FALSE(name.empty());
            EXPECT_NE(name.back(), L'|');
        }
    }
}

}  // namespace
