// The two windows that follow the main window: the drop shadow (dialog 231) and the history
// panel (dialog 235). Both are modeless dialogs owned by the frame.
#pragma once

#include <windows.h>

#include <memory>

#include "ui/geometry.h"

namespace Gdiplus {
class Bitmap;
}

class CCompanionDlg {
  public:
    explicit CCompanionDlg(int templateId) : templateId_(templateId) {}
    virtual ~CCompanionDlg();
    CCompanionDlg(const CCompanionDlg&) = delete;
    CCompanionDlg& operator=(const CCompanionDlg&) = delete;

    // Creates the dialog once; later calls keep the existing window.
    bool Create(HWND owner);
    HWND Hwnd() const { return hwnd_; }
    bool Exists() const { return hwnd_ != nullptr; }

    void Show(int command) const;
    // Topmost, without activation. Nothing happens before the window exists.
    void MoveTo(const Rect& rect) const;
    void MoveWithoutResize(int x, int y) const;
    Rect ScreenRect() const;
    void Repaint() const;

  protected:
    // Called once the dialog exists, with its owner.
    virtual void OnCreated(HWND) {}
    // A message of the dialog; true when handled, with the dialog procedure's answer in `result`.
    virtual bool OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    int templateId_;
    HWND hwnd_ = nullptr;
};

// The soft shadow around the frame (and the unfolded panel): a per-pixel-alpha layered window
// painted from the nine-slice image 232, which lets every click through to the windows below.
class CShadowDlg : public CCompanionDlg {
  public:
    CShadowDlg();
    ~CShadowDlg() override;

  protected:
    void OnCreated(HWND owner) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

  private:
    void PaintInto(HDC dc) const;

    std::unique_ptr<Gdiplus::Bitmap> source_;
};

// The history panel: white, with the browser window of its own thread over its client area.
class CHistoryDlg : public CCompanionDlg {
  public:
    CHistoryDlg();
    ~CHistoryDlg() override;

    // The browser window; null until the browser thread has made it.
    HWND Browser() const { return browser_; }

  protected:
    void OnCreated(HWND owner) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

  private:
    HWND owner_ = nullptr;
    HWND browser_ = nullptr;
    HBRUSH white_ = nullptr;
};

// Moves a window topmost without activating it; no-op for a null window.
void PlaceTopmost(HWND hwnd, const Rect& rect);
Rect WindowScreenRect(HWND hwnd);
