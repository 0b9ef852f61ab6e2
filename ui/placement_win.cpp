#include "ui/placement_win.h"

TaskbarInfo::TaskbarInfo() : hwnd_(FindWindowExW(nullptr, nullptr, L"Shell_TrayWnd", nullptr)) {}

TaskbarGeometry TaskbarInfo::Read() const {
    TaskbarGeometry geometry;
    geometry.exists = hwnd_ != nullptr;
    geometry.rect = WindowScreenRect(hwnd_);
    RECT work = {};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) || work.right <= work.left ||
        work.bottom <= work.top) {
        work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    }
    geometry.workArea = {work.left, work.top, work.right, work.bottom};
    return geometry;
}

void PlaceFrame(HWND frame) {
    const TaskbarInfo taskbar;
    const ScreenMetrics screen{GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                               GetSystemMetrics(SM_CXFULLSCREEN)};
    const Point at = FramePosition(taskbar.Read(), screen);
    SetWindowPos(frame, HWND_TOPMOST, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

void AttachCompanions(HWND frame, const CShadowDlg& shadow, const CHistoryDlg& history,
                      bool historyExpanded) {
    const Rect f = WindowScreenRect(frame);
    history.MoveTo(PanelRectFor(f));
    shadow.MoveTo(ShadowRectFor(f, historyExpanded));
}

void ExpandHistory(HWND frame, const CShadowDlg& shadow, const CHistoryDlg& history) {
    const ExpandLayout layout = LayoutForExpand(WindowScreenRect(frame), TaskbarInfo().Read(),
                                                GetSystemMetrics(SM_CYSCREEN));
    if (layout.frameMoved) {
        history.MoveTo(layout.panel);
        PlaceTopmost(frame, layout.frame);
    }
    shadow.MoveTo(layout.shadow);
    shadow.Repaint();
}

void CollapseHistory(HWND frame, const CShadowDlg& shadow, const CHistoryDlg& history) {
    const CollapseLayout layout =
        LayoutForCollapse(WindowScreenRect(frame), history.ScreenRect(), TaskbarInfo().Read(),
                          GetSystemMetrics(SM_CYSCREEN));
    if (!(layout.frame == WindowScreenRect(frame))) {
        PlaceTopmost(frame, layout.frame);
    }
    shadow.MoveTo(layout.shadow);
    shadow.Repaint();
}

void ReseatTaskbarButtons() {
    HWND taskbar = FindWindowExW(nullptr, nullptr, L"Shell_TrayWnd", L"");
    HWND notify = FindWindowExW(taskbar, nullptr, L"TrayNotifyWnd", nullptr);
    HWND trayButton = FindWindowExW(notify, nullptr, L"TrayButton", nullptr);
    HWND showDesktop = FindWindowExW(notify, nullptr, L"TrayShowDesktopButtonWClass", nullptr);
    if (notify == nullptr) {
        return;  // every call below would act on null windows
    }
    const Rect n = WindowScreenRect(notify);
    const TrayButtonPositions at = ReseatPositions(n, WindowScreenRect(trayButton).Width(),
                                                   WindowScreenRect(showDesktop).Width());
    const UINT flags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    if (showDesktop != nullptr) {
        SetWindowPos(showDesktop, nullptr, at.showDesktop.x, at.showDesktop.y, 0, 0, flags);
    }
    if (trayButton != nullptr) {
        SetWindowPos(trayButton, nullptr, at.trayButton.x, at.trayButton.y, 0, 0, flags);
    }
}
