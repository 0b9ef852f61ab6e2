#include "manifest/history.h"

#include <gtest/gtest.h>

#include "tests/native/manifest_tree.h"

namespace {

using namespace manifest_tree;

HistoryRecord Record(std::wstring tag, std::wstring notes, bool needed = true, bool enforce = false,
                     int placement = 0) {
    HistoryRecord r;
    r.tag = tag;
    r.name = L"N-" + tag;
    r.version = L"1.0";
    r.notes = std::move(notes);
    r.updateNeeded = needed;
    r.enforce = enforce;
    r.placementKind = placement;
    return r;
}

TEST(HistoryPage, RecordsFromTheManifest) {
    const TreeNode root = Element(
        L"UpdateList",
        {Element(L"dayloom", {Leaf(L"h", L"old"), Leaf(L"other", L"x"), Leaf(L"H", L"|a|b|")}),
         Element(L"pinnace"), Element(L"wardel", {Leaf(L"h", L"w")})});
    std::vector<HistoryRecord> records;
    EXPECT_TRUE(ReadHistoryRecords(TreeView(root), records));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].tag, L"dayloom");
    EXPECT_EQ(records[0].notes, L"|a|b|");  // the last "h" counts, its name ignores case
    EXPECT_EQ(records[1].notes, L"");

    TreeNode broken = root;
    broken.children[1].failCount = true;
    records.clear();
    EXPECT_FALSE(ReadHistoryRecords(TreeView(broken), records));
    EXPECT_EQ(records.size(), 1u);  // what came before the failure stays
}

TEST(HistoryPage, RecordsTakeTheFieldsOfTheirItems) {
    UpdateList items;
    items.push_back(std::make_unique<UpdateItem>());
    items.back()->tag = L"dayloom";
    items.back()->name = L"Dayloom";
    items.back()->version = L"2.0";
    items.back()->placementKind = 1;
    items.back()->updateNeeded = true;
    items.back()->enforce = true;
    std::vector<HistoryRecord> records = {Record(L"DayLoom", L""), Record(L"other", L"", false)};
    records[0].updateNeeded = false;
    CopyItemFields(items, records);
    const auto describe = [](const HistoryRecord& r) {
        return r.name + L"|" + r.version + L"|" + std::to_wstring(r.placementKind) +
               (r.updateNeeded ? L"*" : L"") + (r.enforce ? L"!" : L"");
    };
    EXPECT_EQ(describe(records[0]), L"Dayloom|2.0|1*!");
    EXPECT_EQ(describe(records[1]), L"N-other|1.0|0");  // no item: unchanged
}

const wchar_t kAnnouncement[] =
    L"<strong>OrvaneHelvor 6.0正式版</strong>\n\r<p>\n\r<span>●</span>News<br />";

std::wstring Section(const std::wstring& tag, const std::wstring& lines) {
    return L"<strong>N-" + tag + L" 1.0</strong>\n\r<p>\n\r" + lines + L"</p>\n\r";
}

TEST(HistoryPage, PageText) {
    const std::vector<HistoryRecord> records = {
        Record(L"dayloom", L"|a|b|"),
        Record(L"pinnace", L"p"),
        Record(L"weather", L"w", true, false, 1),
        Record(L"fennick", L"f", false),      // needs no update
        Record(L"wardel", L"g", true, true),  // enforced
        Record(L"marlow", L"m1||m2"),
    };
    const std::wstring ab = L"<span>●</span>a<br /><span>●</span>b<br />";
    struct Case {
        const char* name;
        HistoryPageInputs in;
        std::wstring text;
    };
    const Case cases[] = {
        {"main product line", {true, true, true, L"keldra", L"", L"News"}, kAnnouncement},
        {"nothing for the target", {false, false, false, L"dayloom", L"", L"News"}, kAnnouncement},
        {"targeted calendar run",
         {false, true, false, L"DAYLOOM", L",pinnace,wardel,fennick", L"News"},
         Section(L"dayloom", ab) + Section(L"pinnace", L"<span>●</span>p<br />") +
             Section(L"weather", L"<span>●</span>w<br />")},
        {"targeted run of another product",
         {false, true, false, L"marlow", L"", L""},
         Section(L"marlow", L"<span>●</span>m1<br /><span>●</span><br /><span>●</span>m2<br />")},
        {"suite run",
         {false, false, true, L"keldra6", L"", L"News"},
         Section(L"dayloom", ab) + Section(L"pinnace", L"<span>●</span>p<br />") +
             Section(L"weather", L"<span>●</span>w<br />") +
             Section(L"marlow",
                     L"<span>●</span>m1<br /><span>●</span><br /><span>●</span>m2<br />")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HistoryPageText(records, c.in), c.text) << c.name;
    }
    EXPECT_EQ(HistoryPageText({Record(L"x", L"|||")}, {false, false, true, L"", L"", L""}),
              Section(L"x", L""));
}

TEST(HistoryPage, TemplateAndFileText) {
    EXPECT_EQ(
        InsertPageText(L"<a><div class=\"content\"><br /></div><div class=\"content\">", L"T"),
        L"<a><div class=\"content\">T<br /></div><div class=\"content\">");
    EXPECT_EQ(InsertPageText(L"<a>", L"T"), L"<a>T");
    EXPECT_EQ(ReadTemplateText("\xEF\xBB\xBFx\r\ny\xE2\x97\x8F\r\n"), L"x\ny●\n");
    EXPECT_EQ(ReadTemplateText("x\r\r\n"), L"x\r\n");
    // Written in the runtime's Unicode text mode: the mark, and each LF after a CR.
    EXPECT_EQ(EncodePageFile(L"a\n\r●"), std::string("\xFF\xFE"
                                                     "a\0\r\0\n\0\r\0\xCF\x25",
                                                     12));
}

}  // namespace

namespace {

TEST(HistoryPage, ShowPageBlock) {
    const std::vector<std::uint8_t> block = EncodeShowPageBlock(0x01020304, L"C:\\T\\历.html");
    ASSERT_EQ(block.size(), 4116u);
    EXPECT_EQ(block[0], 4);
    EXPECT_EQ(block[3], 1);
    EXPECT_EQ(block[4], 'C');
    EXPECT_EQ(block[14], 0x86);  // U+5386, little-endian
    EXPECT_EQ(block[15], 0x53);
    EXPECT_EQ(DecodeShowPageBlock(block.data()), L"C:\\T\\历.html");
    const std::wstring longPath(3000, L'p');
    const std::vector<std::uint8_t> cut = EncodeShowPageBlock(0, longPath);
    EXPECT_EQ(DecodeShowPageBlock(cut.data()), std::wstring(2055, L'p'));
}

}  // namespace
