// PLDownloader fetches one file over HTTP (WinINet) on a thread of its own into "<path>.tmp",
// resuming it with a range request when asked, logging every 301/302 answer in the redirect log
// before letting WinINet follow it, and renaming the temporary file to its destination once the
// whole body has arrived. Its events go to a PLDownloadCallback.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
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
    // More bytes than this (0: no limit) end the run as failed; set only by the build with
    // release keys, to the size its release index names.
    std::uint64_t sizeLimit = 0;
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
    PLDownloader();
    ~PLDownloader() override;

    // The thread body: the state machine of the run that Start launched. 1 when it ended in
    // Completed or Failed, 0 when it was stopped or abandoned.
    virtual DWORD Run();
    DWORD ThreadBody(void*) override { return Run(); }

    // Loads a task (the downloader keeps a copy) and raises OnTaskSet. A thread that still runs
    // an earlier task is abandoned: it stops reading and ends without OnEnd, never touching the
    // new task's file or events, and closes its own connection.
    void SetTask(const PLDownloadTask& task, std::int32_t tag);
    // The callers' start: Ready becomes Connecting and the thread is created; any other state
    // starts nothing. Whether a thread was started.
    bool Start();
    // Moves to Stopped, raises OnEnd, closes the request and session handles, the thread handle
    // and the file. The temporary file stays; Stop does not wait for the thread.
    void Stop();

    void SetCallback(PLDownloadCallback* callback) { callback_ = callback; }
    std::int32_t State() const { return state_; }
    // The task as the downloader holds it (the resume offset is written by the run). Read it
    // once the run's thread has ended.
    const PLDownloadTask& Task() const { return task_; }
    const PLHttpResponse& Response() const { return response_; }

  protected:
    virtual void OnTaskSet(PLDownloadStatus status);
    virtual void OnBegin(PLDownloadStatus status);
    virtual void OnProgress(PLDownloadStatus status);
    virtual void OnEnd(PLDownloadStatus status);

  private:
    struct RunState;

    void Connect(RunState& run);
    void Receive(RunState& run);
    DWORD Finish(RunState& run, bool completed);
    void OpenUrl(RunState& run, DWORD flags, const std::wstring& headers);
    void ReadResponse(RunState& run);
    void LogRedirect(RunState& run);
    bool IsCurrent(const RunState& run) const;
    // Publishes the run's status (and what the accessors show) when it is still the current
    // one; the caller holds runLock_.
    void PublishLocked(const RunState& run);
    // Raises an event of the run only while it is the current one.
    void RaiseIfCurrent(const RunState& run, void (PLDownloader::*event)(PLDownloadStatus));
    PLDownloadStatus StatusCopy();

    // Each Start launches one run with its own identity, copies of the task and the status and
    // its own internet handles; SetTask and Stop end the current run's identity. The thread
    // works on its run only, and touches the shared file, state and events only while holding
    // runLock_ (file, state) or eventLock_ (events) and after checking that its run is still
    // the current one.
    std::atomic<std::uint32_t> generation_{0};
    std::mutex runLock_;    // the file, the state changes of a run, the published status
    std::mutex eventLock_;  // held while a run raises an event; SetTask waits for it
    std::shared_ptr<RunState> launching_;  // handed from Start to the thread it creates
    std::shared_ptr<RunState> current_;    // the run whose handles Stop closes
    HANDLE launched_ = nullptr;            // the new thread has taken its run

    PLDownloadTask task_;
    PLHttpResponse response_;
    PLFile file_;
    PLDownloadStatus status_;
    PLDownloadCallback* callback_ = nullptr;
    std::atomic<std::int32_t> state_{kDownloadIdle};
};

// The system browser's user-agent string, widened.
std::wstring SystemUserAgent();
