// The callbacks that turn a downloader's events into what the main window reads: a percentage,
// a done flag, and a progress message sent synchronously on every block. The three classes
// differ only in the message they send.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "base/session_state.h"
#include "download/pl_downloader_win.h"

class CDownloaderStatus : public PLDownloadCallback {
  public:
    CDownloaderStatus() : CDownloaderStatus(UM_DOWNLOAD_STEP) {}

    void OnTaskSet(PLDownloadStatus) override {}
    // percent := 0, done := false.
    void OnBegin(PLDownloadStatus status) override;
    // Updates the percent, then sends the progress message to the window if it still exists.
    void OnProgress(PLDownloadStatus status) override;
    // done := true for a Completed end with a total above 0.
    void OnEnd(PLDownloadStatus status) override;

    void SetWindow(HWND window) { window_ = window; }
    std::int32_t Percent() const { return percent_; }
    bool Done() const { return done_; }
    UINT Message() const { return message_; }

  protected:
    explicit CDownloaderStatus(UINT message) : message_(message) {}

  private:
    UINT message_;
    std::atomic<HWND> window_{nullptr};
    std::atomic<std::int32_t> percent_{0};
    std::atomic<bool> done_{false};
};

class CDownloaderStatus_Enforce : public CDownloaderStatus {
  public:
    CDownloaderStatus_Enforce() : CDownloaderStatus(UM_ENFORCE_STEP) {}
};

class CDownloaderStatus_Union : public CDownloaderStatus {
  public:
    CDownloaderStatus_Union() : CDownloaderStatus(UM_PACKAGE_STEP) {}
};

// A downloader with the status object that receives its events.
template <typename Status>
struct DownloaderPair {
    DownloaderPair() { downloader.SetCallback(&status); }
    PLDownloader downloader;
    Status status;
};
