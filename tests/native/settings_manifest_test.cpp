#include "manifest/settings_manifest.h"

#include <gtest/gtest.h>

#include "tests/native/manifest_tree.h"

namespace {

using namespace manifest_tree;

// "download address|version-6 switch|announcement|hijack names, each followed by a comma".
std::wstring Describe(const UpdaterSettings& s) {
    std::wstring names;
    for (const std::wstring& name : s.hijackNames) {
        names += name + L",";
    }
    return s.downloadAddress + L"|" + (s.version6Switch ? L"1" : L"0") + L"|" + s.announcement +
           L"|" + names;
}

// Reads a manifest with `children` over settings that start as "127.0.0.1|0|earlier|x,".
std::wstring Read(const std::vector<TreeNode>& children, bool switchBefore = false) {
    UpdaterSettings s;
    s.downloadAddress = L"127.0.0.1";
    s.version6Switch = switchBefore;
    s.announcement = L"earlier";
    s.hijackNames = {L"x"};
    EXPECT_TRUE(ReadSettingsManifest(TreeView(Element(L"TallixSet", children)), s));
    return Describe(s);
}

TEST(SettingsManifest, ElementsAndTheirTexts) {
    const std::pair<std::vector<TreeNode>, std::wstring> cases[] = {
        {{Comment(L"nothing"), Leaf(L"other", L"1"), Leaf(L"SystemSet", L"1")},
         L"127.0.0.1|0|earlier|x,"},
        // Names in any case; a later element overrides an earlier one.
        {{Leaf(L"DOWNIP", L"10.0.0.1"), Leaf(L"UpKeldra6", L"1"), Leaf(L"History", L"first"),
          Leaf(L"downIp", L"10.0.0.2"), Leaf(L"HISTORY", L"second")},
         L"10.0.0.2|1|second|x,"},
        // An empty address empties it; an empty history gives the built-in announcement.
        {{Leaf(L"downip", L""), Leaf(L"history", L"")},
         std::wstring(L"|0|") + kBuiltInAnnouncement + L"|x,"},
        {{Element(L"EUPP", {Leaf(L"mp", L"1"), Leaf(L"se", L"2"), Leaf(L"downip", L"9.9.9.9"),
                            Leaf(L"history", L"h")})},
         L"127.0.0.1|0|earlier|x,"},
        // The hijack list only grows.
        {{Leaf(L"hijactname", L"|a|b|"), Leaf(L"HijactName", L"c")},
         L"127.0.0.1|0|earlier|x,a,b,c,"}};
    for (const auto& [children, settings] : cases) {
        EXPECT_EQ(Read(children), settings);
    }
    EXPECT_EQ(kBuiltInAnnouncement, std::wstring(L"全新一代，OrvaneHelvor6.0正式版惊艳发布，") +
                                        L"从昔年5代产品的手动档华丽丽变身为手自一体，一键化、自"
                                        L"动化、智能化、傻瓜化解决您的问题。更轻松切换到专业模式"
                                        L"，让您感受到扑鼻而来的那份熟悉，绿色、强悍更胜从前。");
}

TEST(SettingsManifest, Version6SwitchOnlyForExactlyOne) {
    const std::pair<const wchar_t*, bool> cases[] = {
        {L"1", true},   {L"0", false},  {L"true", false}, {L"10", false},
        {L"01", false}, {L" 1", false}, {L"1 ", false},   {L"", false}};
    for (const auto& [text, on] : cases) {
        EXPECT_EQ(Read({Leaf(L"upkeldra6", text)}, !on)[10], on ? L'1' : L'0')
            << ::testing::PrintToString(std::wstring(text));
    }
}

TEST(HijackNames, BarSplitting) {
    const std::pair<const wchar_t*, std::vector<std::wstring>> cases[] = {
        {L"|a|b|", {L"a", L"b"}},
        {L"a|b", {L"a", L"b"}},
        {L"single", {L"single"}},
        {L"||a||", {L"a"}},
        {L"a||b", {L"a", L"|b"}},  // a bar right after a bar does not cut
        {L"", {}},
        {L"|||", {}},
        {L" a | b ", {L" a ", L" b "}}};
    for (const auto& [text, expected] : cases) {
        std::vector<std::wstring> names;
        AppendHijackNames(text, names);
        EXPECT_EQ(names, expected) << ::testing::PrintToString(std::wstring(text));
    }
}

TEST(SettingsManifest, ComponentFailureEndsTheWalkKeepingEarlierValues) {
    TreeNode broken = Leaf(L"history", L"x");
    broken.failText = true;
    TreeNode eupp = Element(L"EUPP", {Leaf(L"mp", L"1")});
    eupp.children[0].failText = true;
    TreeNode unnamed = Leaf(L"downip", L"1.1.1.1");
    unnamed.failName = true;
    TreeNode uncounted = Element(L"TallixSet", {Leaf(L"downip", L"10.0.0.1")});
    uncounted.failCount = true;
    for (const TreeNode& bad : {broken, eupp, unnamed}) {
        UpdaterSettings s;
        EXPECT_FALSE(ReadSettingsManifest(
            TreeView(Element(L"TallixSet",
                             {Leaf(L"downip", L"10.0.0.1"), bad, Leaf(L"upkeldra6", L"1")})),
            s));
        EXPECT_EQ(Describe(s), L"10.0.0.1|0||");
    }
    UpdaterSettings s;
    EXPECT_FALSE(ReadSettingsManifest(TreeView(uncounted), s));
    EXPECT_EQ(Describe(s), L"|0||");
}

}  // namespace
