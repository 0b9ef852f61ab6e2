#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <tuple>
#include <vector>

#include "base/session_state.h"
#include "tests/native/decision_machine_fake.h"
#include "ui/frame_picture.h"
#include "ui/frame_rules.h"
#include "ui/placement.h"
#include "ui/skin_geometry.h"

namespace {

// A taskbar window at `rect` on a 1920 x 1080 screen with the given work area.
TaskbarGeometry Taskbar(Rect rect, Rect workArea = {0, 0, 1920, 1080}, bool exists = true) {
    return {exists, rect, workArea};
}

TEST(Placement, TaskbarEdgesAndTheFramesCorner) {
    const ScreenMetrics screen{1920, 1080, 1900};
    const std::tuple<TaskbarGeometry, TaskbarEdge, Point> cases[] = {
        {Taskbar({}, {}, false), kEdgeUnknown, {0, 0}},
        {Taskbar({0, 1040, 1920, 1080}), kEdgeBottom, {1540, 865}},
        {Taskbar({0, 0, 1920, 40}), kEdgeTop, {1540, 905}},
        {Taskbar({0, 0, 60, 1080}), kEdgeLeft, {1520, 905}},  // short of the right edge
        {Taskbar({1860, 0, 1920, 1080}), kEdgeRight, {1480, 905}},
        {Taskbar({0, 1040, 1600, 1080}), kEdgeBottom, {1520, 865}},
        {Taskbar({29, 0, 89, 1080}), kEdgeLeft, {1520, 905}},  // left of half its width
        {Taskbar({30, 0, 90, 1080}), kEdgeRight, {-350, 905}},
        // A hidden, empty taskbar stands at no edge: the work area's bottom-right corner.
        {Taskbar({0, 0, 0, 0}, {0, 0, 1920, 1040}), kEdgeUnknown, {1540, 865}},
        {Taskbar({0, 0, 1920, 0}, {60, 0, 1800, 1080}), kEdgeUnknown, {1420, 905}},
    };
    for (const auto& [taskbar, edge, frame] : cases) {
        EXPECT_EQ(EdgeOf(taskbar), edge) << taskbar.rect.left << "," << taskbar.rect.top;
        EXPECT_EQ(FramePosition(taskbar, screen), frame) << edge;
    }
    EXPECT_EQ(PanelRectFor(Rect::At(1540, 865, 380, 175)), Rect::At(1540, 1040, 380, 250));
}

// From its first position, expanding the history at any edge keeps frame and panel on the
// screen, above a bottom taskbar; collapsing puts the frame back.
TEST(Placement, ExpandAndCollapseAtEveryEdgeOrInPlaceAndTheTrayButtons) {
    const ScreenMetrics screen{1920, 1080, 1900};
    const std::tuple<TaskbarGeometry, int, int> cases[] = {
        {Taskbar({0, 1040, 1920, 1080}), 1540, 790},  // bottom: the panel ends at the taskbar
        {Taskbar({0, 0, 1920, 40}), 1540, 830},       // top, left and right: at the screen's bottom
        {Taskbar({0, 0, 60, 1080}), 1520, 830},
        {Taskbar({1860, 0, 1920, 1080}), 1480, 830},
        {Taskbar({}, {0, 0, 1920, 1000}), 1540, 750}};  // empty: at the work area's bottom
    for (const auto& [taskbar, x, panelTop] : cases) {
        SCOPED_TRACE(x);
        const Point at = FramePosition(taskbar, screen);
        const Rect frame = Rect::At(at.x, at.y, 380, 175);
        const ExpandLayout expanded = LayoutForExpand(frame, taskbar, 1080);
        EXPECT_TRUE(expanded.frameMoved);
        EXPECT_EQ(expanded.panel, Rect::At(x, panelTop, 380, 250));
        EXPECT_EQ(expanded.frame, Rect::At(x, panelTop - 175, 380, 175));
        EXPECT_EQ(expanded.shadow, Rect::At(x - 7, panelTop - 182, 394, 439));

        const CollapseLayout collapsed =
            LayoutForCollapse(expanded.frame, expanded.panel, taskbar, 1080);
        EXPECT_EQ(collapsed.frame, frame);
        EXPECT_EQ(collapsed.shadow, Rect::At(at.x - 7, at.y - 7, 394, 189));
    }
    // With room below, expanding only grows the shadow.
    const TaskbarGeometry taskbar = Taskbar({0, 1040, 1920, 1080});
    const Rect frame = Rect::At(300, 100, 380, 175);
    const ExpandLayout expanded = LayoutForExpand(frame, taskbar, 1080);
    EXPECT_FALSE(expanded.frameMoved);
    EXPECT_EQ(expanded.frame, frame);
    EXPECT_EQ(expanded.panel, Rect::At(300, 275, 380, 250));
    EXPECT_EQ(expanded.shadow, Rect::At(293, 93, 394, 439));
    EXPECT_EQ(LayoutForCollapse(frame, expanded.panel, taskbar, 1080).frame, frame);
    // The panel exactly fits: 250 pixels left above the taskbar.
    EXPECT_FALSE(LayoutForExpand(Rect::At(0, 615, 380, 175), taskbar, 1080).frameMoved);
    // Without a taskbar nothing is pushed, even at the bottom of the screen.
    const Rect low = Rect::At(0, 900, 380, 175);
    EXPECT_FALSE(LayoutForExpand(low, Taskbar({}, {}, false), 1080).frameMoved);
    EXPECT_EQ(LayoutForCollapse(low, PanelRectFor(low), Taskbar({}, {}, false), 1080).frame, low);
    // The tray buttons sit side by side at the right of the notification area.
    const TrayButtonPositions p = ReseatPositions({1500, 1040, 1900, 1080}, 20, 15);
    EXPECT_EQ(p.showDesktop, (Point{375, 0}));
    EXPECT_EQ(p.trayButton, (Point{355, 0}));
}

TEST(FrameRules, ActiveAreasTheCursorOverThemAndWhenTheFrameShows) {
    // The button, close box, bottom bar and suite link; the caption (it drags the window), the
    // button's right and bottom edges and the progress text are not active.
    const std::tuple<int, int, bool> areas[] = {{130, 60, true}, {379, 0, true},  {0, 160, true},
                                                {280, 70, true}, {10, 10, false}, {124, 101, false},
                                                {20, 70, false}};
    for (const auto& [x, y, active] : areas) {
        EXPECT_EQ(IsClientArea({x, y}), active) << x << "," << y;
    }
    const CursorInputs none;
    EXPECT_EQ(CursorAt({10, 160}, none), CursorShape::kHand);
    EXPECT_EQ(CursorAt({300, 70}, none), CursorShape::kArrow);
    EXPECT_EQ(CursorAt({300, 70}, {false, true, false}), CursorShape::kHand);
    EXPECT_EQ(CursorAt({300, 70}, {true, true, false}), CursorShape::kArrow);
    EXPECT_EQ(CursorAt({130, 60}, none), CursorShape::kArrow);
    EXPECT_EQ(CursorAt({130, 60}, {false, false, true}), CursorShape::kHand);
    EXPECT_EQ(CursorAt({10, 10}, {false, true, true}), CursorShape::kArrow);
    // When the frame shows.
    const std::pair<ShowInputs, bool> cases[] = {
        {{}, true},
        {{.enforce = true, .updatesAvailable = true}, false},
        {{.silent = true}, false},
        {{.silent = true, .updatesAvailable = true}, true},
        {{.silent = true, .updatesAvailable = true, .setupKind = 1}, false},
        {{.silent = true, .updatesAvailable = true, .setupKind = 2}, false},
        {{.updatesAvailable = true, .setupKind = 1}, true},
        {{.notice = true, .updatesAvailable = true}, false},
        {{.execute = true, .updatesAvailable = true}, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(ShouldShowFrame(c.first), c.second) << "case " << &c - cases;
    }
}

TEST(SessionState, ResetAndLockedPath) {
    SessionState state;
    state.normalJobState = kJobDownloaded;
    state.SetLastPackagePath(L"C:\\x\\upgrade\\a.exe");
    EXPECT_TRUE(state.AnyJobPastRunning());
    EXPECT_FALSE(state.AnyJobRunning());
    state.Reset();
    EXPECT_EQ(state.normalJobState, kJobReady);
    EXPECT_EQ(state.enforcedJobState, kJobReady);
    EXPECT_EQ(state.packageJobState, kJobEndedAfterFailure);
    EXPECT_TRUE(state.jobIdle);
    EXPECT_EQ(state.LastPackagePath(), L"");
}

using decision_fake::Entries;

TEST(FramePicture, PendingAndPackageCountsOverallPercentAndFilledWidth) {
    // wardel is named in the depend text but up to date; the plug-ins are in no depend text; an
    // entry without a tag is in no depend text either.
    const UpdateList list =
        Entries(L"dayloom<,pinnace,wardel,* pinnace* wardel weather#1* note#1* old#1 fennick* *");
    const std::pair<const wchar_t*, int> cases[] = {
        {L"dayloom", 4},  // itself, pinnace, the two plug-ins that need an update
        {L"DayLoom", 4},  // the product's tag ignores case
        {L"pinnace", 1}, {L"fennick", 1}, {L"marlow", 0},
    };
    for (const auto& [product, count] : cases) {
        EXPECT_EQ(ProductPendingCount(list, product), count) << product;
    }
    // A plug-in that is the product's dependency as well is counted twice; the depend text is
    // searched case-sensitively.
    EXPECT_EQ(
        ProductPendingCount(Entries(L"dayloom<weather,PINNACE weather#1* pinnace*"), L"dayloom"),
        2);
    // Enforced items and the sibling updater are left out of the package count.
    const UpdateList packages = Entries(L"keldra* pinnace* wardel!* upgrade* fennick");
    EXPECT_EQ(PackageCount(packages, false), 2);
    EXPECT_EQ(PackageCount(packages, true), 1);
    EXPECT_EQ(PackageCount(UpdateList(), false), 1);
    // The overall percent and the bar's filled width.
    const std::tuple<int, int, int, double> percents[] = {
        {50, 1, 2, 75.0},   {0, 1, 3, 100.0 / 3}, {150, 0, 1, 100.0},
        {100, 2, 2, 100.0}, {40, 0, 0, 40.0},
    };
    for (const auto& [job, downloaded, packages, overall] : percents) {
        EXPECT_NEAR(OverallPercent(job, downloaded, packages), overall, 1e-9)
            << job << " " << downloaded << " " << packages;
    }
    const std::tuple<double, int, int> widths[] = {{33.3, 0, 116}, {33.3, 1, 117}, {33.3, 2, 117},
                                                   {0, 1, 0},      {100, 0, 350},  {120, 1, 350},
                                                   {75, 0, 262}};
    for (const auto& [percent, setupKind, width] : widths) {
        EXPECT_EQ(FilledWidth(percent, setupKind, 350), width) << percent;
    }
}

// The percentage text is written out by hand; it must be what "%.1f" prints, ties included.
TEST(FramePicture, PercentTextIsPrintfsOneDecimal) {
    const auto printf1 = [](double percent) {
        char text[64];
        std::snprintf(text, sizeof text, "%.1f", percent);
        return std::wstring(text, text + std::strlen(text));
    };
    std::vector<double> values = {0,    1e-300, 0.05,   0.15,     0.25,      0.35,
                                  0.45, 12.25,  12.35,  99.95,    99.949999, 100.0 / 3,
                                  75,   100,    100.05, 123456.75};
    for (int k = 0; k <= 8000; ++k) {
        values.push_back(k / 80.0);    // exact halves and quarters of tenths
        values.push_back(k / 1000.0);  // decimal steps, never exact in binary
    }
    std::uint64_t seed = 0x9E3779B97F4A7C15u;
    for (int k = 0; k < 20000; ++k) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        values.push_back(static_cast<double>(seed >> 11) / 9007199254740992.0 * 100);
    }
    for (const double v : values) {
        ASSERT_EQ(FormatPercent(v), printf1(v)) << v;
    }
    EXPECT_EQ(FormatPercent(-3), L"0.0");
    EXPECT_EQ(FormatPercent(std::nan("")), L"0.0");
}

FrameView Offer() {
    return {.displayName = L"Dayloom",
            .targetVersion = L"2.1.0.5",
            .productUpdatePending = true,
            .pendingCount = 3,
            .productInstalled = true};
}

FramePicture Plan(const FrameView& v) {
    return PlanFrame(v, kButtonRect, kSuiteLinkRect);
}

// The texts, then the parts drawn besides them and the button's top and height.
std::wstring Shape(const FramePicture& p) {
    std::wstring shape;
    for (const SkinText& t : p.texts) {
        shape += t.text + L"|";
    }
    return shape + (p.button ? L"button " : L"") + (p.progress ? L"progress " : L"") +
           (p.bar ? L"bar " : L"") + std::to_wstring(p.buttonRect.top) + L"/" +
           std::to_wstring(p.buttonRect.Height());
}

TEST(FramePicture, StatesOfTheWindowAndCellsFollowingHoverHistoryAndProgress) {
    const std::wstring title = L"更新Dayloom到 2.1.0.5（共3个更新）|";
    const std::tuple<const char*, void (*)(FrameView&), std::wstring> cases[] = {
        {"offer", [](FrameView&) {}, title + L"button bar 70/48"},
        {"offer with the suite link", [](FrameView& v) { v.productInstalled = false; },
         title + L"升级到OrvaneHelvor|button bar 70/48"},
        {"product missing, nothing pending",
         [](FrameView& v) { v.productInstalled = v.productUpdatePending = false; },
         L"您的 Dayloom 已经是最新版本|升级到OrvaneHelvor，体验更多功能|button bar 67/48"},
        {"suite caller counts packages",
         [](FrameView& v) {
             v.suiteCaller = v.updatesAvailable = true;
             v.packageCount = 2;
         },
         L"更新Dayloom到 2.1.0.5（共2个更新）|button bar 70/48"},
        {"updater's own name has no title", [](FrameView& v) { v.displayName = L"更新程序"; },
         L"button bar 70/48"},
        {"self-update", [](FrameView& v) { v.jobKind = 3; },
         title + L"正在更新升级程序，请稍后...|53/48"},
        {"up to date",
         [](FrameView& v) {
             v.interactive = v.productUpdatePending = false;
             v.displayName.clear();
         },
         L"您的 程序 已经是最新版本|53/48"},
        {"downloading",
         [](FrameView& v) {
             v.startReason = 2;
             v.jobPercent = 50;
             v.downloadedCount = 1;
             v.packageCount = 2;
         },
         title + L"正在下载文件...75.0%|progress bar 53/48"},
        {"setup kind shows progress", [](FrameView& v) { v.setupKind = 1; },
         title + L"正在下载文件...0.0%|progress bar 53/48"},
        {"finished", [](FrameView& v) { v.jobFinished = true; }, title + L"bar 53/48"},
    };
    for (const auto& [name, change, shape] : cases) {
        FrameView v = Offer();
        change(v);
        EXPECT_EQ(Shape(Plan(v)), shape) << name;
    }
    // The cells follow the hover, the history and the progress.
    FrameView v = Offer();
    FramePicture p = Plan(v);
    EXPECT_EQ(p.close.sourceX + p.button->sourceX + p.bar->sourceX, 0);
    EXPECT_EQ(p.bar->image, kSkinBarClosed);
    EXPECT_EQ(p.button->at, (Point{124, 70}));
    v.closeHover = v.buttonHover = v.barHover = 1;
    v.historyExpanded = true;
    v.productInstalled = false;
    p = Plan(v);
    EXPECT_EQ(p.close.sourceX, 50);
    EXPECT_EQ(p.button->sourceX, 131);
    EXPECT_EQ(p.bar->image, kSkinBarOpen);
    EXPECT_EQ(p.bar->sourceX, 380);
    EXPECT_EQ(p.bar->at, (Point{0, 157}));
    // The suite link moves with the button.
    EXPECT_EQ(p.suiteLinkRect, (Rect{275, 84, 385, 104}));
    EXPECT_EQ(p.texts.back().rect, p.suiteLinkRect);
    // A retried download starts at 0 again: the bar does not go back.
    v = Offer();
    v.startReason = 2;
    v.packageCount = 2;
    v.downloadedCount = 1;
    v.displayedPercent = 75.0;
    p = Plan(v);
    EXPECT_DOUBLE_EQ(p.displayedPercent, 75.0);
    EXPECT_EQ(p.progress->filledWidth, 262);
    EXPECT_EQ(p.texts.back().colour, kTextColourProgress);
    EXPECT_EQ(p.texts.back().rect, (Rect{15, 92, 365, 112}));
    EXPECT_EQ(p.texts.back().text, L"正在下载文件...75.0%");
}

TEST(SkinGeometry, TextAlphaRepairAndShadowSlices) {
    // B, G, R, A of four pixels: text drawn on the first three cleared their alpha.
    const std::uint8_t saved[] = {1, 1, 1, 222, 1, 1, 1, 221, 1, 1, 1, 0, 1, 1, 1, 100};
    std::uint8_t now[] = {51, 51, 51, 0, 51, 51, 51, 0, 51, 51, 51, 0, 1, 1, 1, 100};
    RepairTextAlpha(now, saved, 4);
    // The cleared text pixels get their alpha back; one transparent before stays transparent.
    EXPECT_EQ(
        std::vector(now, now + 16),
        std::vector<std::uint8_t>({51, 51, 51, 255, 51, 51, 51, 221, 51, 51, 51, 0, 1, 1, 1, 100}));
    // The shadow's nine slices, folded and unfolded.
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

// A download reports each block; the window repaints only when the look changes. At every step
// the throttled window shows what a repaint per block would show, with one paint per look.
TEST(FramePicture, ProgressStepsRepaintOnlyWhenTheLookChanges) {
    for (const int setupKind : {0, 1}) {
        for (const int packages : {1, 3, 7}) {
            FrameView every = Offer();
            every.startReason = 2;
            every.setupKind = setupKind;
            every.packageCount = packages;
            FrameView throttled = every;
            FramePicture requested;
            int paints = 0;
            int looks = 0;
            FramePicture previous;
            // Four blocks for each percentage; the second package is retried from 0.
            for (int package = 0; package < packages; ++package) {
                for (int block = 0; block < (package == 1 ? 808 : 404); ++block) {
                    every.downloadedCount = throttled.downloadedCount = package;
                    every.jobPercent = throttled.jobPercent = (block % 404) / 4;
                    const FramePicture today = Plan(every);
                    every.displayedPercent = today.displayedPercent;
                    looks += LookOf(today) == LookOf(previous) ? 0 : 1;
                    previous = today;
                    const FramePicture next = Plan(throttled);
                    if (!(LookOf(next) == LookOf(requested))) {
                        requested = next;
                        throttled.displayedPercent = next.displayedPercent;
                        ++paints;
                    }
                    ASSERT_EQ(requested.texts, today.texts) << packages << " " << block;
                    ASSERT_EQ(requested.progress->filledWidth, today.progress->filledWidth);
                }
            }
            EXPECT_EQ(paints, looks) << setupKind << " " << packages;
            EXPECT_LE(paints, 101 * packages);
        }
    }
}
