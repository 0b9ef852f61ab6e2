#include "ui/main_frame_win.h"

#include "base/session_state.h"
#include "manifest/web_browser_win.h"
#include "report/error_box_win.h"
#include "base/os_version_win.h"
#include "res/resource.h"
#include "ui/placement_win.h"

namespace {

constexpr DWORD kFrameStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS;                // 0x94000000
constexpr DWORD kFrameExStyle = WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;  // 0x08000088

using ChangeWindowMessageFilterFn = BOOL(WINAPI*)(UINT, DWORD);

// Lets a caller at a lower integrity level send its records (Vista and later only).
void AllowCopyDataFromLowerIntegrity() {
    if (!VistaOrLater()) {
        return;
    }
    auto change = reinterpret_cast<ChangeWindowMessageFilterFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "ChangeWindowMessageFilter")));
    if (change != nullptr) {
        change(WM_COPYDATA, 1 /* MSGFLT_ADD */);
    }
}

}  // namespace

CMainFrame::~CMainFrame() {
    if (hwnd_ != nullptr && IsWindow(hwnd_)) {
        DestroyWindow(hwnd_);
    }
}

HWND CMainFrame::Create(HINSTANCE instance, SessionInput& session) {
    session_ = &session;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kFrameClassName;
    RegisterClassExW(&wc);
    return CreateWindowExW(kFrameExStyle, kFrameClassName, kFrameTitle, kFrameStyle, 0, 0, 380, 175,
                           nullptr, nullptr, instance, this);
}

LRESULT CALLBACK CMainFrame::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<CMainFrame*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<CMainFrame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr) {
        bool handled = false;
        const LRESULT result = self->ProcessWindowMessage(message, wParam, lParam, handled);
        if (handled) {
            return result;
        }
        if (message == WM_NCDESTROY) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
            self->hwnd_ = nullptr;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CMainFrame::ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                         bool& handled) {
    handled = true;
    LRESULT result = 0;
    if (message >= UM_DOWNLOAD_STEP && message <= UM_QUERY_ENFORCE &&
        session_->SessionMessage(message, result)) {
        return result;
    }
    switch (message) {
        case WM_CREATE:
            return OnCreate();
        case WM_CLOSE:
            // The default processing destroys the window once the session's close has run.
            handled = !session_->CloseRequested();
            return 0;
        case WM_NCHITTEST:
            return OnHitTest(lParam);
        case WM_MOUSELEAVE:
            OnMouseLeave();
            return 0;
        case WM_MOUSEHOVER:
            mouseTracking_ = false;
            Repaint(nullptr);
            return 0;
        case WM_SETTINGCHANGE:
            AttachCompanions(hwnd_, shadow_, history_, Session().historyExpanded);
            return 1;
        case WM_ERASEBKGND:
            return 1;  // everything is painted in WM_PAINT through a memory bitmap
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_PRINTCLIENT:
            PaintTo(reinterpret_cast<HDC>(wParam));
            return 0;
        case WM_LBUTTONUP:
            OnClick();
            return 0;
        case WM_MOUSEMOVE:
            OnMouseMove(lParam);
            return 0;
        case WM_NCMOUSEMOVE:
            OnNcMouseMove();
            return 0;
        case WM_COPYDATA: {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            session_->CallerRecord(wParam, data != nullptr ? data->lpData : nullptr,
                                   data != nullptr ? data->cbData : 0);
            return 0;
        }
        case WM_TIMER:
            session_->Timer(wParam);
            return 0;
        case WM_MOVE:
            AttachCompanions(hwnd_, shadow_, history_, Session().historyExpanded);
            return 0;
        default:
            handled = false;
            return 0;
    }
}

LRESULT CMainFrame::OnCreate() {
    AllowCopyDataFromLowerIntegrity();
    SetUpWindow();
    session_->Begin();
    return 0;
}

// Hidden, with its icon, skin and place beside the taskbar, and its two companions made.
void CMainFrame::SetUpWindow() {
    ReseatTaskbarButtons();
    ShowWindow(hwnd_, SW_HIDE);
    smallIcon_.Reset(static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0)));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.Get()));
    skin_.Load();
    PlaceFrame(hwnd_);

    history_.Create(hwnd_);
    history_.Show(SW_SHOW);
    shadow_.Create(hwnd_);
    shadow_.Show(SW_HIDE);
    history_.Show(SW_HIDE);
    const Rect frame = WindowScreenRect(hwnd_);
    shadow_.MoveWithoutResize(frame.left - kShadowMargin, frame.top - kShadowMargin);
    shadow_.Repaint();
}

void CMainFrame::ShowFrame(bool show) {
    const int command = show ? SW_SHOW : SW_HIDE;
    ShowWindow(hwnd_, command);
    shadow_.Show(command);
}

void CMainFrame::HideFrame() {
    ShowWindow(hwnd_, SW_HIDE);
}

void CMainFrame::HideFrameAndShadow() {
    ShowWindow(hwnd_, SW_HIDE);
    shadow_.Show(SW_HIDE);
}

void CMainFrame::HideAll() {
    history_.Show(SW_HIDE);
    shadow_.Show(SW_HIDE);
    ShowWindow(hwnd_, SW_HIDE);
}

void CMainFrame::ShowForClick() {
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    shadow_.Show(SW_SHOW);
}

void CMainFrame::MoveOffScreen() {
    SetWindowPos(hwnd_, HWND_TOPMOST, -10000, -10000, kFrameWidth, kFrameHeight, SWP_NOACTIVATE);
}

void CMainFrame::UnfoldHistory(bool unfold) {
    if (unfold) {
        ExpandHistory(hwnd_, shadow_, history_);
        history_.Show(SW_SHOWNOACTIVATE);
    } else {
        history_.Show(SW_HIDE);
        CollapseHistory(hwnd_, shadow_, history_);
    }
    barHover_ = 0;
}

void CMainFrame::ShowHistoryPage(const std::wstring& path) {
    PostShowPage(history_.Browser(), static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(hwnd_)),
                 path);
}

void CMainFrame::StartTimer(UINT_PTR id, UINT milliseconds) {
    SetTimer(hwnd_, id, milliseconds, nullptr);
}

void CMainFrame::ShowErrorBox(const std::wstring& text, const std::wstring& caption) {
    ::ShowErrorBox(hwnd_, text, caption, MB_ICONINFORMATION);
}

void CMainFrame::Close(bool now) {
    if (now) {
        SendMessageW(hwnd_, WM_CLOSE, 0, 0);
    } else {
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    }
}
