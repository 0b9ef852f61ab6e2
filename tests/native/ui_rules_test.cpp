#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ui/frame_rules.h"
#include "ui/job_step.h"
#include "ui/notice_record.h"
#include "ui/placement.h"
#include "ui/uptime.h"

namespace {

// ---- records exchanged with the caller ----

TEST(NoticeRecord, LayoutOfEveryField) {
    NoticeRecord record;
    record.product = L"dayloom";
    record.percent = 57;
    record.status = kNoticeDownloading;
    record.text = L"C:\\升级\\a.exe";
    const std::vector<std::uint8_t> bytes = EncodeNoticeRecord(record);
    ASSERT_EQ(bytes.size(), 660u);
    const std::uint8_t head[] = {1, 0, 0, 0, 'd', 0, 'a', 0, 'y', 0};
    EXPECT_EQ(std::memcmp(bytes.data(), head, sizeof head), 0);
    EXPECT_EQ(bytes[4 + 14], 0);  // terminator after 7 characters
    EXPECT_EQ(GetUint32(&bytes[132]), 57u);
    EXPECT_EQ(GetUint32(&bytes[136]), 1u);
    EXPECT_EQ(bytes[140], 'C');
    EXPECT_EQ(bytes[146], 0x47);  // U+5347 little-endian
    EXPECT_EQ(bytes[147], 0x53);

    const auto back = DecodeNoticeRecord(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->product, record.product);
    EXPECT_EQ(back->text, record.text);
    EXPECT_EQ(back->percent, 57u);
    EXPECT_EQ(back->status, 1u);
}

TEST(NoticeRecord, LongStringsAreCutAndStayTerminated) {
    NoticeRecord record;
    record.product = std::wstring(100, L'p');
    record.text = std::wstring(400, L't');
    const std::vector<std::uint8_t> bytes = EncodeNoticeRecord(record);
    const auto back = DecodeNoticeRecord(bytes.data(), bytes.size());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->product, std::wstring(63, L'p'));
    EXPECT_EQ(back->text, std::wstring(259, L't'));
    EXPECT_EQ(bytes[4 + 126], 0);
    EXPECT_EQ(bytes[4 + 127], 0);
    EXPECT_EQ(bytes[140 + 518], 0);
    EXPECT_EQ(bytes[140 + 519], 0);
}

TEST(NoticeRecord, ReceivedRecordsAreReadOnlyWithinTheirLength) {
    NoticeRecord close;
    close.status = kNoticeCloseUpdater;
    std::vector<std::uint8_t> bytes = EncodeNoticeRecord(close);
    EXPECT_TRUE(IsCloseRequest(bytes.data(), bytes.size()));
    EXPECT_TRUE(IsCloseRequest(bytes.data(), 140));  // the text is not needed
    for (std::size_t size : {0u, 4u, 136u, 139u}) {
        // Copied into a buffer of exactly that size so ASan catches any read past it.
        std::vector<std::uint8_t> shortRecord(bytes.begin(), bytes.begin() + size);
        EXPECT_FALSE(IsCloseRequest(shortRecord.data(), shortRecord.size())) << size;
        EXPECT_FALSE(DecodeNoticeRecord(shortRecord.data(), shortRecord.size())) << size;
    }
    EXPECT_FALSE(IsCloseRequest(nullptr, 660));
    close.status = kNoticeFailed;
    bytes = EncodeNoticeRecord(close);
    EXPECT_FALSE(IsCloseRequest(bytes.data(), bytes.size()));
    close.status = kNoticeCloseUpdater;
    close.command = 2;
    bytes = EncodeNoticeRecord(close);
    EXPECT_FALSE(IsCloseRequest(bytes.data(), bytes.size()));
}

TEST(UpdateCountRecord, CodeThenCount) {
    const std::vector<std::uint8_t> bytes = EncodeUpdateCountRecord(3);
    const std::vector<std::uint8_t> expected = {23, 0, 0, 0, 3, 0, 0, 0};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(DecodeUpdateCountRecord(bytes.data(), bytes.size()), 3u);
    EXPECT_FALSE(DecodeUpdateCountRecord(bytes.data(), 7));
}

// ---- the guard check's rate limit ----

