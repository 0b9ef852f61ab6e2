#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <tuple>

#include "app/session_state.h"
#include "ui/frame_rules.h"
#include "ui/notice_record.h"
#include "ui/placement.h"
#include "ui/uptime.h"

namespace {

// ---- records exchanged with the caller ----

TEST(NoticeRecord, LayoutOfEveryField) {
    NoticeRecord record;
    record.product = L"dayloom";
    record.percent = 0x01020304;  // every byte of a 32-bit value counts
    record.status = 0xFF000001;
    record.text = L"C:\\升级\\a.exe";
    const std::vector<std::uint8_t> bytes = EncodeNoticeRecord(record);
    ASSERT_EQ(bytes.size(), 660u);
    const std::uint8_t head[] = {1, 0, 0, 0, 'd', 0, 'a', 0, 'y', 0};
    EXPECT_EQ(std::memcmp(bytes.data(), head, sizeof head), 0);
    EXPECT_EQ(bytes[4 + 14], 0);  // terminator after 7 characters
    const std::uint8_t numbers[] = {4, 3, 2, 1, 1, 0, 0, 0xFF, 'C', 0};
    EXPECT_EQ(std::memcmp(&bytes[132], numbers, sizeof numbers), 0);
    EXPECT_EQ(bytes[146], 0x47);  // U+5347 little-endian
    EXPECT_EQ(bytes[147], 0x53);
    EXPECT_EQ(GetUint32(&bytes[136]), 0xFF000001u);

    // Long strings are cut and stay terminated; the decoder reads back what was kept.
    record.product = std::wstring(100, L'p');
    record.text = std::wstring(400, L't');
    const std::vector<std::uint8_t> cut = EncodeNoticeRecord(record);
    EXPECT_EQ(cut[4 + 126] + cut[4 + 127] + cut[140 + 518] + cut[140 + 519], 0);
    for (const auto& [encoded, product, text] :
         {std::tuple{bytes, std::wstring(L"dayloom"), std::wstring(L"C:\\升级\\a.exe")},
          std::tuple{cut, std::wstring(63, L'p'), std::wstring(259, L't')}}) {
        const auto back = DecodeNoticeRecord(encoded.data(), encoded.size());
        ASSERT_TRUE(back);
        EXPECT_EQ(std::tuple(back->product, back->text, back->percent, back->status),
                  std::tuple(product, text, 0x01020304u, 0xFF000001u));
    }
}

TEST(NoticeRecord, ReceivedRecordsAreReadOnlyWithinTheirLength) {
    NoticeRecord close;
    close.status = kNoticeCloseUpdater;
    std::vector<std::uint8_t> bytes = EncodeNoticeRecord(close);
    EXPECT_TRUE(IsCloseRequest(bytes.data(), bytes.size()));
    EXPECT_TRUE(IsCloseRequest(bytes.data(), 140));  // the text is not needed
    for (std::size_t size : {0u, 136u, 139u}) {
        // Copied into a buffer of exactly that size so ASan catches any read past it.
        std::vector<std::uint8_t> shortRecord(bytes.begin(), bytes.begin() + size);
        EXPECT_FALSE(IsCloseRequest(shortRecord.data(), shortRecord.size())) << size;
        EXPECT_FALSE(DecodeNoticeRecord(shortRecord.data(), shortRecord.size())) << size;
    }
    EXPECT_FALSE(IsCloseRequest(nullptr, 660));
    close.command = 2;
    bytes = EncodeNoticeRecord(close);
    EXPECT_FALSE(IsCloseRequest(bytes.data(), bytes.size()));
    close = NoticeRecord();
    close.status = kNoticeFailed;
    bytes = EncodeNoticeRecord(close);
    EXPECT_FALSE(IsCloseRequest(bytes.data(), bytes.size()));
}

TEST(UpdateCountRecord, CodeThenCount) {
    const std::vector<std::uint8_t> bytes = EncodeUpdateCountRecord(0x12345678);
    const std::vector<std::uint8_t> expected = {23, 0, 0, 0, 0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(DecodeUpdateCountRecord(bytes.data(), bytes.size()), 0x12345678u);
    EXPECT_FALSE(DecodeUpdateCountRecord(bytes.data(), 7));
}

// ---- the guard check's rate limit ----

TEST(Uptime, OleDatesCountDaysFromTheEpoch) {
    const std::pair<LocalTime, double> cases[] = {
        {{1899, 12, 30, 0, 0, 0}, 0.0},     {{1900, 1, 1, 18, 0, 0}, 2.75},
        {{1900, 3, 1, 0, 0, 0}, 61.0},      {{2000, 2, 29, 0, 0, 0}, 36585.0},
        {{2023, 2, 28, 6, 0, 0}, 44985.25}, {{2023, 3, 1, 0, 0, 0}, 44986.0},
        {{2024, 2, 29, 12, 0, 0}, 45351.5}, {{2024, 3, 1, 0, 0, 0}, 45352.0},
        {{2026, 12, 5, 12, 0, 0}, 46361.5}, {{2100, 3, 1, 0, 0, 0}, 73110.0}};
    for (const auto& [time, date] : cases) {
        EXPECT_DOUBLE_EQ(ToOleDate(time), date)
            << time.year << "-" << time.month << "-" << time.day;
    }
    EXPECT_DOUBLE_EQ(DefaultLastCheck(), 41640.0);  // 2014-01-01
}

TEST(Uptime, RegistryBytesRoundTripAndBadValuesGiveTheDefault) {
    const double when = ToOleDate({2026, 12, 5, 9, 30, 0});
    std::vector<std::uint8_t> bytes = EncodeUptime(when);
    ASSERT_EQ(bytes.size(), 12u);
    EXPECT_EQ(GetUint32(&bytes[8]), 0u);
    EXPECT_DOUBLE_EQ(DecodeUptime(bytes), when);
    EXPECT_DOUBLE_EQ(DecodeUptime({}), DefaultLastCheck());
    EXPECT_DOUBLE_EQ(DecodeUptime(std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1)),
                     DefaultLastCheck());
    bytes.push_back(0);  // 13 bytes: not this value's layout
    EXPECT_DOUBLE_EQ(DecodeUptime(bytes), DefaultLastCheck());
    EXPECT_DOUBLE_EQ(DecodeUptime(EncodeUptime(when, kUptimeInvalid)), DefaultLastCheck());
    EXPECT_DOUBLE_EQ(DecodeUptime(EncodeUptime(std::nan(""))), DefaultLastCheck());
}

TEST(Uptime, OnlyTheHoursComponentCounts) {
    const double last = ToOleDate({2026, 12, 5, 8, 0, 0});
    struct Case {
        LocalTime now;
        const wchar_t* commandLine;
        bool limited;
    };
    const Case cases[] = {
        {{2026, 12, 5, 8, 59, 59}, L"-wardel_x64", true},
        {{2026, 12, 5, 9, 0, 0}, L"-wardel_x64", false},
        {{2026, 12, 6, 8, 30, 0}, L"-wardel_x64", true},  // 24 h 30 min: hours component 0
        {{2026, 12, 6, 9, 30, 0}, L"-wardel_x64", false},
        {{2026, 12, 5, 8, 10, 0}, L"-wardel_x64 -enforce", false},
        {{2026, 12, 5, 8, 10, 0}, L"-wardel_x64 -ENFORCE", true},  // exact case only
        {{2026, 12, 5, 7, 0, 0}, L"-wardel_x64", true},            // clock went back
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GuardCheckRateLimited(last, ToOleDate(c.now), c.commandLine), c.limited)
            << c.now.day << " " << c.now.hour << ":" << c.now.minute;
    }
    // Half a second before the hour rounds up to the full hour.
    EXPECT_EQ(SpanHoursComponent(0.0, (3600.0 - 0.4) / 86400.0), 1);
}

