#include "ui/frame_picture.h"

#include <gtest/gtest.h>

#include "ui/frame_rules.h"
#include "ui/skin_geometry.h"

namespace {

std::unique_ptr<UpdateItem> Item(std::wstring tag, bool needed, std::wstring depend = L"",
                                 int placement = 0, bool enforce = false) {
    auto item = std::make_unique<UpdateItem>();
    item->tag = std::move(tag);
    item->updateNeeded = needed;
    item->depend = std::move(depend);
    item->placementKind = placement;
    item->enforce = enforce;
    return item;
}

UpdateList List(std::vector<std::unique_ptr<UpdateItem>> items) {
    UpdateList list;
    for (auto& item : items) {
        list.push_back(std::move(item));
    }
    return list;
}

TEST(FramePicture, PendingCountOfTheProduct) {
    std::vector<std::unique_ptr<UpdateItem>> items;
    items.push_back(Item(L"dayloom", true, L",pinnace,wardel,"));
    items.push_back(Item(L"pinnace", true));
    items.push_back(Item(L"wardel", false));          // named in the depend text, up to date
    items.push_back(Item(L"weather", true, L"", 1));  // a calendar plug-in
    items.push_back(Item(L"note", true, L"", 1));     // another one, also in no depend text
    items.push_back(Item(L"fennick", true));
    const UpdateList list = List(std::move(items));
    const std::pair<const wchar_t*, int> cases[] = {
        {L"dayloom", 4},  // itself, pinnace, two plug-ins
        {L"DayLoom", 4},  // the product's tag ignores case
        {L"pinnace", 1}, {L"fennick", 1}, {L"marlow", 0},
    };
    for (const auto& [product, count] : cases) {
        EXPECT_EQ(ProductPendingCount(list, product), count) << product;
    }
    // A plug-in that is the product's dependency as well is counted twice; the depend text is
    // searched case-sensitively.
    std::vector<std::unique_ptr<UpdateItem>> twice;
    twice.push_back(Item(L"dayloom", false, L"weather,PINNACE"));
    twice.push_back(Item(L"weather", true, L"", 1));
    twice.push_back(Item(L"pinnace", true));
    EXPECT_EQ(ProductPendingCount(List(std::move(twice)), L"dayloom"), 2);
}

TEST(FramePicture, PackageCountLeavesOutEnforcedItemsAndTheSiblingUpdater) {
    std::vector<std::unique_ptr<UpdateItem>> items;
    items.push_back(Item(L"keldra", true));
    items.push_back(Item(L"pinnace", true));
    items.push_back(Item(L"wardel", true, L"", 0, true));
    items.push_back(Item(L"upgrade", true));
    items.push_back(Item(L"fennick", false));
    const UpdateList list = List(std::move(items));
    EXPECT_EQ(PackageCount(list, false), 2);
    EXPECT_EQ(PackageCount(list, true), 1);
    EXPECT_EQ(PackageCount(UpdateList(), false), 1);
}

TEST(FramePicture, OverallPercentAndFilledWidth) {
    struct Case {
        int job, downloaded, packages;
        double overall;
    };
    const Case cases[] = {
        {50, 1, 2, 75.0},   {0, 1, 3, 100.0 / 3}, {150, 0, 1, 100.0},
        {100, 2, 2, 100.0}, {40, 0, 0, 40.0},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(OverallPercent(c.job, c.downloaded, c.packages), c.overall, 1e-9)
            << c.job << " " << c.downloaded << " " << c.packages;
    }
    struct Width {
        double percent;
        int setupKind, width;
    };
    const Width widths[] = {{33.3, 0, 116}, {33.3, 1, 117}, {33.3, 2, 117}, {0, 1, 0},
                            {100, 0, 350},  {120, 1, 350},  {75, 0, 262}};
    for (const Width& w : widths) {
        EXPECT_EQ(FilledWidth(w.percent, w.setupKind, 350), w.width) << w.percent;
    }
    EXPECT_EQ(FormatPercent(75), L"75.0");
    EXPECT_EQ(FormatPercent(100.0 / 3), L"33.3");
}

FrameView Offer() {
    FrameView v;
    v.displayName = L"Dayloom";
    v.targetVersion = L"2.1.0.5";
    v.productUpdatePending = true;
    v.productInstalled = true;
    v.pendingCount = 3;
    return v;
}

FramePicture Plan(const FrameView& v) {
    return PlanFrame(v, kButtonRect, kSuiteLinkRect);
}

std::vector<std::wstring> Texts(const FramePicture& p) {
    std::vector<std::wstring> texts;
    for (const SkinText& t : p.texts) {
        texts.push_back(t.text);
    }
    return texts;
}

using Texts_ = std::vector<std::wstring>;

// The parts drawn besides the texts, and the button's top.
std::string Shape(const FramePicture& p) {
    return std::string(p.button ? "button " : "") + (p.progress ? "progress " : "") +
           (p.bar ? "bar " : "") + std::to_string(p.buttonRect.top) + "/" +
           std::to_string(p.buttonRect.Height());
}

TEST(FramePicture, StatesOfTheWindow) {
    const std::wstring title = L"更新Dayloom到 2.1.0.5（共3个更新）";
    const struct {
        const char* name;
        void (*change)(FrameView&);
        Texts_ texts;
        const char* shape;
    } cases[] = {
        {"offer", [](FrameView&) {}, {title}, "button bar 70/48"},
        {"offer with the suite link",
         [](FrameView& v) { v.productInstalled = false; },
         {title, L"升级到OrvaneHelvor"},
         "button bar 70/48"},
        {"product missing, nothing pending",
         [](FrameView& v) { v.productInstalled = v.productUpdatePending = false; },
         {L"您的 Dayloom 已经是最新版本", L"升级到OrvaneHelvor，体验更多功能"},
         "button bar 67/48"},
        {"suite caller counts packages",
         [](FrameView& v) { v.suiteCaller = v.updatesAvailable = true, v.packageCount = 2; },
         {L"更新Dayloom到 2.1.0.5（共2个更新）"},
         "button bar 70/48"},
        {"updater's own name has no title",
         [](FrameView& v) { v.displayName = L"更新程序"; },
         {},
         "button bar 70/48"},
        {"self-update",
         [](FrameView& v) { v.jobKind = 3; },
         {title, L"正在更新升级程序，请稍后..."},
         "53/48"},
        {"up to date",
         [](FrameView& v) {
             v.interactive = v.productUpdatePending = false;
             v.displayName.clear();
         },
         {L"您的 程序 已经是最新版本"},
         "53/48"},
        {"downloading",
         [](FrameView& v) {
             v.startReason = 2, v.jobPercent = 50, v.downloadedCount = 1, v.packageCount = 2;
         },
         {title, L"正在下载文件...75.0%"},
         "progress bar 53/48"},
        {"setup kind shows progress",
         [](FrameView& v) { v.setupKind = 1; },
         {title, L"正在下载文件...0.0%"},
         "progress bar 53/48"},
        {"finished", [](FrameView& v) { v.jobFinished = true; }, {title}, "bar 53/48"},
    };
    for (const auto& c : cases) {
        FrameView v = Offer();
        c.change(v);
        const FramePicture p = Plan(v);
        EXPECT_EQ(Texts(p), c.texts) << c.name;
        EXPECT_EQ(Shape(p), c.shape) << c.name;
    }
}

TEST(FramePicture, CellsFollowHoverAndTheHistoryPanel) {
    FrameView v = Offer();
    FramePicture p = Plan(v);
    EXPECT_EQ(p.close.sourceX, 0);
    EXPECT_EQ(p.button->sourceX, 0);
    EXPECT_EQ(p.bar->image, kSkinBarClosed);
    EXPECT_EQ(p.bar->sourceX, 0);
    EXPECT_EQ(p.button->at, (Point{124, 70}));
    v.closeHover = v.buttonHover = v.barHover = 1;
    v.historyExpanded = true;
    p = Plan(v);
    EXPECT_EQ(p.close.sourceX, 50);
    EXPECT_EQ(p.button->sourceX, 131);
    EXPECT_EQ(p.bar->image, kSkinBarOpen);
    EXPECT_EQ(p.bar->sourceX, 380);
    EXPECT_EQ(p.bar->at, (Point{0, 157}));
}

TEST(FramePicture, SuiteLinkMovesWithTheButton) {
    FrameView v = Offer();
    v.productInstalled = false;
    const FramePicture p = Plan(v);
    EXPECT_EQ(p.suiteLinkRect, (Rect{275, 84, 385, 104}));
    EXPECT_EQ(p.texts.back().rect, p.suiteLinkRect);
}

TEST(FramePicture, ProgressNeverGoesBack) {
    FrameView v = Offer();
    v.startReason = 2;
    v.packageCount = 2;
    v.downloadedCount = 1;
    v.jobPercent = 50;
    FramePicture p = Plan(v);
    EXPECT_DOUBLE_EQ(p.displayedPercent, 75.0);
    EXPECT_EQ(p.progress->filledWidth, 262);
    EXPECT_EQ(p.texts.back().colour, kTextColourProgress);
    EXPECT_EQ(p.texts.back().rect, (Rect{15, 92, 365, 112}));
    // A retried download starts at 0 again: the bar stays.
    v.displayedPercent = p.displayedPercent;
    v.jobPercent = 0;
    p = Plan(v);
    EXPECT_DOUBLE_EQ(p.displayedPercent, 75.0);
    EXPECT_EQ(p.texts.back().text, L"正在下载文件...75.0%");
}

TEST(SkinGeometry, TextAlphaRepair) {
    // B, G, R, A of four pixels: text drawn on the first three cleared their alpha.
    const std::uint8_t saved[] = {1, 1, 1, 254, 1, 1, 1, 221, 1, 1, 1, 0, 1, 1, 1, 100};
    std::uint8_t now[] = {51, 51, 51, 0, 51, 51, 51, 0, 51, 51, 51, 0, 1, 1, 1, 100};
    RepairTextAlpha(now, saved, 4);
    EXPECT_EQ(now[3], 255);
    EXPECT_EQ(now[7], 221);
    EXPECT_EQ(now[11], 0);  // transparent before: stays transparent
    EXPECT_EQ(now[15], 100);
    EXPECT_EQ(now[0], 51);
}

TEST(SkinGeometry, ShadowSlices) {
    const auto folded = ShadowSlices(394, 189, false);
    ASSERT_EQ(folded.size(), 8u);
    EXPECT_EQ(folded[0].destination, (Rect{0, 0, 7, 7}));
    EXPECT_EQ(folded[1].source, (Rect{19, 0, 26, 7}));
    EXPECT_EQ(folded[1].destination, (Rect{387, 0, 394, 7}));
    EXPECT_EQ(folded[3].destination, (Rect{387, 181, 394, 188}));  // one pixel higher
    EXPECT_EQ(folded[4].source, (Rect{7, 0, 8, 7}));
    EXPECT_EQ(folded[4].destination, (Rect{7, 0, 387, 7}));
    EXPECT_EQ(folded[6].destination, (Rect{0, 7, 7, 181}));
    const auto unfolded = ShadowSlices(394, 439, true);
    ASSERT_EQ(unfolded.size(), 9u);
    EXPECT_EQ(unfolded[3].destination, (Rect{387, 432, 394, 439}));
    EXPECT_EQ(unfolded[8].source, (Rect{7, 19, 8, 26}));
    EXPECT_EQ(unfolded[8].destination, (Rect{0, 181, 394, 188}));
}

}  // namespace
