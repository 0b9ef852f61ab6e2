// The two windows that follow the main window: the drop shadow (dialog 231) and the history
// panel (dialog 235). Both are modeless dialogs owned by the frame.
#pragma once

#include <windows.h>

#include "ui/geometry.h"

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
    // Called once the dialog exists; and to draw its background. False: the default drawing.
    virtual void OnCreated() {}
    virtual bool EraseBackground(HDC) { return false; }

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    int templateId_;
    HWND hwnd_ = nullptr;
};

// Until the skinned shadow is painted, the shadow is a plain grey border: a layered window whose
// inside is keyed out and which lets every click through to the frame below it.
class CShadowDlg : public CCompanionDlg {
  public:
    CShadowDlg();

  protected:
    void OnCreated() override;
    bool EraseBackground(HDC dc) override;
};

class CHistoryDlg : public CCompanionDlg {
  public:
    CHistoryDlg();
};

// Moves a window topmost without activating it; no-op for a null window.
void PlaceTopmost(HWND hwnd, const Rect& rect);
Rect WindowScreenRect(HWND hwnd);
