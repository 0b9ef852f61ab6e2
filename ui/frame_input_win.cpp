// Mouse input of the main window: hit test, hover, cursor, and the click handed to the session by
// the areas it landed in.
#include <windowsx.h>

#include "ui/frame_rules.h"
#include "ui/main_frame_win.h"

namespace {

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

    const bool hand = CursorAt(ToPoint(client), session_->Cursor(), buttonRect_, suiteLinkRect_) ==
                      CursorShape::kHand;
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
    ClickAt at;
    at.close = kCloseRect.Contains(p);
    at.bar = kBarRect.Contains(p);
    at.button = buttonRect_.Contains(p);
    at.suiteLink = suiteLinkRect_.Contains(p);
    session_->Click(at);
}
