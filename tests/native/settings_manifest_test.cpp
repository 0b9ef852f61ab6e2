#include "manifest/settings_manifest.h"

#include <gtest/gtest.h>

#include "tests/native/manifest_tree.h"

namespace {

using namespace manifest_tree;

using Names = std::vector<std::wstring>;

UpdaterSettings Defaults() {
    UpdaterSettings s;
    s.downloadAddress = L"127.0.0.1";
    return s;
}

UpdaterSettings Read(const std::vector<TreeNode>& children, UpdaterSettings s = Defaults()) {
    const TreeNode root = Element(L"TallixSet", children);
    EXPECT_TRUE(ReadSettingsManifest(TreeView(root), s));
    return s;
}

TEST(SettingsManifest, NoElementsLeaveEveryValueAsItWas) {
    UpdaterSettings before = Defaults();
    before.version6Switch = true;
    before.announcement = L"earlier";
    before.hijackNames = {L"x"};
    const UpdaterSettings after = Read({Comment(L"nothing"), Leaf(L"other", L"1")}, before);
    EXPECT_EQ(after.downloadAddress, L"127.0.0.1");
    EXPECT_TRUE(after.version6Switch);
    EXPECT_EQ(after.announcement, L"earlier");
    EXPECT_EQ(after.hijackNames, Names{L"x"});
}

TEST(SettingsManifest, Version6SwitchOnlyForExactlyOne) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"1", true},   {L"0", false},  {L"true", false}, {L"10", false},
        {L"01", false}, {L" 1", false}, {L"1 ", false},   {L"", false},
    };
    for (const auto& [text, expected] : cases) {
        UpdaterSettings before = Defaults();
        before.version6Switch = !expected;
        EXPECT_EQ(Read({Leaf(L"upkeldra6", text)}, before).version6Switch, expected)
            << "text [" << ::testing::PrintToString(std::wstring(text)) << "]";
    }
}

TEST(SettingsManifest, ElementNamesIgnoreCaseAndLaterElementsWin) {
    const UpdaterSettings s =
        Read({Leaf(L"DOWNIP", L"10.0.0.1"), Leaf(L"UpKeldra6", L"1"), Leaf(L"History", L"first"),
              Leaf(L"downIp", L"10.0.0.2"), Leaf(L"HISTORY", L"second")});
    EXPECT_EQ(s.downloadAddress, L"10.0.0.2");
    EXPECT_TRUE(s.version6Switch);
    EXPECT_EQ(s.announcement, L"second");
}

TEST(SettingsManifest, EmptyElementsHaveTheirOwnMeaning) {
    const UpdaterSettings s = Read({Leaf(L"downip", L""), Leaf(L"history", L"")});
    EXPECT_EQ(s.downloadAddress, L"");
    EXPECT_EQ(s.announcement, kBuiltInAnnouncement);
    EXPECT_EQ(s.announcement.substr(0, 4), L"全新一代");
    EXPECT_EQ(s.announcement.size(), 108u);
    EXPECT_EQ(s.announcement.substr(98), L"绿色、强悍更胜从前。");
    EXPECT_EQ(Read({}).announcement, L"");
}

TEST(SettingsManifest, EuppChildrenChangeNothing) {
    const UpdaterSettings s =
        Read({Element(L"EUPP", {Leaf(L"mp", L"1"), Leaf(L"se", L"2"), Leaf(L"downip", L"9.9.9.9"),
                                Leaf(L"history", L"x")})});
    EXPECT_EQ(s.downloadAddress, L"127.0.0.1");
    EXPECT_EQ(s.announcement, L"");
}

TEST(HijackNames, BarSplitting) {
    struct Case {
        const wchar_t* text;
        Names names;
    };
    const Case cases[] = {
        {L"|a|b|", {L"a", L"b"}},
        {L"a|b", {L"a", L"b"}},
        {L"single", {L"single"}},
        {L"||a||", {L"a"}},
        {L"a||b", {L"a", L"|b"}},  // a bar right after a bar does not cut
        {L"", {}},
        {L"|||", {}},
        {L" a | b ", {L" a ", L" b "}},
    };
    for (const Case& c : cases) {
        Names names;
        AppendHijackNames(c.text, names);
        EXPECT_EQ(names, c.names) << ::testing::PrintToString(std::wstring(c.text));
    }
}

TEST(HijackNames, ListOnlyGrowsAcrossElementsAndReads) {
    const std::vector<TreeNode> children = {Leaf(L"hijactname", L"|a|b|"),
                                            Leaf(L"HijactName", L"c")};
    UpdaterSettings s = Read(children);
    EXPECT_EQ(s.hijackNames, (Names{L"a", L"b", L"c"}));
    s = Read(children, s);
    EXPECT_EQ(s.hijackNames, (Names{L"a", L"b", L"c", L"a", L"b", L"c"}));
}

TEST(SettingsManifest, ComponentFailureEndsTheWalkKeepingEarlierValues) {
    TreeNode broken = Leaf(L"history", L"x");
    broken.failText = true;
    TreeNode eupp = Element(L"EUPP", {Leaf(L"mp", L"1")});
    eupp.children[0].failText = true;
    TreeNode unnamed = Leaf(L"downip", L"1.1.1.1");
    unnamed.failName = true;
    for (const TreeNode& bad : {broken, eupp, unnamed}) {
        const TreeNode root =
            Element(L"TallixSet", {Leaf(L"downip", L"10.0.0.1"), bad, Leaf(L"upkeldra6", L"1")});
        UpdaterSettings s = Defaults();
        EXPECT_FALSE(ReadSettingsManifest(TreeView(root), s));
        EXPECT_EQ(s.downloadAddress, L"10.0.0.1");
        EXPECT_FALSE(s.version6Switch);
    }
    TreeNode root = Element(L"TallixSet", {Leaf(L"downip", L"10.0.0.1")});
    root.failCount = true;
    UpdaterSettings s = Defaults();
    EXPECT_FALSE(ReadSettingsManifest(TreeView(root), s));
    EXPECT_EQ(s.downloadAddress, L"127.0.0.1");
}

}  // namespace
