#include "ui/companions_win.h"

#include "res/resource.h"

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
    if (message == WM_ERASEBKGND && self != nullptr &&
        self->EraseBackground(reinterpret_cast<HDC>(wParam))) {
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, 1);
        return TRUE;
    }
    return FALSE;
}

bool CCompanionDlg::Create(HWND owner) {
    if (hwnd_ == nullptr) {
        hwnd_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner,
                                   DialogProc, reinterpret_cast<LPARAM>(this));
        if (hwnd_ != nullptr) {
            OnCreated();
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

namespace {
const COLORREF kKeyedOut = RGB(255, 0, 255);
const COLORREF kShadowGrey = RGB(120, 120, 120);
constexpr int kBorder = 7;
}  // namespace

void CShadowDlg::OnCreated() {
    const LONG_PTR exStyle = GetWindowLongPtrW(Hwnd(), GWL_EXSTYLE);
    SetWindowLongPtrW(Hwnd(), GWL_EXSTYLE, exStyle | WS_EX_LAYERED | WS_EX_TRANSPARENT);
    SetLayeredWindowAttributes(Hwnd(), kKeyedOut, 0, LWA_COLORKEY);
}

bool CShadowDlg::EraseBackground(HDC dc) {
    RECT client;
    GetClientRect(Hwnd(), &client);
    HBRUSH grey = CreateSolidBrush(kShadowGrey);
    FillRect(dc, &client, grey);
    DeleteObject(grey);
    RECT inside = {kBorder, kBorder, client.right - kBorder, client.bottom - kBorder};
    HBRUSH key = CreateSolidBrush(kKeyedOut);
    FillRect(dc, &inside, key);
    DeleteObject(key);
    return true;
}

CHistoryDlg::CHistoryDlg() : CCompanionDlg(IDD_HISTORY) {}

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
