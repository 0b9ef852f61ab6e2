#include "manifest/update_list.h"

#include <gtest/gtest.h>

#include "tests/native/manifest_tree.h"

namespace {

using namespace manifest_tree;

constexpr ManifestVariant kClassic = ManifestVariant::kClassic;
constexpr ManifestVariant kVersion6 = ManifestVariant::kVersion6;
const wchar_t kBase[] = L"http://dl.test";

struct Reading {
    bool complete = false;
    UpgradeReaderState state;
    UpdateList list;
};

Reading Read(const std::vector<TreeNode>& children, ManifestVariant variant = kClassic,
             const std::wstring& target = L"") {
    Reading r;
    r.state.downloadBase = kBase;
    r.state.setupKind = 7;  // the caller's value, kept unless UpgradeType is met
    r.complete = ReadUpgradeManifest(TreeView(Element(L"UpdateList", children)), variant, target,
                                     r.state, r.list);
    return r;
}

// The one entry of a manifest that holds only `fields` below an entry named `tag`.
UpdateItem Entry(const std::wstring& tag, const std::vector<TreeNode>& fields,
                 ManifestVariant variant = kClassic) {
    Reading r = Read({Element(tag, fields)}, variant);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.list.size(), 1u);
    return r.list.empty() ? UpdateItem() : *r.list[0];
}

TEST(InstallFile, UrlAndFileName) {
    struct Case {
        const wchar_t* tag;
        const wchar_t* text;
        const wchar_t* url;
        const wchar_t* fileName;
    };
    const Case cases[] = {
        {L"keldra", L"/keldra/keldra_6.exe", L"http://dl.test/keldra/keldra_6.exe",
         L"keldra_6.exe"},
        {L"tallix", L"tallix_new.exe", L"http://dl.testtallix_new.exe", L"tallix.exe"},
        {L"Tallix", L"/tallix_new.exe", L"http://dl.test/tallix_new.exe", L"tallix.exe"},
        {L"keldra", L"HTTP://Other.Test/Pkg/K.exe", L"HTTP://Other.Test/Pkg/K.exe", L"K.exe"},
        {L"keldra", L"hTtPs://o.test/a.exe", L"hTtPs://o.test/a.exe", L"a.exe"},
        {L"keldra", L"htt", L"http://dl.testhtt", L"keldra.exe"},
        {L"keldra", L"/dir/", L"http://dl.test/dir/", L""},
        {L"keldra", L"", L"http://dl.test", L"keldra.exe"},
    };
    for (const Case& c : cases) {
        const UpdateItem item = Entry(c.tag, {Leaf(L"installfile", c.text)});
        EXPECT_EQ(item.downloadUrl, c.url) << ::testing::PrintToString(std::wstring(c.text));
        EXPECT_EQ(item.fileName, c.fileName) << ::testing::PrintToString(std::wstring(c.text));
    }
}

TEST(InstallFile, MainSetupUrlFromTheKeldraSetupEntry) {
    Reading r = Read({Element(L"keldra", {Leaf(L"installfile", L"/k.exe")}),
                      Element(L"KeldraSetup", {Leaf(L"InstallFile", L"/s/setup.exe")})});
    EXPECT_EQ(r.state.mainSetupUrl, L"http://dl.test/s/setup.exe");
    EXPECT_EQ(r.list[1]->tag, L"keldrasetup");
    EXPECT_EQ(r.list[1]->fileName, L"setup.exe");
}

TEST(EntryFlags, TextRules) {
    struct Case {
        const wchar_t* text;
        bool unlessFalse;  // copy file, enforce, run direct
        bool onlyTrue;     // unattended
    };
    const Case cases[] = {
        {L"false", false, false}, {L"False", false, false}, {L"FALSE", false, false},
        {L"true", true, true},    {L"TRUE", true, true},    {L"0", true, false},
        {L"no", true, false},     {L"", true, false},       {L" false", true, false},
    };
    for (const Case& c : cases) {
        for (ManifestVariant v : {kClassic, kVersion6}) {
            const bool classic = v == kClassic;
            const UpdateItem item =
                Entry(L"keldra",
                      {Leaf(classic ? L"copyfile" : L"cf", c.text),
                       Leaf(classic ? L"enforce" : L"ef", c.text),
                       Leaf(classic ? L"rundirect" : L"rd", c.text), Leaf(L"u", c.text)},
                      v);
            const std::string label = ::testing::PrintToString(std::wstring(c.text));
            EXPECT_EQ(item.copyFile, c.unlessFalse) << label;
            EXPECT_EQ(item.enforce, c.unlessFalse) << label;
            EXPECT_EQ(item.runDirect, c.unlessFalse) << label;
            EXPECT_EQ(item.unattended, c.onlyTrue) << label;
        }
    }
}