// ---- placement ----

TEST(Placement, TaskbarEdgesAndTheFramesCorner) {
    const ScreenMetrics screen{1920, 1080, 1900};
    const struct {
        TaskbarGeometry taskbar;
        TaskbarEdge edge;
        Point frame;
    } cases[] = {
        {{false, {}}, kEdgeUnknown, {0, 0}},
        {{true, {0, 1040, 1920, 1080}}, kEdgeBottom, {1540, 865}},
        {{true, {0, 0, 1920, 40}}, kEdgeTop, {1540, 905}},
        {{true, {0, 0, 60, 1080}}, kEdgeLeft, {1520, 905}},  // short of the right edge
        {{true, {1860, 0, 1920, 1080}}, kEdgeRight, {1480, 905}},
        {{true, {0, 1040, 1600, 1080}}, kEdgeBottom, {1520, 865}},
        {{true, {29, 0, 89, 1080}}, kEdgeLeft, {1520, 905}},  // left of half its width
        {{true, {30, 0, 90, 1080}}, kEdgeRight, {-350, 905}},
        {{true, {0, 0, 0, 0}}, kEdgeBottom, {1520, 1080 - 175}},  // a hidden, empty taskbar
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EdgeOf(c.taskbar), c.edge) << c.taskbar.rect.left << "," << c.taskbar.rect.top;
        EXPECT_EQ(FramePosition(c.taskbar, screen), c.frame) << c.edge;
    }
    EXPECT_EQ(PanelRectFor(Rect::At(1540, 865, 380, 175)), Rect::At(1540, 1040, 380, 250));
}

