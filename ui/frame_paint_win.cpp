// Painting of the main window: every paint composes the whole window from the skin images and
// the system's text into a 32-bit bitmap and hands it to the layered window.
#include <objidl.h>
#include <gdiplus.h>

#include <utility>

#include "ui/main_frame_win.h"

// The session's part of the picture, with what only the window knows: hover and the percentage
// painted so far.
FrameView CMainFrame::View() const {
    FrameView view = session_->Picture();
    view.closeHover = closeHover_;
    view.buttonHover = buttonHover_;
    view.barHover = barHover_;
    view.displayedPercent = displayedPercent_;
    return view;
}

void CMainFrame::OnPaint() {
    PAINTSTRUCT paint;
    BeginPaint(hwnd_, &paint);
    EndPaint(hwnd_, &paint);
    ComposeLayered(hwnd_, [this](HDC dc) { PaintTo(dc); });
}

void CMainFrame::PaintTo(HDC dc) {
    const FramePicture picture = PlanFrame(View(), buttonRect_, suiteLinkRect_);
    // The hit test and the click handler use the rectangles where the picture put them.
    buttonRect_ = picture.buttonRect;
    suiteLinkRect_ = picture.suiteLinkRect;
    displayedPercent_ = picture.displayedPercent;
    PaintFrame(dc, picture, skin_);
    requestedLook_ = LookOf(picture);
}

// Every paint composes the whole layered window, which costs far more than a download block, so
// a progress step repaints only when the picture would change (its filled width or its text);
// what the window shows at any moment is the same as with a paint per step.
void CMainFrame::RepaintProgress() {
    ProgressLook next = LookOf(PlanFrame(View(), buttonRect_, suiteLinkRect_));
    if (next == requestedLook_) {
        return;
    }
    requestedLook_ = std::move(next);
    const RECT progress = {kProgressRect.left, kProgressRect.top, kProgressRect.right,
                           kProgressRect.bottom};
    Repaint(&progress);
}

void CMainFrame::RepaintWindow() {
    Repaint(nullptr);
}

void CMainFrame::Repaint(const RECT* area) {
    if (hwnd_ != nullptr) {
        InvalidateRect(hwnd_, area, FALSE);
    }
}
