// The updater's only top-level window: the skinned frame beside the notification area, with its
// shadow and history panel. It shows what the session tells it and hands the session what it
// receives: the jobs' private messages, its timer, the clicks, records from the calling program
// and WM_CLOSE. It decides nothing about the session.
#pragma once

#include <windows.h>

#include <string>

#include "base/unique_handle_win.h"
#include "ui/companions_win.h"
#include "ui/frame_picture.h"
#include "ui/frame_rules.h"
#include "ui/session_view.h"
#include "ui/skin_win.h"

inline const wchar_t kFrameClassName[] = L"_tallix_orvane";
inline const wchar_t kFrameTitle[] = L"升级程序 - Orvane";

class CMainFrame : public SessionView {
  public:
    CMainFrame() = default;
    ~CMainFrame() override;
    CMainFrame(const CMainFrame&) = delete;
    CMainFrame& operator=(const CMainFrame&) = delete;

    // Registers the class and creates the window; the session's check runs before this returns.
    HWND Create(HINSTANCE instance, SessionInput& session);
    HWND Hwnd() const { return hwnd_; }

    // What the session asks of the window (main_frame_win.cpp).
    HWND Window() const override { return hwnd_; }
    void ShowFrame(bool show) override;
    void HideFrame() override;
    void HideFrameAndShadow() override;
    void HideAll() override;
    void ShowForClick() override;
    void MoveOffScreen() override;
    void UnfoldHistory(bool unfold) override;
    void ShowHistoryPage(const std::wstring& path) override;
    void StartTimer(UINT_PTR id, UINT milliseconds) override;
    void ShowErrorBox(const std::wstring& text, const std::wstring& caption) override;
    void Close(bool now) override;
    // (frame_paint_win.cpp)
    void RepaintProgress() override;
    void RepaintWindow() override;
    void SetDisplayedPercent(double percent) override { displayedPercent_ = percent; }

  private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT ProcessWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

    LRESULT OnCreate();
    void SetUpWindow();
    // Mouse input (frame_input_win.cpp).
    LRESULT OnHitTest(LPARAM lParam) const;
    void OnMouseMove(LPARAM lParam);
    void OnNcMouseMove();
    void OnMouseLeave();
    void OnClick();
    // Updates the three hover states from a client point; repaints what changed.
    void UpdateHover(POINT client);
    // Painting (frame_paint_win.cpp).
    FrameView View() const;
    void OnPaint();
    void PaintTo(HDC dc);
    void Repaint(const RECT* area);

    SessionInput* session_ = nullptr;
    HWND hwnd_ = nullptr;
    CShadowDlg shadow_;
    CHistoryDlg history_;
    UniqueIcon smallIcon_;

    // The skin and what the painting keeps between paints.
    FrameSkin skin_;
    double displayedPercent_ = 0;
    ProgressLook requestedLook_;  // of the latest picture painted or asked for by a progress step
    Rect buttonRect_ = kButtonRect;
    Rect suiteLinkRect_ = kSuiteLinkRect;

    int closeHover_ = 0;
    int buttonHover_ = 0;
    int barHover_ = 0;
    bool mouseTracking_ = false;
};
