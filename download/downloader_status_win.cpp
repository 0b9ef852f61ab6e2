#include "download/downloader_status_win.h"

void CDownloaderStatus::OnBegin(PLDownloadStatus) {
    percent_ = 0;
    done_ = false;
}

void CDownloaderStatus::OnProgress(PLDownloadStatus status) {
    percent_ = DownloadPercent(status.done, status.total);
    HWND window = window_;
    if (IsWindow(window)) {
        SendMessageW(window, message_, 0, 0);
    }
}

void CDownloaderStatus::OnEnd(PLDownloadStatus status) {
    if (status.state == kDownloadCompleted && status.total > 0) {
        done_ = true;
    }
}
