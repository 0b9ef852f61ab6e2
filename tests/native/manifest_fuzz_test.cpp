// Seeded random inputs through the byte decoder and the upgrade manifest reader, short runs:
// nothing may crash under the sanitizers, and the properties that hold for every input hold.
#include <gtest/gtest.h>

#include <random>

#include "app/text.h"
#include "manifest/manifest_text.h"
#include "manifest/update_list.h"
#include "tests/native/manifest_tree.h"

namespace {

using namespace manifest_tree;

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

// Random trees from names the readers know, in various letter cases, some nodes failing.
class TreeMaker {
  public:
    explicit TreeMaker(unsigned seed) : rng_(seed) {}

    TreeNode Make(const wchar_t* rootName) {
        TreeNode root = Element(rootName);
        AddChildren(root, 0);
        return root;
    }

  private:
    void AddChildren(TreeNode& node, int depth) {
        const std::size_t count = depth >= 3 ? 0 : rng_() % 6;
        for (std::size_t i = 0; i < count; ++i) {
            TreeNode child = rng_() % 10 == 0 ? Comment(L"c") : Element(Pick(kNames));
            if (rng_() % 3 == 0) {
                child.name = ToLowerAscii(child.name);
            }
            if (child.name != L"#comment") {
                if (rng_() % 3 == 0) {
                    child.children.push_back(TextNode(Pick(kTexts)));
                } else {
                    AddChildren(child, depth + 1);
                }
            }
            if (rng_() % 80 == 0) {
                (rng_() % 2 ? child.failText : child.failName) = true;
            }
            node.children.push_back(std::move(child));
        }
    }

    template <std::size_t N>
    std::wstring Pick(const wchar_t* const (&pool)[N]) {
        return pool[rng_() % N];
    }

    static constexpr const wchar_t* kNames[] = {
        L"SystemSet", L"UpgradeType", L"Keldra",  L"Tallix",    L"KeldraSetup", L"Name",
        L"Version",   L"InstallFile", L"Enforce", L"Depend",    L"U",           L"F",
        L"CF",        L"D",           L"P",       L"hijactname"};
    static constexpr const wchar_t* kTexts[] = {L"",   L"0",        L"false",          L"TRUE",
                                                L"2x", L"/a/b.exe", L"HTTP://x/Y.exe", L"b.exe"};

    std::mt19937 rng_;
};

TEST(ReaderFuzz, UpgradeEntriesFollowTheRootChildren) {
    for (unsigned seed = 1; seed <= 300; ++seed) {
        const TreeNode root = TreeMaker(seed).Make(L"UpdateList");
        UpgradeReaderState state;
        state.downloadBase = L"http://dl.test";
        UpdateList list;
        const bool complete = ReadUpgradeManifest(
            TreeView(root), seed % 2 ? ManifestVariant::kClassic : ManifestVariant::kVersion6,
            L"dayloom", state, list);
        std::vector<std::wstring> entryTags;
        for (const TreeNode& child : root.children) {
            if (child.name != L"SystemSet") {
                entryTags.push_back(ToLowerAscii(child.name));
            }
        }
        ASSERT_LE(list.size(), entryTags.size());
        EXPECT_TRUE(!complete || list.size() == entryTags.size()) << seed;
        for (std::size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list[i]->tag, entryTags[i]);
            EXPECT_EQ(list[i]->fileName.find(L'/'), std::wstring::npos);
        }
        EXPECT_TRUE(state.setupKind == 0 || state.setupKind == 1);
    }
}

}  // namespace
