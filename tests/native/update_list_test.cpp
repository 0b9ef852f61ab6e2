#include "manifest/update_list.h"

#include <gtest/gtest.h>

#include "tests/native/manifest_tree.h"

namespace {

using namespace manifest_tree;

constexpr ManifestVariant kClassic = ManifestVariant::kClassic;
constexpr ManifestVariant kVersion6 = ManifestVariant::kVersion6;

struct Reading {
    bool complete = false;
    UpgradeReaderState state;
    UpdateList list;
};

Reading Read(const std::vector<TreeNode>& children, ManifestVariant variant = kClassic,
             const std::wstring& target = L"") {
    Reading r;
    r.state.downloadBase = L"http://dl.test";
    r.state.setupKind = 7;  // the caller's value, kept unless UpgradeType is met
    r.complete = ReadUpgradeManifest(TreeView(Element(L"UpdateList", children)), variant, target,
                                     r.state, r.list);
    return r;
}

// Every field of an entry: "tag|name|version|url|file name|class|depend|flags", the flags being
// c (copy file), e (enforce), r (run direct), u (unattended), the placement kind and a "!" for
// an entry already marked (never by the reader).
std::wstring Describe(const UpdateItem& i) {
    return i.tag + L"|" + i.name + L"|" + i.version + L"|" + i.downloadUrl + L"|" + i.fileName +
           L"|" + i.className + L"|" + i.depend + L"|" + (i.copyFile ? L"c" : L"") +
           (i.enforce ? L"e" : L"") + (i.runDirect ? L"r" : L"") + (i.unattended ? L"u" : L"") +
           std::to_wstring(i.placementKind) + (i.updateNeeded || !i.packageOk ? L"!" : L"");
}

// The one entry of a manifest that holds only `fields` below an entry named `tag`.
std::wstring Entry(const std::wstring& tag, const std::vector<TreeNode>& fields,
                   ManifestVariant variant = kClassic) {
    Reading r = Read({Element(tag, fields)}, variant);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.list.size(), 1u);
    return r.list.empty() ? L"" : Describe(*r.list[0]);
}

TEST(InstallFile, UrlAndFileName) {
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> cases[] = {
        {L"keldra", L"/keldra/keldra_6.exe", L"http://dl.test/keldra/keldra_6.exe|keldra_6.exe"},
        {L"tallix", L"tallix_new.exe", L"http://dl.testtallix_new.exe|tallix.exe"},
        {L"Tallix", L"/tallix_new.exe", L"http://dl.test/tallix_new.exe|tallix.exe"},
        {L"keldra", L"HTTP://Other.Test/Pkg/K.exe", L"HTTP://Other.Test/Pkg/K.exe|K.exe"},
        {L"keldra", L"hTtPs://o.test/a.exe", L"hTtPs://o.test/a.exe|a.exe"},
        {L"keldra", L"htt", L"http://dl.testhtt|keldra.exe"},
        {L"keldra", L"/dir/", L"http://dl.test/dir/|"}};
    for (const auto& [tag, text, urlAndFile] : cases) {
        const std::wstring lower = tag == std::wstring(L"Tallix") ? L"tallix" : tag;
        EXPECT_EQ(Entry(tag, {Leaf(L"installfile", text)}), lower + L"|||" + urlAndFile + L"|||c0");
    }
    Reading r = Read({Element(L"keldra", {Leaf(L"installfile", L"/k.exe")}),
                      Element(L"KeldraSetup", {Leaf(L"InstallFile", L"/s/setup.exe")})});
    EXPECT_EQ(r.state.mainSetupUrl, L"http://dl.test/s/setup.exe");
}

TEST(EntryFlags, TextRules) {
    // copy file, enforce and run direct are true unless "false"; unattended only for "true".
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"false", L""}, {L"FALSE", L""}, {L"TRUE", L"ceru"}, {L"true", L"ceru"},
        {L"0", L"cer"},  {L"no", L"cer"}, {L"", L"cer"},      {L" false", L"cer"}};
    for (const auto& [text, flags] : cases) {
        for (ManifestVariant v : {kClassic, kVersion6}) {
            const bool classic = v == kClassic;
            const std::vector<TreeNode> fields = {
                Leaf(classic ? L"copyfile" : L"CF", text), Leaf(classic ? L"Enforce" : L"ef", text),
                Leaf(classic ? L"rundirect" : L"rd", text), Leaf(L"U", text)};
            EXPECT_EQ(Entry(L"k", fields, v), std::wstring(L"k|||||||") + flags + L"0")
                << ::testing::PrintToString(std::wstring(text));
        }
    }
}

TEST(EntryFields, EachVocabularyIgnoresTheOther) {
    const std::vector<TreeNode> fields = {
        Leaf(L"Name", L"long"),     Leaf(L"VERSION", L"1.0.0.0"),
        Leaf(L"ClassName", L"LC"),  Leaf(L"Depend", L"ld"),
        Leaf(L"n", L"short"),       Leaf(L"V", L"6.0.0.1"),
        Leaf(L"CN", L"SC"),         Leaf(L"d", L"sd"),
        Leaf(L"p", L"1"),           Leaf(L"EnForce", L"1"),
        Leaf(L"ef", L"false"),      Leaf(L"copyfile", L"false"),
        Leaf(L"RunDirect", L"yes"), Leaf(L"InstallFile", L"/l/l.exe"),
        Leaf(L"F", L"/s/s.exe"),
    };
    EXPECT_EQ(Entry(L"dayloom", fields, kClassic),
              L"dayloom|long|1.0.0.0|http://dl.test/l/l.exe|l.exe|LC|ld|er0");
    EXPECT_EQ(Entry(L"dayloom", fields, kVersion6),
              L"dayloom|short|6.0.0.1|http://dl.test/s/s.exe|s.exe|SC|sd|c1");
    EXPECT_EQ(Entry(L"keldra", {}), L"keldra|||||||c0");
}

