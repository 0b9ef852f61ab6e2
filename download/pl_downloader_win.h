// PLDownloader fetches one file over HTTP (WinINet) on a thread of its own into "<path>.tmp",
// resuming it with a range request when asked, logging every 301/302 answer in the redirect log
// before letting WinINet follow it, and renaming the temporary file to its destination once the
// whole body has arrived. Its events go to a PLDownloadCallback.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "download/download_rules.h"
#include "download/pl_file_win.h"
#include "download/pl_thread_win.h"

struct PLDownloadTask {
    PLDownloadTask();

    std::wstring url;
    std::wstring folder;             // informational, copied into the status
    std::wstring name;               // also the key of this download's redirects
    std::wstring path;               // destination
    std::int32_t freshDownload = 1;  // 1 or more: from byte 0; 0 or less: resume
    std::int32_t userValue = 0;
    std::int32_t initialState = kDownloadReady;
    std::uint64_t presetTotal = 0;
    std::uint64_t presetDone = 0;
    std::int32_t resumeOffset = 0;  // written by the downloader
    std::wstring userAgent;         // the system browser's by default
    std::wstring extraHeaders;
    DWORD openFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;  // 0x84000000
    std::wstring proxyHost;
    std::int32_t proxyPort = 80;
    std::wstring proxyUser;
    std::wstring proxyPassword;
    std::wstring referer;  // empty: derived from the URL
    std::wstring cookie;   // empty: no cookie line
};

struct PLHttpResponse {
    std::int32_t statusCode = 0;
    std::uint64_t contentLength = 0;  // unchanged when a response has no Content-Length
    std::wstring lastModified;
    std::wstring server;
    HINTERNET request = nullptr;
};

struct PLDownloadStatus {
    std::wstring url;
    std::wstring folder;
    std::wstring name;
    std::wstring path;
    std::wstring temporaryPath;  // path + ".tmp"
    std::uint64_t total = 0;
    std::uint64_t done = 0;
    std::int64_t speed = 0;  // bytes per second over the last sample
    std::int32_t freshDownload = 1;
    std::int32_t state = kDownloadIdle;
    std::int32_t userValue = 0;
    std::int32_t tag = 0;
};

class PLDownloadCallback {
  public:
    virtual ~PLDownloadCallback() = default;
    virtual void OnTaskSet(PLDownloadStatus) {}
    virtual void OnBegin(PLDownloadStatus) {}
    virtual void OnProgress(PLDownloadStatus) {}
    virtual void OnEnd(PLDownloadStatus) {}
};

class PLDownloader : public PLThread {
  public:
    PLDownloader() = default;
    ~PLDownloader() override;

    // The thread body: the state machine. 1 when it ended in Completed or Failed, 0 when it was
    // abandoned while receiving.
    virtual DWORD Run();
    DWORD ThreadBody(void*) override { return Run(); }

    // Loads a task (the downloader keeps a copy) and raises OnTaskSet. A thread that is receiving
    // stops reading and ends without OnEnd.
    void SetTask(const PLDownloadTask& task, std::int32_t tag);
    // The callers' start: Ready becomes Connecting and the thread is created; any other state
    // starts nothing. Whether a thread was started.
    bool Start();
    // Moves to Stopped, raises OnEnd, closes the request and session handles, the thread handle
    // and the file. The temporary file stays; Stop does not wait for the thread.
    void Stop();

    void SetCallback(PLDownloadCallback* callback) { callback_ = callback; }
    std::int32_t State() const { return state_; }
    // The task as the downloader holds it (the resume offset is written by the run).
    const PLDownloadTask& Task() const { return task_; }
    const PLHttpResponse& Response() const { return response_; }

  protected:
    virtual void OnTaskSet(PLDownloadStatus status);
    virtual void OnBegin(PLDownloadStatus status);
    virtual void OnProgress(PLDownloadStatus status);
    virtual void OnEnd(PLDownloadStatus status);

  private:
    void Connect();
    void Receive();
    DWORD Finish(bool completed);
    void OpenUrl(DWORD flags, const std::wstring& headers);
    void ReadResponse();
    void LogRedirect();
    void CloseInternetHandles();
    PLDownloadStatus StatusCopy();

    PLDownloadTask task_;
    PLHttpResponse response_;
    // Closed by whichever side gets them first (Stop on the caller's thread or the end of a
    // run), so that a handle is never closed twice.
    std::atomic<HINTERNET> session_{nullptr};
    std::atomic<HINTERNET> request_{nullptr};
    PLFile file_;
    PLDownloadStatus status_;
    PLDownloadCallback* callback_ = nullptr;
    std::atomic<std::int32_t> state_{kDownloadIdle};
    std::uint32_t sampleBytes_ = 0;
    std::uint32_t runBytes_ = 0;
    std::uint64_t startTick_ = 0;
    std::uint64_t endTick_ = 0;
    std::uint64_t sampleTick_ = 0;
};

// The system browser's user-agent string, widened.
std::wstring SystemUserAgent();