TEST(Uptime, OleDatesCountDaysFromTheEpoch) {
    EXPECT_DOUBLE_EQ(ToOleDate({1899, 12, 30, 0, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(ToOleDate({1900, 1, 1, 18, 0, 0}), 2.75);
    EXPECT_DOUBLE_EQ(DefaultLastCheck(), 41640.0);  // 2014-01-01
    EXPECT_DOUBLE_EQ(ToOleDate({2026, 12, 5, 12, 0, 0}), 46361.5);
}

TEST(Uptime, RegistryBytesRoundTripAndBadValuesGiveTheDefault) {
    const double when = ToOleDate({2026, 12, 5, 9, 30, 0});
    const std::vector<std::uint8_t> bytes = EncodeUptime(when);
    ASSERT_EQ(bytes.size(), 12u);
    EXPECT_EQ(GetUint32(&bytes[8]), 0u);
    EXPECT_DOUBLE_EQ(DecodeUptime(bytes), when);
    EXPECT_DOUBLE_EQ(DecodeUptime({}), DefaultLastCheck());
    EXPECT_DOUBLE_EQ(DecodeUptime(std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1)),
                     DefaultLastCheck());
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
        {{2026, 12, 5, 8, 10, 0}, L"-wardel_x64", true},
        {{2026, 12, 5, 8, 59, 59}, L"-wardel_x64", true},
        {{2026, 12, 5, 9, 0, 0}, L"-wardel_x64", false},
        {{2026, 12, 5, 10, 0, 0}, L"-wardel_x64", false},
        {{2026, 12, 6, 8, 10, 0}, L"-wardel_x64", true},  // 24 h 10 min: hours component 0
        {{2026, 12, 6, 8, 30, 0}, L"-wardel_x64", true},
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

TEST(Placement, TaskbarEdges) {
    EXPECT_EQ(EdgeOf({false, {}}), kEdgeUnknown);
    EXPECT_EQ(EdgeOf({true, {0, 1040, 1920, 1080}}), kEdgeBottom);
    EXPECT_EQ(EdgeOf({true, {0, 0, 1920, 40}}), kEdgeTop);
    EXPECT_EQ(EdgeOf({true, {0, 0, 60, 1080}}), kEdgeLeft);
    EXPECT_EQ(EdgeOf({true, {1860, 0, 1920, 1080}}), kEdgeRight);
    EXPECT_EQ(EdgeOf({true, {0, 0, 0, 0}}), kEdgeBottom);  // a hidden, empty taskbar
}

TEST(Placement, FrameGoesToTheCornerBesideTheTaskbar) {
    const ScreenMetrics screen{1920, 1080, 1900};
    EXPECT_EQ(FramePosition({true, {0, 1040, 1920, 1080}}, screen), (Point{1540, 865}));
    EXPECT_EQ(FramePosition({true, {1860, 0, 1920, 1080}}, screen), (Point{1480, 905}));
    EXPECT_EQ(FramePosition({true, {0, 0, 1920, 40}}, screen), (Point{1540, 905}));
    // A left taskbar does not reach the right edge either.
    EXPECT_EQ(FramePosition({true, {0, 0, 60, 1080}}, screen), (Point{1520, 905}));
    EXPECT_EQ(FramePosition({false, {}}, screen), (Point{0, 0}));
    // A taskbar short of the right edge: the full-screen width is used.
    EXPECT_EQ(FramePosition({true, {0, 1040, 1600, 1080}}, screen), (Point{1520, 865}));
}

TEST(Placement, CompanionsFollowTheFrame) {
    const Rect frame = Rect::At(1540, 865, 380, 175);
    EXPECT_EQ(PanelRectFor(frame), Rect::At(1540, 1040, 380, 250));
    EXPECT_EQ(ShadowRectFor(frame, false), Rect::At(1533, 858, 394, 189));
    EXPECT_EQ(ShadowRectFor(frame, true), Rect::At(1533, 858, 394, 439));
}

TEST(Placement, ExpandAgainstABottomTaskbarAndCollapseBack) {
    const TaskbarGeometry taskbar{true, {0, 1040, 1920, 1080}};
    const Rect frame = Rect::At(1540, 865, 380, 175);
    const ExpandLayout expanded = LayoutForExpand(frame, taskbar, 1080);
    EXPECT_TRUE(expanded.frameMoved);
    EXPECT_EQ(expanded.panel, Rect::At(1540, 790, 380, 250));
    EXPECT_EQ(expanded.frame, Rect::At(1540, 615, 380, 175));
    EXPECT_EQ(expanded.shadow, Rect::At(1533, 608, 394, 439));

    const CollapseLayout collapsed =
        LayoutForCollapse(expanded.frame, expanded.panel, taskbar, 1080);
    EXPECT_EQ(collapsed.frame, Rect::At(1540, 865, 380, 175));
    EXPECT_EQ(collapsed.shadow, Rect::At(1533, 858, 394, 189));
}

TEST(Placement, ExpandWithRoomBelowOnlyGrowsTheShadow) {
    const TaskbarGeometry taskbar{true, {0, 1040, 1920, 1080}};
    const Rect frame = Rect::At(300, 100, 380, 175);
    const ExpandLayout expanded = LayoutForExpand(frame, taskbar, 1080);
    EXPECT_FALSE(expanded.frameMoved);
    EXPECT_EQ(expanded.frame, frame);
    EXPECT_EQ(expanded.panel, Rect::At(300, 275, 380, 250));
    EXPECT_EQ(expanded.shadow, Rect::At(293, 93, 394, 439));
    const CollapseLayout collapsed = LayoutForCollapse(frame, expanded.panel, taskbar, 1080);
    EXPECT_EQ(collapsed.frame, frame);  // the panel was far from the limit
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

TEST(FrameRules, ActiveAreasAnswerAsClient) {
    EXPECT_TRUE(IsClientArea({130, 60}));    // button
    EXPECT_TRUE(IsClientArea({379, 0}));     // close box
    EXPECT_TRUE(IsClientArea({0, 160}));     // bottom bar
    EXPECT_TRUE(IsClientArea({280, 70}));    // suite link
    EXPECT_FALSE(IsClientArea({10, 10}));    // caption: drags the window
    EXPECT_FALSE(IsClientArea({124, 101}));  // right and bottom edges are outside
    EXPECT_FALSE(IsClientArea({20, 70}));    // progress text is not active
}

TEST(FrameRules, HandCursorOnlyWhereAClickDoesSomething) {
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
    struct Case {
        ShowInputs in;
        bool shown;
    };
    const Case cases[] = {
        {{}, true},
        {{.enforce = true, .updatesAvailable = true}, false},
        {{.silent = true}, false},
        {{.silent = true, .updatesAvailable = true}, true},
        {{.silent = true, .updatesAvailable = true, .setupKind = 1}, false},
        {{.silent = true, .updatesAvailable = true, .setupKind = 2}, false},
        {{.updatesAvailable = true, .setupKind = 1}, true},
        {{.notice = true, .updatesAvailable = true}, false},
        {{.execute = true, .updatesAvailable = true}, false},
        {{.notice = true}, false},
    };
    int i = 0;
    for (const Case& c : cases) {
        EXPECT_EQ(ShouldShowFrame(c.in), c.shown) << "case " << i++;
    }
}

}  // namespace

// ---- job steps ----

namespace {

TEST(JobStep, EachStateHasItsAction) {
    struct Case {
        std::int32_t state;
        bool startsThread;
        StepAction expected;
    };
    auto action = [](bool start, bool progress, bool count, bool failure, bool release,
                     std::int32_t next) {
        StepAction a;
        a.startThread = start;
        a.reportProgress = progress;
        a.countDownload = count;
        a.reportFailure = failure;
        a.releaseJob = release;
        a.newState = next;
        return a;
    };
    const Case cases[] = {
        {kJobReady, true, action(true, false, false, false, false, kJobRunning)},
        // The enforced and package jobs start their threads elsewhere: ready only moves on.
        {kJobReady, false, action(false, false, false, false, false, kJobRunning)},
        {kJobRunning, true, action(false, true, false, false, false, -1)},
        {kJobDownloaded, true, action(false, false, true, false, true, -1)},
        {kJobFailed, true, action(false, false, false, true, true, kJobEndedAfterFailure)},
        {kJobEndedAfterFailure, true, action(false, false, false, false, false, -1)},
        {7, true, action(false, false, false, false, false, -1)},
    };
    for (const Case& c : cases) {
        const StepAction a = StepFor(c.state, c.startsThread);
        EXPECT_EQ(a.startThread, c.expected.startThread) << c.state;
        EXPECT_EQ(a.reportProgress, c.expected.reportProgress) << c.state;
        EXPECT_EQ(a.countDownload, c.expected.countDownload) << c.state;
        EXPECT_EQ(a.reportFailure, c.expected.reportFailure) << c.state;
        EXPECT_EQ(a.releaseJob, c.expected.releaseJob) << c.state;
        EXPECT_EQ(a.newState, c.expected.newState) << c.state;
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
