// The main window's side of installing: what the finishing handlers read and write on it.
#include <utility>
#include <vector>

#include "base/command_line.h"
#include "base/session_state.h"
#include "manifest/history_win.h"
#include "ui/frame_rules.h"
#include "ui/main_frame_win.h"
#include "app/notice_record.h"
#include "app/notice_win.h"

std::vector<HistoryNote> CMainFrame::HistoryNotes() const {
    std::vector<HistoryNote> notes;
    for (const HistoryRecord& record : HistoryRecords()) {
        notes.push_back({record.tag, record.notes, record.version});
    }
    return notes;
}

// Every paint composes the whole layered window, which costs far more than a download block, so
// a progress step repaints only when the picture would change (its filled width or its text);
// what the window shows at any moment is the same as with a paint per step.
void CMainFrame::RepaintProgress() {
    ProgressLook next = LookOf(PlanFrame(View(), buttonRect_, suiteLinkRect_));
    if (next == requestedLook_) {
        return;
    }
    requestedLook_ = std::move(next);
    const RECT progress = {kProgressRect.left, kProgressRect.top, kProgressRect.right,
                           kProgressRect.bottom};
    Repaint(&progress);
}

void CMainFrame::RepaintWindow() {
    Repaint(nullptr);
}

void CMainFrame::HideFrameAndShadowWindows() {
    HideFrameAndShadow();
}

void CMainFrame::HideAllWindows() {
    ShowWindow(hwnd_, SW_HIDE);
    shadow_.Show(SW_HIDE);
    history_.Show(SW_HIDE);
}

void CMainFrame::ShowForClick() {
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    shadow_.Show(SW_SHOW);
}

void CMainFrame::SendCallerRecord(std::uint32_t status, std::uint32_t percent) {
    SendNoticeRecord(hwnd_, status, percent);
}