TEST(EntryFields, PlacementKindIsTheLeadingInteger) {
    const std::pair<const wchar_t*, int> cases[] = {{L"1", 1}, {L"2x", 2}, {L"x2", 0},
                                                    {L"", 0},  {L" 3", 3}, {L"-1", -1}};
    for (const auto& [text, kind] : cases) {
        EXPECT_EQ(Entry(L"p", {Leaf(L"P", text)}, kVersion6), L"p|||||||c" + std::to_wstring(kind));
    }
}

TEST(EntryFields, LaterElementOverwritesAndTextIsConcatenated) {
    EXPECT_EQ(
        Entry(L"keldra", {Leaf(L"version", L"1.0.0.0"), Leaf(L"enforce", L"true"),
                          Element(L"version", {TextNode(L"2.0."), Comment(L"c"), TextNode(L"0.1")}),
                          Leaf(L"enforce", L"false")}),
        L"keldra||2.0.0.1|||||c0");
}

TEST(UpgradeManifest, SystemSetAndEntriesInOrder) {
    Reading r =
        Read({Element(L"SystemSet", {Leaf(L"upgradetype", L"0"), Leaf(L"HistoryHelvor", L"h")}),
              Element(L"Keldra", {Leaf(L"version", L"6.1.0.0")}), Comment(L" note "),
              Element(L"systemset", {Leaf(L"UpgradeType", L"1")}),
              Element(L"TALLIX", {Leaf(L"version", L"3.2.0.18")})});
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.state.setupKind, 0);
    ASSERT_EQ(r.list.size(), 4u);
    EXPECT_EQ(Describe(*r.list[0]), L"keldra||6.1.0.0|||||c0");
    EXPECT_EQ(Describe(*r.list[1]), L"#comment|||||||c0");
    EXPECT_EQ(Describe(*r.list[2]), L"systemset|||||||c0");
    EXPECT_EQ(Describe(*r.list[3]), L"tallix||3.2.0.18|||||c0");
    EXPECT_EQ(r.state.latestUpdaterVersion, L"3.2.0.18");
}

TEST(UpgradeManifest, UpgradeTypeIsExactlyZeroOrOne) {
    const std::pair<const wchar_t*, int> cases[] = {{L"0", 0},  {L"1", 1},  {L"", 1},
                                                    {L"00", 1}, {L" 0", 1}, {L"2", 1}};
    for (const auto& [text, kind] : cases) {
        EXPECT_EQ(Read({Element(L"SystemSet", {Leaf(L"UpgradeType", text)})}).state.setupKind,
                  kind);
    }
    EXPECT_EQ(Read({Element(L"SystemSet", {Leaf(L"HistoryPinnace", L"0")})}).state.setupKind, 7);
}

TEST(UpgradeManifest, TargetDependencyFromTheTargetEntry) {
    const std::vector<TreeNode> entries = {Element(L"keldra", {Leaf(L"depend", L"pinnace")}),
                                           Element(L"Dayloom", {Leaf(L"depend", L"keldra")})};
    EXPECT_EQ(Read(entries, kClassic, L"DAYLOOM").state.targetDependency, L"keldra");
    EXPECT_EQ(Read(entries, kClassic, L"keldra").state.targetDependency, L"pinnace");
    EXPECT_EQ(Read(entries, kClassic, L"").state.targetDependency, L"");
}

TEST(UpgradeManifest, ComponentFailureKeepsEarlierEntriesAndDropsTheCurrentOne) {
    TreeNode badField = Leaf(L"version", L"2");
    badField.failText = true;
    TreeNode badChildren = Element(L"dayloom", {Leaf(L"version", L"1")});
    badChildren.failChild = true;
    TreeNode badName = Element(L"dayloom");
    badName.failName = true;
    for (const TreeNode& bad :
         {Element(L"dayloom", {Leaf(L"name", L"n"), badField}), badChildren, badName}) {
        Reading r = Read({Element(L"keldra", {Leaf(L"version", L"1.0.0.0")}), bad,
                          Element(L"tallix", {Leaf(L"version", L"9")})});
        EXPECT_FALSE(r.complete);
        ASSERT_EQ(r.list.size(), 1u);
        EXPECT_EQ(r.list[0]->tag, L"keldra");
        EXPECT_EQ(r.state.latestUpdaterVersion, L"");
    }
    // A later read appends to what the list holds.
    Reading r = Read({Element(L"keldra")});
    EXPECT_TRUE(ReadUpgradeManifest(TreeView(Element(L"UpdateList", {Element(L"tallix")})),
                                    kVersion6, L"", r.state, r.list));
    ASSERT_EQ(r.list.size(), 2u);
    EXPECT_EQ(r.list[1]->tag, L"tallix");
}

}  // namespace
