// Mouse input of the main window: hit test, hover, cursor and the click handler.
#include <windowsx.h>

#include "base/command_line.h"
#include "apply/finish_win.h"
#include "download/download_jobs_win.h"
#include "ui/frame_rules.h"
#include "ui/main_frame_win.h"
#include "ui/placement_win.h"
#include "base/session_state.h"

namespace {

constexpr DWORD kWaitStepMs = 100;

Point ToPoint(POINT p) {
    return {p.x, p.y};
}

RECT ToRECT(const Rect& r) {
    return {r.left, r.top, r.right, r.bottom};
}

}  // namespace

LRESULT CMainFrame::OnHitTest(LPARAM lParam) const {
    POINT p = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(hwnd_, &p);
    return IsClientArea(ToPoint(p), buttonRect_, suiteLinkRect_) ? HTCLIENT : HTCAPTION;
}

void CMainFrame::UpdateHover(POINT client) {
    const Point p = ToPoint(client);
    struct Area {
        const Rect& rect;
        int& hover;
    };
    Area areas[] = {{kCloseRect, closeHover_}, {kBarRect, barHover_}, {buttonRect_, buttonHover_}};
    for (Area& area : areas) {
        const int now = area.rect.Contains(p) ? 1 : 0;
        if (now != area.hover) {
            area.hover = now;
            const RECT r = ToRECT(area.rect);
            Repaint(&r);
        }
    }
}

void CMainFrame::OnMouseMove(LPARAM lParam) {
    if (!mouseTracking_) {
        TRACKMOUSEEVENT track = {};
        track.cbSize = sizeof track;
        track.dwFlags = TME_HOVER | TME_LEAVE;
        track.hwndTrack = hwnd_;
        track.dwHoverTime = HOVER_DEFAULT;
        TrackMouseEvent(&track);
        mouseTracking_ = true;
    }
    const POINT client = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    UpdateHover(client);

    CursorInputs in;
    in.suiteCaller = Options().suiteCaller;
    in.productUpdatePending = Session().productUpdatePending;
    in.anyJobPastRunning = Session().AnyJobPastRunning();
    const bool hand =
        CursorAt(ToPoint(client), in, buttonRect_, suiteLinkRect_) == CursorShape::kHand;
    SetCursor(LoadCursorW(nullptr, hand ? IDC_HAND : IDC_ARROW));
}

void CMainFrame::OnNcMouseMove() {
    // Once the cursor is over the caption area the window may be activated and dragged.
    const LONG_PTR exStyle = GetWindowLongPtrW(hwnd_, GWL_EXSTYLE);
    SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, exStyle & ~static_cast<LONG_PTR>(WS_EX_NOACTIVATE));
    POINT p;
    GetCursorPos(&p);
    ScreenToClient(hwnd_, &p);
    UpdateHover(p);
    barHover_ = kBarRect.Contains(ToPoint(p)) ? 1 : 0;
}

void CMainFrame::OnMouseLeave() {
    mouseTracking_ = false;
    closeHover_ = buttonHover_ = barHover_ = 0;
    Repaint(nullptr);
}

void CMainFrame::OnClick() {
    POINT cursor;
    GetCursorPos(&cursor);
    ScreenToClient(hwnd_, &cursor);
    const Point p = ToPoint(cursor);
    SessionState& session = Session();

    if (kCloseRect.Contains(p)) {
        history_.Show(SW_HIDE);
        shadow_.Show(SW_HIDE);
        ShowWindow(hwnd_, SW_HIDE);
        if (session.normalJobState == kJobRunning) {
            StopNormalDownloader();
            Sleep(kWaitStepMs);
        }
        // An installation in progress is let finish; it runs on this thread inside a finishing
        // handler, so the flag can only still be set by a handler that is being unwound.
        while (installing_) {
            Sleep(kWaitStepMs);
        }
        SendMessageW(hwnd_, WM_CLOSE, 0, 0);
        return;
    }
    if (!interactive_) {
        return;
    }
    if (kBarRect.Contains(p)) {
        if (session.historyExpanded) {
            history_.Show(SW_HIDE);
            CollapseHistory(hwnd_, shadow_, history_);
        } else {
            ExpandHistory(hwnd_, shadow_, history_);
            history_.Show(SW_SHOWNOACTIVATE);
        }
        session.historyExpanded = !session.historyExpanded;
        barHover_ = 0;
    }
    if (session.AnyJobRunning()) {
        return;  // no second job while one transfers
    }
    if (buttonRect_.Contains(p)) {
        if (session.jobFinished) {
            HideFrameAndShadow();
            RunFinishingAction(*this);
            SendMessageW(hwnd_, WM_CLOSE, 0, 0);
            return;
        }
        if (!suiteProduct_ && (productInstalled_ || session.productUpdatePending)) {
            productInstalled_ = true;
            startReason_ = 2;
            PostMessageW(hwnd_, UM_DOWNLOAD_STEP, 0, 0);
        } else {
            InstallSuite();
        }
    }
    if (suiteLinkRect_.Contains(p) && !Options().silent && !productInstalled_ &&
        session.productUpdatePending) {
        InstallSuite();
    }
}

void CMainFrame::InstallSuite() {
    SessionOptions& options = Options();
    options.toolCode = options.productKey == L"keldra" ? L"u122" : L"u59";
    options.productKey = L"keldra";
    options.toolCodeGiven = true;
    options.installPackage = true;
    options.suiteCaller = true;
    options.silent = false;
    StartPackageJob(*this);
    Session().setupKind = 1;
}

void CMainFrame::HideFrameAndShadow() {
    ShowWindow(hwnd_, SW_HIDE);
    shadow_.Show(SW_HIDE);
}