TEST(EntryFields, DefaultsWhenAbsent) {
    const UpdateItem item = Entry(L"keldra", {});
    EXPECT_TRUE(item.copyFile);
    EXPECT_FALSE(item.enforce || item.runDirect || item.unattended || item.updateNeeded);
    EXPECT_TRUE(item.packageOk);
    EXPECT_EQ(item.placementKind, 0);
    EXPECT_EQ(item.version + item.downloadUrl + item.fileName + item.name, L"");
}

TEST(EntryFields, EachVocabularyIgnoresTheOther) {
    const std::vector<TreeNode> fields = {
        Leaf(L"Name", L"long"),
        Leaf(L"VERSION", L"1.0.0.0"),
        Leaf(L"ClassName", L"LongClass"),
        Leaf(L"Depend", L"ld"),
        Leaf(L"n", L"short"),
        Leaf(L"V", L"6.0.0.1"),
        Leaf(L"CN", L"Short"),
        Leaf(L"d", L"sd"),
        Leaf(L"p", L"1"),
        Leaf(L"EnForce", L"1"),
        Leaf(L"ef", L"false"),
        Leaf(L"InstallFile", L"/l/l.exe"),
        Leaf(L"F", L"/s/s.exe"),
    };
    const UpdateItem classic = Entry(L"dayloom", fields, kClassic);
    EXPECT_EQ(classic.name, L"long");
    EXPECT_EQ(classic.version, L"1.0.0.0");
    EXPECT_EQ(classic.className, L"LongClass");
    EXPECT_EQ(classic.depend, L"ld");
    EXPECT_EQ(classic.placementKind, 0);
    EXPECT_TRUE(classic.enforce);
    EXPECT_EQ(classic.fileName, L"l.exe");

    const UpdateItem v6 = Entry(L"dayloom", fields, kVersion6);
    EXPECT_EQ(v6.name, L"short");
    EXPECT_EQ(v6.version, L"6.0.0.1");
    EXPECT_EQ(v6.className, L"Short");
    EXPECT_EQ(v6.depend, L"sd");
    EXPECT_EQ(v6.placementKind, 1);
    EXPECT_FALSE(v6.enforce);
    EXPECT_EQ(v6.fileName, L"s.exe");
}

TEST(EntryFields, PlacementKindIsTheLeadingInteger) {
    const std::pair<const wchar_t*, int> cases[] = {{L"1", 1}, {L"2x", 2}, {L"x2", 0},
                                                    {L"", 0},  {L" 3", 3}, {L"-1", -1}};
    for (const auto& [text, kind] : cases) {
        EXPECT_EQ(Entry(L"plugin", {Leaf(L"P", text)}, kVersion6).placementKind, kind);
    }
}

TEST(EntryFields, LaterElementOverwritesAndTextIsConcatenated) {
    const UpdateItem item =
        Entry(L"keldra", {Leaf(L"version", L"1.0.0.0"), Leaf(L"enforce", L"true"),
                          Element(L"version", {TextNode(L"2.0."), Comment(L"c"), TextNode(L"0.1")}),
                          Leaf(L"enforce", L"false")});
    EXPECT_EQ(item.version, L"2.0.0.1");
    EXPECT_FALSE(item.enforce);
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
    EXPECT_EQ(r.list[0]->tag, L"keldra");
    EXPECT_EQ(r.list[0]->version, L"6.1.0.0");
    EXPECT_EQ(r.list[1]->tag, L"#comment");
    EXPECT_EQ(r.list[1]->name + r.list[1]->version + r.list[1]->downloadUrl, L"");
    EXPECT_EQ(r.list[2]->tag, L"systemset");
    EXPECT_EQ(r.list[3]->tag, L"tallix");
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
    EXPECT_EQ(Read(entries, kClassic, L"").list[0]->depend, L"pinnace");
}

TEST(UpgradeManifest, ComponentFailureKeepsEarlierEntriesAndDropsTheCurrentOne) {
    TreeNode badField = Leaf(L"version", L"2");
    badField.failText = true;
    TreeNode badChildren = Element(L"dayloom");
    badChildren.failChild = true;
    badChildren.children.push_back(Leaf(L"version", L"1"));
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
}

TEST(UpgradeManifest, ReadsAppendToWhatTheListHolds) {
    Reading r = Read({Element(L"keldra")});
    UpgradeReaderState state = r.state;
    EXPECT_TRUE(ReadUpgradeManifest(TreeView(Element(L"UpdateList", {Element(L"tallix")})),
                                    kVersion6, L"", state, r.list));
    ASSERT_EQ(r.list.size(), 2u);
    EXPECT_EQ(r.list[1]->tag, L"tallix");
}

}  // namespace
