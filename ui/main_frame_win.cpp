#include "ui/main_frame_win.h"

#include <windowsx.h>

#include "base/command_line.h"
#include "build_values.h"
#include "download/download_host.h"
#include "manifest/machine_win.h"
#include "report/os_version_win.h"
#include "apply/finish_win.h"
#include "download/download_jobs_win.h"
#include "report/usage_report_win.h"
#include "ui/frame_rules.h"
#include "base/job_step.h"
#include "app/notice_record.h"
#include "app/notice_win.h"
#include "ui/placement_win.h"
#include "base/session_state.h"

namespace {

constexpr DWORD kFrameStyle = WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS;                // 0x94000000
constexpr DWORD kFrameExStyle = WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;  // 0x08000088
constexpr DWORD kStopWaitMs = 100;

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

HWND CMainFrame::Create(HINSTANCE instance) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kFrameClassName;
    RegisterClassExW(&wc);
    Session().Reset();
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
    switch (message) {
        case WM_CREATE:
            return OnCreate();
        case WM_CLOSE:
            // The close sequence runs once: a close request that arrives while it runs (a
            // caller's record, a finishing handler) finds the reports sent or being sent.
            if (closing_) {
                return 0;
            }
            closing_ = true;
            OnClose();
            handled = false;  // the default processing destroys the window
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
        case UM_DOWNLOAD_STEP:
            OnJobStep();
            return 0;
        case UM_DOWNLOAD_DONE:
            return OnDownloadDone(*this);
        case UM_ENFORCE_DONE:
            return OnEnforceDone(*this);
        case UM_ENFORCE_STEP:
            return OnEnforceStep(*this);
        case UM_PACKAGE_STEP:
            return OnPackageStep(*this);
        case UM_PACKAGE_DONE:
            return OnPackageDone(*this);
        case UM_QUERY_ENFORCE:
            return Options().enforce ? 1 : 0;
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
        case WM_COPYDATA:
            OnCopyData(wParam, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
            return 0;
        case WM_TIMER:
            OnTimer(wParam);
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
    moduleDir_ = ModuleDirectory();
    EnsureUpgradeFolders(*this);
    SessionOptions& options = Options();
    if (options.noticeWindow == 0) {
        HWND caller = FindWindowW(options.fromValue.c_str(), nullptr);
        options.noticeWindow = static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(caller));
    }
    DownloadHostBase() = TALLIX_DOWNLOAD_HOST;
    upgrade_.downloadBase = DownloadHostBase();
    settings_.downloadAddress = TALLIX_DOWNLOAD_IP;  // until the settings manifest names one
    CheckForUpdates();
    return 0;
}

void CMainFrame::OnClose() {
    history_.Show(SW_HIDE);
    shadow_.Show(SW_HIDE);
    ShowWindow(hwnd_, SW_HIDE);
    if (!Session().handedOver) {
        DeleteTree(moduleDir_ + L"\\OldVersion", true);
    }
    if (Session().normalJobState == kJobRunning) {
        StopNormalDownloader();
        Sleep(kStopWaitMs);
    }
    SendUsageReports(moduleDir_, items_);
    PostQuitMessage(0);
}

void CMainFrame::OnTimer(WPARAM id) {
    // The timer is not killed: the window closes.
    if (id == kAutoCloseTimer) {
        PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    }
}

void CMainFrame::OnCopyData(WPARAM sender, const COPYDATASTRUCT* data) {
    Options().noticeWindow = static_cast<std::uint32_t>(static_cast<UINT_PTR>(sender));
    if (data != nullptr &&
        IsCloseRequest(static_cast<const std::uint8_t*>(data->lpData), data->cbData)) {
        SendMessageW(hwnd_, WM_CLOSE, 0, 0);
    }
}

// The normal job's step (the enforced and package steps are the installers' own handlers).
void CMainFrame::OnJobStep() {
    SessionState& session = Session();
    std::atomic<std::int32_t>& state = session.normalJobState;
    const StepAction action = StepFor(state, kNormalJobSteps);
    if (action.startThread) {
        StartJobOfKind();
    }
    if (action.reportProgress) {
        jobPercent_ = NormalDownloadPercent();
        RepaintProgress();
        SendNotice(hwnd_, kNoticeDownloading, static_cast<std::uint32_t>(jobPercent_));
    }
    if (action.countDownload) {
        ++session.downloadedCount;
    }
    if (action.reportFailure) {
        SendNotice(hwnd_, kNoticeFailed, 100);
    }
    if (action.newState >= 0) {
        state = action.newState;
    }
    if (action.releaseJob) {
        session.jobIdle = true;
    }
}

void CMainFrame::StartJobOfKind() {
    switch (jobKind_) {
        case kJobNormalUpdate:
            StartNormalUpdateJob(*this);
            break;
        case kJobMainSetup:
            StartMainSetupJob(*this);
            break;
        case kJobSelfUpdate:
            CreateDirectoryW((moduleDir_ + L"upgrade").c_str(), nullptr);
            StartSelfUpdateJob(*this);
            break;
        default:
            break;
    }
}

void CMainFrame::ApplyShowRule() {
    const SessionOptions& options = Options();
    const SessionState& session = Session();
    ShowInputs in;
    in.enforce = options.enforce;
    in.silent = options.silent;
    in.notice = options.notice;
    in.execute = options.execute;
    in.updatesAvailable = session.updatesAvailable;
    in.setupKind = session.setupKind;
    // A check that has already posted the close does not flash the window for the moment
    // before the close is handled: the session ends as it would have, unseen.
    const int command = ShouldShowFrame(in) && !closePosted_ ? SW_SHOW : SW_HIDE;
    ShowWindow(hwnd_, command);
    shadow_.Show(command);
}

void CMainFrame::PostClose() {
    closePosted_ = true;
    PostMessageW(hwnd_, WM_CLOSE, 0, 0);
}

void CMainFrame::Repaint(const RECT* area) {
    if (hwnd_ != nullptr) {
        InvalidateRect(hwnd_, area, FALSE);
    }
}
