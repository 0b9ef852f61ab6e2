#include "ui/companions_win.h"

#include <objidl.h>
#include <gdiplus.h>

#include "base/session_state.h"
#include "manifest/history_win.h"
#include "manifest/web_browser_win.h"
#include "res/resource.h"
#include "ui/placement.h"
#include "ui/skin_win.h"

CCompanionDlg::~CCompanionDlg() {
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        DestroyWindow(hwnd_);
    }
}

INT_PTR CALLBACK CCompanionDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // Neither companion takes the focus or handles input of its own.
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        return FALSE;
    }
    auto* self = reinterpret_cast<CCompanionDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    INT_PTR result = 0;
    if (self == nullptr || self->hwnd_ != hwnd ||
        !self->OnMessage(message, wParam, lParam, result)) {
        return FALSE;
    }
    if (message == WM_CTLCOLORDLG) {
        return result;  // the brush itself
    }
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

bool CCompanionDlg::Create(HWND owner) {
    if (hwnd_ == nullptr) {
        hwnd_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
        if (hwnd_ != nullptr) {
            OnCreated(owner);
        }
    }
    return hwnd_ != nullptr;
}

void CCompanionDlg::Show(int command) const {
    if (hwnd_ != nullptr) {
        ShowWindow(hwnd_, command);
    }
}

void CCompanionDlg::MoveTo(const Rect& rect) const {
    PlaceTopmost(hwnd_, rect);
}

void CCompanionDlg::MoveWithoutResize(int x, int y) const {
    if (hwnd_ != nullptr) {
        SetWindowPos(hwnd_, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

Rect CCompanionDlg::ScreenRect() const {
    return WindowScreenRect(hwnd_);
}

void CCompanionDlg::Repaint() const {
    if (hwnd_ != nullptr) {
        InvalidateRect(hwnd_, nullptr, TRUE);
    }
}

CShadowDlg::CShadowDlg() : CCompanionDlg(IDD_SHADOW) {}
CShadowDlg::~CShadowDlg() = default;

void CShadowDlg::OnCreated(HWND owner) {
    // Clicks go through to the windows below. The window becomes layered with its first paint
    // (a layered window that has never been given a picture is not asked to paint one).
    const LONG_PTR exStyle = GetWindowLongPtrW(Hwnd(), GWL_EXSTYLE);
    SetWindowLongPtrW(Hwnd(), GWL_EXSTYLE, exStyle | WS_EX_TRANSPARENT);
    // Sized for the panel's present state, so that a shadow shown before the frame first moves
    // already fits it; the check then moves it into place.
    MoveTo(ShadowRectFor(WindowScreenRect(owner), Session().historyExpanded));
    source_ = LoadSkinImage(IDP_SHADOW);
}

bool CShadowDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    switch (message) {
        case WM_ERASEBKGND:
            result = 1;
            return true;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            BeginPaint(Hwnd(), &paint);
            EndPaint(Hwnd(), &paint);
            ComposeLayered(Hwnd(), [this](HDC dc) { PaintInto(dc); });
            result = 0;
            return true;
        }
        case WM_PRINTCLIENT:
            PaintInto(reinterpret_cast<HDC>(wParam));
            result = 0;
            return true;
        default:
            return false;
    }
}

void CShadowDlg::PaintInto(HDC dc) const {
    RECT client = {};
    GetClientRect(Hwnd(), &client);
    PaintShadow(dc, client.right, client.bottom, Session().historyExpanded, source_.get());
}

CHistoryDlg::CHistoryDlg() : CCompanionDlg(IDD_HISTORY) {}

CHistoryDlg::~CHistoryDlg() {
    if (white_ != nullptr) {
        DeleteObject(white_);
    }
}

void CHistoryDlg::OnCreated(HWND owner) {
    owner_ = owner;
    // Below the frame, where it unfolds: the panel is only ever seen there.
    PlaceTopmost(Hwnd(), PanelRectFor(WindowScreenRect(owner)));
    white_ = CreateSolidBrush(RGB(255, 255, 255));
    StartBrowserThread(Hwnd(), kWebBrowserClassId);
}

bool CHistoryDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) {
    switch (message) {
        case WM_CTLCOLORDLG:
            result = reinterpret_cast<INT_PTR>(white_);
            return true;
        case UM_BROWSER_READY: {
            // The panel keeps the visibility that the bottom bar gave it; the page is shown in
            // the browser as soon as there is one.
            browser_ = reinterpret_cast<HWND>(wParam);
            const std::wstring page = HistoryPagePath();
            if (GetFileAttributesW(page.c_str()) != INVALID_FILE_ATTRIBUTES) {
                PostShowPage(browser_,
                             static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(owner_)), page);
            }
            result = 0;
            return true;
        }
        default:
            return false;
    }
}

void PlaceTopmost(HWND hwnd, const Rect& rect) {
    if (hwnd != nullptr) {
        SetWindowPos(hwnd, HWND_TOPMOST, rect.left, rect.top, rect.Width(), rect.Height(),
                     SWP_NOACTIVATE);
    }
}

Rect WindowScreenRect(HWND hwnd) {
    RECT r = {};
    if (hwnd != nullptr) {
        GetWindowRect(hwnd, &r);
    }
    return {r.left, r.top, r.right, r.bottom};
}