// From its first position, expanding the history at any edge keeps frame and panel on the
// screen, above a bottom taskbar; collapsing puts the frame back.
TEST(Placement, ExpandAndCollapseAtEveryEdge) {
    const ScreenMetrics screen{1920, 1080, 1900};
    const struct {
        Rect taskbar;
        int x;
        int panelTop;
    } cases[] = {{{0, 1040, 1920, 1080}, 1540, 790},  // bottom: the panel ends at the taskbar
                 {{0, 0, 1920, 40}, 1540, 830},       // top, left and right: at the screen's bottom
                 {{0, 0, 60, 1080}, 1520, 830},
                 {{1860, 0, 1920, 1080}, 1480, 830}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.x);
        const TaskbarGeometry taskbar{true, c.taskbar};
        const Point at = FramePosition(taskbar, screen);
        const Rect frame = Rect::At(at.x, at.y, 380, 175);
        const ExpandLayout expanded = LayoutForExpand(frame, taskbar, 1080);
        EXPECT_TRUE(expanded.frameMoved);
        EXPECT_EQ(expanded.panel, Rect::At(c.x, c.panelTop, 380, 250));
        EXPECT_EQ(expanded.frame, Rect::At(c.x, c.panelTop - 175, 380, 175));
        EXPECT_EQ(expanded.shadow, Rect::At(c.x - 7, c.panelTop - 182, 394, 439));

        const CollapseLayout collapsed =
            LayoutForCollapse(expanded.frame, expanded.panel, taskbar, 1080);
        EXPECT_EQ(collapsed.frame, frame);
        EXPECT_EQ(collapsed.shadow, Rect::At(at.x - 7, at.y - 7, 394, 189));
    }
}

TEST(Placement, ExpandWithRoomBelowOnlyGrowsTheShadow) {
    const TaskbarGeometry taskbar{true, {0, 1040, 1920, 1080}};
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
    EXPECT_FALSE(LayoutForExpand(low, {false, {}}, 1080).frameMoved);
    EXPECT_EQ(LayoutForCollapse(low, PanelRectFor(low), {false, {}}, 1080).frame, low);
}

TEST(Placement, TrayButtonsSideBySideAtTheRightOfTheNotificationArea) {
    const TrayButtonPositions p = ReseatPositions({1500, 1040, 1900, 1080}, 20, 15);
    EXPECT_EQ(p.showDesktop, (Point{375, 0}));
    EXPECT_EQ(p.trayButton, (Point{355, 0}));
}

// ---- window rules ----

TEST(FrameRules, ActiveAreasAndTheCursorOverThem) {
    EXPECT_TRUE(IsClientArea({130, 60}));    // button
    EXPECT_TRUE(IsClientArea({379, 0}));     // close box
    EXPECT_TRUE(IsClientArea({0, 160}));     // bottom bar
    EXPECT_TRUE(IsClientArea({280, 70}));    // suite link
    EXPECT_FALSE(IsClientArea({10, 10}));    // caption: drags the window
    EXPECT_FALSE(IsClientArea({124, 101}));  // right and bottom edges are outside
    EXPECT_FALSE(IsClientArea({20, 70}));    // progress text is not active

    const CursorInputs none;
    EXPECT_EQ(CursorAt({10, 160}, none), CursorShape::kHand);
    EXPECT_EQ(CursorAt({300, 70}, none), CursorShape::kArrow);
    EXPECT_EQ(CursorAt({300, 70}, {false, true, false}), CursorShape::kHand);
    EXPECT_EQ(CursorAt({300, 70}, {true, true, false}), CursorShape::kArrow);
    EXPECT_EQ(CursorAt({130, 60}, none), CursorShape::kArrow);
    EXPECT_EQ(CursorAt({130, 60}, {false, false, true}), CursorShape::kHand);
    EXPECT_EQ(CursorAt({10, 10}, {false, true, true}), CursorShape::kArrow);
}

TEST(FrameRules, ShowRule) {
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
    int i = 0;
    for (const auto& [in, shown] : cases) {
        EXPECT_EQ(ShouldShowFrame(in), shown) << "case " << i++;
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

}  // namespace
