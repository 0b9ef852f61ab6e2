#include "download/pl_downloader_win.h"

#include <urlmon.h>

#include <memory>
#include <vector>

#include "download/download_records.h"

namespace {

constexpr DWORD kReadBlock = 8192;
constexpr std::uint64_t kSampleMs = 1000;
constexpr DWORD kFollowRedirects = 0x00080000;                   // INTERNET_FLAG_NO_COOKIES
constexpr DWORD kKeepRedirects = 0x00200000 | kFollowRedirects;  // ... | NO_AUTO_REDIRECT

// A header of the response by the two-step pattern (size, then a zero-filled buffer of that size
// plus 2 bytes); empty when absent.
std::wstring QueryHeader(HINTERNET request, DWORD info) {
    DWORD size = 0;
    if (request == nullptr) {
        return std::wstring();
    }
    HttpQueryInfoW(request, info, nullptr, &size, nullptr);
    if (size == 0) {
        return std::wstring();
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    if (!HttpQueryInfoW(request, info, buffer.data(), &size, nullptr)) {
        return std::wstring();
    }
    return std::wstring(buffer.data());
}

std::uint64_t FileSizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return 0;
    }
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

std::wstring SystemUserAgent() {
    char agent[1024] = {};
    DWORD size = sizeof agent;
    if (ObtainUserAgentString(0, agent, &size) != S_OK) {
        return std::wstring();
    }
    agent[sizeof agent - 1] = '\0';
    const int chars = MultiByteToWideChar(CP_ACP, 0, agent, -1, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(chars > 0 ? chars : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, agent, -1, text.data(), chars);
    return std::wstring(text.c_str());
}

PLDownloadTask::PLDownloadTask() : userAgent(SystemUserAgent()) {}

// One run: what its thread works on. Its internet handles are its own; whoever ends the run
// (the thread at its end, or Stop) takes them out and closes them, so each is closed once and
// never while another run could be given the same handle value.
struct PLDownloader::RunState {
    std::uint32_t generation = 0;
    PLDownloadTask task;
    PLDownloadStatus status;
    PLHttpResponse response;
    std::atomic<HINTERNET> session{nullptr};
    std::atomic<HINTERNET> request{nullptr};
    std::uint32_t sampleBytes = 0;
    std::uint64_t sampleTick = 0;
    // The body stopped for another reason than its end: a read failed, or a block could not be
    // written. Such a run ends Failed (a failure path: a body that arrives and is written whole
    // ends as it always did).
    bool brokenOff = false;
    bool overLimit = false;  // the body went past the task's size limit

    void CloseHandles() {
        if (HINTERNET open = request.exchange(nullptr)) {
            InternetCloseHandle(open);
        }
        if (HINTERNET open = session.exchange(nullptr)) {
            InternetCloseHandle(open);
        }
    }
    ~RunState() { CloseHandles(); }
};

PLDownloader::PLDownloader() : launched_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

PLDownloader::~PLDownloader() {
    file_.Close();
    if (launched_ != nullptr) {
        CloseHandle(launched_);
    }
}

void PLDownloader::OnTaskSet(PLDownloadStatus status) {
    if (callback_ != nullptr) {
        callback_->OnTaskSet(std::move(status));
    }
}

void PLDownloader::OnBegin(PLDownloadStatus status) {
    if (callback_ != nullptr) {
        callback_->OnBegin(std::move(status));
    }
}

void PLDownloader::OnProgress(PLDownloadStatus status) {
    if (callback_ != nullptr) {
        callback_->OnProgress(std::move(status));
    }
}

void PLDownloader::OnEnd(PLDownloadStatus status) {
    if (callback_ != nullptr) {
        callback_->OnEnd(std::move(status));
    }
}

PLDownloadStatus PLDownloader::StatusCopy() {
    std::lock_guard<std::mutex> lock(runLock_);
    PLDownloadStatus copy = status_;
    copy.state = state_;
    return copy;
}

bool PLDownloader::IsCurrent(const RunState& run) const {
    return generation_.load() == run.generation;
}

void PLDownloader::PublishLocked(const RunState& run) {
    if (!IsCurrent(run)) {
        return;
    }
    status_.done = run.status.done;
    status_.total = run.status.total;
    status_.speed = run.status.speed;
    task_.resumeOffset = run.task.resumeOffset;
}

void PLDownloader::RaiseIfCurrent(const RunState& run,
                                  void (PLDownloader::*event)(PLDownloadStatus)) {
    std::lock_guard<std::mutex> events(eventLock_);
    if (!IsCurrent(run)) {
        return;
    }
    PLDownloadStatus copy = run.status;
    copy.state = state_;
    (this->*event)(std::move(copy));
}

void PLDownloader::SetTask(const PLDownloadTask& task, std::int32_t tag) {
    {
        // A run still going loses its identity here; an event it is raising ends first.
        std::lock_guard<std::mutex> events(eventLock_);
        std::lock_guard<std::mutex> lock(runLock_);
        ++generation_;
        current_.reset();
        file_.Close();  // already closed unless a run was abandoned
        task_ = task;
        state_ = task.initialState;
        status_.tag = tag;
        status_.url = task.url;
        status_.folder = task.folder;
        status_.name = task.name;
        status_.path = task.path;
        status_.temporaryPath = task.path + L".tmp";
        status_.freshDownload = task.freshDownload;
        status_.userValue = task.userValue;
        status_.total = task.presetTotal;
        status_.done = task.presetDone;
        status_.speed = 0;
    }
    OnTaskSet(StatusCopy());
}

bool PLDownloader::Start() {
    auto run = std::make_shared<RunState>();
    {
        std::lock_guard<std::mutex> lock(runLock_);
        std::int32_t ready = kDownloadReady;
        if (!state_.compare_exchange_strong(ready, kDownloadConnecting)) {
            return false;
        }
        run->generation = generation_;
        run->task = task_;
        run->status = status_;
        run->response = response_;  // a response without Content-Length keeps the last length
        launching_ = run;
        current_ = run;
    }
    if (!Create(true)) {
        return false;
    }
    // The new thread takes its run before anything else: a later Start cannot hand it another.
    WaitForSingleObject(launched_, INFINITE);
    return true;
}

void PLDownloader::Stop() {
    std::shared_ptr<RunState> run;
    {
        std::lock_guard<std::mutex> lock(runLock_);
        ++generation_;
        state_ = kDownloadStopped;
        run = std::move(current_);
    }
    OnEnd(StatusCopy());
    if (run) {
        run->CloseHandles();
    }
    CloseThreadHandle();
    file_.Close();
}

DWORD PLDownloader::Run() {
    std::shared_ptr<RunState> run;
    {
        std::lock_guard<std::mutex> lock(runLock_);
        run = std::move(launching_);
    }
    SetEvent(launched_);
    DWORD result = 0;
    // A run that is stopped, reloaded or abandoned ends at the next check, without OnEnd.
    for (bool going = run != nullptr; going && IsCurrent(*run);) {
        switch (state_.load()) {
            case kDownloadConnecting:
                Connect(*run);
                break;
            case kDownloadReceiving: {
                Receive(*run);
                std::lock_guard<std::mutex> lock(runLock_);
                if (!IsCurrent(*run) || state_ != kDownloadReceiving) {
                    going = false;  // no rename, no second OnEnd
                    break;
                }
                state_ = run->overLimit ? kDownloadFailed
                                        : EndStateFor(run->status.done, run->status.total,
                                                      run->brokenOff);
                break;
            }
            case kDownloadCompleted:
                result = Finish(*run, true);
                going = false;
                break;
            case kDownloadFailed:
                result = Finish(*run, false);
                going = false;
                break;
            case kDownloadStopped:
            case kDownloadIdle:
            case kDownloadReady:
                going = false;
                break;
            default:
                break;
        }
    }
    if (run) {
        run->CloseHandles();
    }
    return result;
}

void PLDownloader::OpenUrl(RunState& run, DWORD flags, const std::wstring& headers) {
    HINTERNET request =
        InternetOpenUrlW(run.session.load(), run.task.url.c_str(), headers.c_str(),
                         static_cast<DWORD>(headers.size()), run.task.openFlags | flags, 0);
    if (HINTERNET old = run.request.exchange(request)) {
        InternetCloseHandle(old);
    }
}

void PLDownloader::ReadResponse(RunState& run) {
    HINTERNET request = run.request.load();
    run.response.request = request;
    if (request == nullptr) {
        return;
    }
    run.response.statusCode = _wtoi(QueryHeader(request, HTTP_QUERY_STATUS_CODE).c_str());
    const std::wstring length = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH);
    if (!length.empty()) {
        run.response.contentLength = _wcstoui64(length.c_str(), nullptr, 10);
    }
    run.response.lastModified = QueryHeader(request, HTTP_QUERY_LAST_MODIFIED);
    run.response.server = QueryHeader(request, HTTP_QUERY_SERVER);
}

void PLDownloader::LogRedirect(RunState& run) {
    HINTERNET request = run.request.load();
    if (request == nullptr) {
        return;
    }
    // The target is the Location header itself. Searched for in the raw headers, "location:"
    // would also be found in Content-Location or in any other header's value that a hostile
    // answer puts first, and long headers would not fit the raw buffer and hide the redirect.
    RedirectRecord record;
    record.name = run.task.name;
    record.location = RedirectLocation(QueryHeader(request, HTTP_QUERY_LOCATION));
    record.path = run.task.path;
    record.contentLength = static_cast<std::int64_t>(run.response.contentLength);
    record.status = run.response.statusCode;
    if (IsCurrent(run)) {
        Redirects().Append(std::move(record));
    }
}

void PLDownloader::Connect(RunState& run) {
    const PLDownloadTask& task = run.task;
    HINTERNET session = nullptr;
    if (task.proxyHost.empty()) {
        session = InternetOpenW(task.userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                nullptr, 0);
    } else {
        const std::wstring proxy = task.proxyHost + L":" + std::to_wstring(task.proxyPort);
        session = InternetOpenW(task.userAgent.c_str(), INTERNET_OPEN_TYPE_PROXY, proxy.c_str(),
                                nullptr, 0);
    }
    run.session = session;
    if (session != nullptr && !task.proxyUser.empty()) {
        InternetSetOptionW(session, INTERNET_OPTION_PROXY_USERNAME,
                           const_cast<wchar_t*>(task.proxyUser.c_str()),
                           static_cast<DWORD>(task.proxyUser.size()));
    }
    if (session != nullptr && !task.proxyPassword.empty()) {
        InternetSetOptionW(session, INTERNET_OPTION_PROXY_PASSWORD,
                           const_cast<wchar_t*>(task.proxyPassword.c_str()),
                           static_cast<DWORD>(task.proxyPassword.size()));
    }

    RequestHeaderInput headers;
    headers.extraHeaders = task.extraHeaders;
    headers.fresh = task.freshDownload > 0;
    {
        std::lock_guard<std::mutex> lock(runLock_);
        if (!IsCurrent(run)) {
            return;
        }
        file_.Open(run.status.temporaryPath, headers.fresh);
        if (!headers.fresh) {
            run.task.resumeOffset = file_.IsOpen() ? file_.Position() : 0;
            headers.resumeAt = run.task.resumeOffset;
            run.status.done = static_cast<std::uint64_t>(run.task.resumeOffset);
        }
        PublishLocked(run);
    }
    headers.url = task.url;
    headers.referer = task.referer;
    headers.cookie = task.cookie;
    const std::wstring headerText = RequestHeaders(headers);

    OpenUrl(run, kKeepRedirects, headerText);
    ReadResponse(run);
    if (IsCurrent(run)) {
        SetFirstRequestStatus(run.response.statusCode);
    }
    if (run.response.statusCode == 301 || run.response.statusCode == 302) {
        LogRedirect(run);
        OpenUrl(run, kFollowRedirects, headerText);
        ReadResponse(run);
    }

    run.status.total = run.status.done + run.response.contentLength;
    {
        std::lock_guard<std::mutex> lock(runLock_);
        if (!IsCurrent(run)) {
            return;
        }
        response_ = run.response;
        state_ = kDownloadReceiving;
        PublishLocked(run);
    }
    RaiseIfCurrent(run, &PLDownloader::OnBegin);
    run.sampleTick = GetTickCount();
}

void PLDownloader::Receive(RunState& run) {
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kReadBlock]);
    HINTERNET request = run.request.load();
    while (IsCurrent(run) && state_ == kDownloadReceiving) {
        DWORD read = 0;
        if (request == nullptr) {
            break;
        }
        if (!InternetReadFile(request, buffer.get(), kReadBlock, &read)) {
            // A failed read (a connection reset, a time-out) is not the end of the body. A
            // request that never opened is judged by its count alone, as before.
            run.brokenOff = true;
            break;
        }
        if (read == 0) {
            break;
        }
        if (run.task.sizeLimit != 0 && run.status.done + read > run.task.sizeLimit) {
            run.overLimit = true;  // cut off: what comes past the limit is never written
            break;
        }
        run.sampleBytes += read;
        const std::uint64_t now = GetTickCount();
        const std::uint64_t elapsed = now - run.sampleTick;
        if (elapsed >= kSampleMs) {
            run.status.speed = static_cast<std::int64_t>(static_cast<float>(run.sampleBytes) *
                                                         1000.0f / static_cast<float>(elapsed));
            run.sampleTick = now;
            run.sampleBytes = 0;
        }
        {
            // Only the current run writes the file: an abandoned one drops what it read.
            std::lock_guard<std::mutex> lock(runLock_);
            if (!IsCurrent(run)) {
                break;
            }
            if (!file_.WriteBlock(buffer.get(), read)) {
                // The disk is full or failing: nothing more is read, and the run fails.
                run.brokenOff = true;
            }
            run.status.done = static_cast<std::uint64_t>(file_.IsOpen() ? file_.Position() : 0);
            PublishLocked(run);
        }
        RaiseIfCurrent(run, &PLDownloader::OnProgress);
        if (run.brokenOff) {
            break;
        }
    }
}

DWORD PLDownloader::Finish(RunState& run, bool completed) {
    // The handles of a finished run are closed here rather than left for the next run.
    run.CloseHandles();
    {
        std::lock_guard<std::mutex> lock(runLock_);
        if (!IsCurrent(run)) {
            return 0;
        }
        if (!file_.Close() && completed) {
            // The last bytes did not reach the disk when the file was closed: the temporary file
            // is short, so it is not renamed and the run fails.
            completed = false;
            state_ = kDownloadFailed;
        }
        if (completed) {
            // An existing destination makes the rename fail: the jobs delete it before they
            // start.
            MoveFileExW(run.status.temporaryPath.c_str(), run.status.path.c_str(),
                        MOVEFILE_COPY_ALLOWED);
            run.status.done = FileSizeOf(run.status.path);
        } else {
            run.status.done = FileSizeOf(run.status.temporaryPath);
        }
        PublishLocked(run);
    }
    RaiseIfCurrent(run, &PLDownloader::OnEnd);
    return 1;
}
