// The session as the jobs, the installers and the window's painting see it: what they read of
// its data, and the window operations they ask for, passed on to the view.
#include <vector>

#include "app/notice_win.h"
#include "app/session_win.h"
#include "base/command_line.h"
#include "base/session_state.h"
#include "manifest/history_win.h"

HWND UpdateSession::JobWindow() const {
    return view_.Window();
}

HWND UpdateSession::Hwnd() const {
    return view_.Window();
}

std::vector<HistoryNote> UpdateSession::HistoryNotes() const {
    std::vector<HistoryNote> notes;
    for (const HistoryRecord& record : HistoryRecords()) {
        notes.push_back({record.tag, record.notes, record.version});
    }
    return notes;
}

void UpdateSession::SetDisplayedPercent(double percent) {
    view_.SetDisplayedPercent(percent);
}

void UpdateSession::RepaintProgress() {
    view_.RepaintProgress();
}

void UpdateSession::RepaintWindow() {
    view_.RepaintWindow();
}

void UpdateSession::HideFrameAndShadowWindows() {
    view_.HideFrameAndShadow();
}

void UpdateSession::HideAllWindows() {
    view_.HideAll();
}

void UpdateSession::ShowForClick() {
    view_.ShowForClick();
}

void UpdateSession::SendCallerRecord(std::uint32_t status, std::uint32_t percent) {
    SendNoticeRecord(view_.Window(), status, percent);
}

FrameView UpdateSession::Picture() const {
    const SessionOptions& options = Options();
    const SessionState& session = Session();
    FrameView view;
    view.displayName = decision_.currentName;
    view.targetVersion = decision_.currentVersion;
    view.suiteCaller = options.suiteCaller;
    view.silent = options.silent;
    view.productUpdatePending = session.productUpdatePending;
    view.updatesAvailable = session.updatesAvailable;
    view.historyExpanded = session.historyExpanded;
    view.jobFinished = session.jobFinished;
    view.setupKind = session.setupKind;
    view.pendingCount = ProductPendingCount(items_, options.productKey);
    view.packageCount = PackageCount(items_, suiteProduct_);
    view.jobKind = jobKind_;
    view.interactive = interactive_;
    view.productInstalled = productInstalled_;
    view.startReason = startReason_;
    view.jobPercent = jobPercent_;
    view.downloadedCount = session.downloadedCount;
    return view;
}

CursorInputs UpdateSession::Cursor() const {
    CursorInputs in;
    in.suiteCaller = Options().suiteCaller;
    in.productUpdatePending = Session().productUpdatePending;
    in.anyJobPastRunning = Session().AnyJobPastRunning();
    return in;
}
