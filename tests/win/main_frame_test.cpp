// The main window with a recording session in place of the real one: it shows what it is told
// and hands on what it receives (job messages, records, timers, clicks by area, close requests),
// deciding nothing itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/notice_record.h"
#include "base/session_state.h"
#include "test_support.h"
#include "ui/main_frame_win.h"

namespace {

class RecordingSession : public SessionInput {
  public:
    std::vector<std::string> calls;
    bool closeRuns = false;

    void Begin() override { calls.push_back("begin"); }
    bool CloseRequested() override {
        calls.push_back("close");
        return closeRuns;
    }
    void Click(const ClickAt& at) override {
        calls.push_back(std::string("click") + (at.close ? " close" : "") + (at.bar ? " bar" : "") +
                        (at.button ? " button" : "") + (at.suiteLink ? " link" : ""));
    }
    void CallerRecord(WPARAM, const void* data, std::size_t size) override {
        calls.push_back("record " + std::to_string(data != nullptr ? size : 0));
    }
    void Timer(UINT_PTR id) override { calls.push_back("timer " + std::to_string(id)); }
    bool SessionMessage(UINT message, LRESULT& result) override {
        calls.push_back("message " + std::to_string(message - UM_DOWNLOAD_STEP));
        result = 7;
        return true;
    }
    FrameView Picture() const override { return FrameView(); }
    CursorInputs Cursor() const override { return CursorInputs(); }

    bool Saw(const std::string& call) const {
        for (const std::string& c : calls) {
            if (c == call) {
                return true;
            }
        }
        return false;
    }
};

struct CompanionSearch {
    HWND frame;
    int count;
};

// A named callback: a lambda has no stdcall conversion on 32-bit Windows.
BOOL CALLBACK CountVisibleCompanion(HWND window, LPARAM search) {
    auto* s = reinterpret_cast<CompanionSearch*>(search);
    if (GetWindow(window, GW_OWNER) == s->frame && IsWindowVisible(window)) {
        ++s->count;
    }
    return TRUE;
}

// The visible windows of this process that the frame owns (the shadow and the history panel).
int VisibleCompanions(HWND frame) {
    CompanionSearch search{frame, 0};
    EnumWindows(CountVisibleCompanion, reinterpret_cast<LPARAM>(&search));
    return search.count;
}

// One window for the whole test: making one (its panel's browser thread included) takes seconds
// under Wine.
TEST(MainFrame, ShowsWhatItIsToldAndHandsOnWhatItReceives) {
    RecordingSession session;
    CMainFrame frame;
    const HWND hwnd = frame.Create(GetModuleHandleW(nullptr), session);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(session.calls, std::vector<std::string>{"begin"});

    frame.ShowFrame(true);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(VisibleCompanions(hwnd), 1);  // the shadow
    frame.UnfoldHistory(true);
    EXPECT_EQ(VisibleCompanions(hwnd), 2);  // and the panel
    frame.UnfoldHistory(false);
    EXPECT_EQ(VisibleCompanions(hwnd), 1);
    frame.HideFrame();
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(VisibleCompanions(hwnd), 1);
    frame.HideAll();
    EXPECT_EQ(VisibleCompanions(hwnd), 0);
    EXPECT_EQ(session.calls.size(), 1u) << "showing asked the session nothing";

    EXPECT_EQ(SendMessageW(hwnd, UM_QUERY_ENFORCE, 0, 0), 7);
    EXPECT_EQ(SendMessageW(hwnd, UM_DOWNLOAD_STEP, 0, 0), 7);
    EXPECT_TRUE(session.Saw("message 6") && session.Saw("message 0"));
    std::vector<std::uint8_t> bytes = EncodeNoticeRecord({});
    COPYDATASTRUCT data = {kCopyDataTag, 139, bytes.data()};  // a short record is handed on too
    SendMessageW(hwnd, WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd),
                 reinterpret_cast<LPARAM>(&data));
    EXPECT_TRUE(session.Saw("record 139"));
    frame.StartTimer(100, 10);
    EXPECT_TRUE(PumpUntil(3000, [&] { return session.Saw("timer 100"); }));

    // Clicks by the areas they land in, with the real cursor there.
    frame.ShowForClick();
    EXPECT_TRUE(IsWindowVisible(hwnd));
    for (const POINT at : {POINT{kCloseRect.left + 5, kCloseRect.top + 5},
                           POINT{kBarRect.left + 5, kBarRect.top + 5}, POINT{5, 40}}) {
        POINT screen = at;
        ClientToScreen(hwnd, &screen);
        SetCursorPos(screen.x, screen.y);
        SendMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    }
    EXPECT_TRUE(session.Saw("click close"));
    EXPECT_TRUE(session.Saw("click bar"));
    EXPECT_TRUE(session.Saw("click"));

    frame.MoveOffScreen();
    RECT r;
    GetWindowRect(hwnd, &r);
    EXPECT_EQ(r.left, -10000);
    EXPECT_EQ(r.right - r.left, 380);

    // A close the session refuses leaves the window; one it runs destroys it.
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(hwnd));
    session.closeRuns = true;
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(hwnd));
}

}  // namespace
