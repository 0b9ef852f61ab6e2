// Placement of the frame beside the taskbar's notification area, and of its companions.
#pragma once

#include <windows.h>

#include "ui/companions_win.h"
#include "ui/placement.h"

// The taskbar ("Shell_TrayWnd"): its window and screen rectangle, read when built and again on
// request.
class TaskbarInfo {
  public:
    TaskbarInfo();
    HWND Handle() const { return hwnd_; }
    TaskbarGeometry Read() const;
    TaskbarEdge Edge() const { return EdgeOf(Read()); }

  private:
    HWND hwnd_;
};

void PlaceFrame(HWND frame);
void AttachCompanions(HWND frame, const CShadowDlg& shadow, const CHistoryDlg& history,
                      bool historyExpanded);
void ExpandHistory(HWND frame, const CShadowDlg& shadow, const CHistoryDlg& history);
void CollapseHistory(HWND frame, const CShadowDlg& shadow, const CHistoryDlg& history);
void ReseatTaskbarButtons();
