// Painting of the main window: every paint composes the whole window from the skin images and
// the system's text into a 32-bit bitmap and hands it to the layered window.
#include <objidl.h>
#include <gdiplus.h>

#include "base/command_line.h"
#include "base/session_state.h"
#include "ui/main_frame_win.h"

void CMainFrame::LoadSkinImages() {
    skin_.Load();
}

FrameView CMainFrame::View() const {
    const SessionOptions& options = Options();
    const SessionState& session = Session();
    FrameView view;
    view.closeHover = closeHover_;
    view.buttonHover = buttonHover_;
    view.barHover = barHover_;
    view.displayName = decision_.currentName;
    view.targetVersion = decision_.currentVersion;
    view.suiteCaller = options.suiteCaller;
    view.silent = options.silent;
    view.productUpdatePending = session.productUpdatePending;
    view.updatesAvailable = session.updatesAvailable;
    view.historyExpanded = session.historyExpanded;
    view.jobFinished = session.jobFinished;
    view.setupKind = session.setupKind;
    view.pendingCount = ProductPendingCount(items_, options.productKey);
    view.packageCount = PackageCount(items_, suiteProduct_);
    view.jobKind = jobKind_;
    view.interactive = interactive_;
    view.productInstalled = productInstalled_;
    view.startReason = startReason_;
    view.jobPercent = jobPercent_;
    view.downloadedCount = session.downloadedCount;
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
