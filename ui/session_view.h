// The two sides of the main window's contract with the session that drives it. The session
// decides everything and tells the window what to show through `SessionView`; the window paints,
// places and hit-tests, and hands on what it receives (records from callers, job messages,
// clicks, timers, close requests) through `SessionInput`. Neither side sees the other's class.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "ui/frame_picture.h"
#include "ui/frame_rules.h"

// What the session asks of the window. Nothing here decides anything.
class SessionView {
  public:
    virtual ~SessionView() = default;

    // The window's handle: where the jobs post their steps, and the sender of the records this
    // program sends to the suite's windows.
    virtual HWND Window() const = 0;

    // The frame and its shadow together, shown or hidden.
    virtual void ShowFrame(bool show) = 0;
    // The frame alone.
    virtual void HideFrame() = 0;
    virtual void HideFrameAndShadow() = 0;
    // The frame, its shadow and the history panel.
    virtual void HideAll() = 0;
    // The frame (not activated) and its shadow, to wait for the person's click.
    virtual void ShowForClick() = 0;
    // Topmost, far off the screen, at the frame's size.
    virtual void MoveOffScreen() = 0;
    // Unfolds the history panel below the frame, or folds it away.
    virtual void UnfoldHistory(bool unfold) = 0;
    // Asks the panel's browser to show the page at `path`.
    virtual void ShowHistoryPage(const std::wstring& path) = 0;

    // Repaints the progress area when its picture would change.
    virtual void RepaintProgress() = 0;
    virtual void RepaintWindow() = 0;
    // The overall percentage the next paint starts from.
    virtual void SetDisplayedPercent(double percent) = 0;

    // A window timer; its expiry comes back as SessionInput::Timer.
    virtual void StartTimer(UINT_PTR id, UINT milliseconds) = 0;
    // The system's message box, owned by the frame.
    virtual void ShowErrorBox(const std::wstring& text, const std::wstring& caption) = 0;
    // Asks the window to close: at once (returning once the close has run) or by a posted
    // message.
    virtual void Close(bool now) = 0;
};

// What the window hands on to the session.
class SessionInput {
  public:
    virtual ~SessionInput() = default;

    // The window exists and is set up: the session runs its check.
    virtual void Begin() = 0;
    // WM_CLOSE. False when the close sequence already runs, and the window stays until it ends.
    virtual bool CloseRequested() = 0;
    // A click, by the active areas it landed in.
    virtual void Click(const ClickAt& at) = 0;
    // A record from another program (WM_COPYDATA) and the window that sent it.
    virtual void CallerRecord(WPARAM sender, const void* data, std::size_t size) = 0;
    virtual void Timer(UINT_PTR id) = 0;
    // The private messages of the jobs and of a second updater; false for any other message.
    virtual bool SessionMessage(UINT message, LRESULT& result) = 0;

    // The session's part of what the picture depends on (the window adds hover and the
    // displayed percentage), and of the cursor.
    virtual FrameView Picture() const = 0;
    virtual CursorInputs Cursor() const = 0;
};
