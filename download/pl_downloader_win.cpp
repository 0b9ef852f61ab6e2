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
constexpr DWORD kRawHeadersBufferBytes = 2048;
constexpr DWORD kRawHeadersPassedBytes = 1024;

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

PLDownloader::~PLDownloader() {
    file_.Close();
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
    PLDownloadStatus copy = status_;
    copy.state = state_;
    return copy;
}

void PLDownloader::SetTask(const PLDownloadTask& task, std::int32_t tag) {
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
    sampleBytes_ = 0;
    runBytes_ = 0;
    startTick_ = endTick_ = sampleTick_ = 0;
    OnTaskSet(StatusCopy());
}

bool PLDownloader::Start() {
    std::int32_t ready = kDownloadReady;
    if (!state_.compare_exchange_strong(ready, kDownloadConnecting)) {
        return false;
    }
    return Create(true);
}

void PLDownloader::Stop() {
    state_ = kDownloadStopped;
    OnEnd(StatusCopy());
    CloseInternetHandles();
    CloseThreadHandle();
    file_.Close();
}

void PLDownloader::CloseInternetHandles() {
    if (HINTERNET request = request_.exchange(nullptr)) {
        InternetCloseHandle(request);
    }
    if (HINTERNET session = session_.exchange(nullptr)) {
        InternetCloseHandle(session);
    }
}

DWORD PLDownloader::Run() {
    for (;;) {
        switch (state_.load()) {
            case kDownloadConnecting:
                Connect();
                break;
            case kDownloadReceiving:
                Receive();
                if (state_ != kDownloadReceiving) {
                    return 0;  // stopped or given a new task: no rename, no second OnEnd
                }
                state_ = EndStateFor(status_.done, status_.total);
                break;
            case kDownloadCompleted:
                return Finish(true);
            case kDownloadFailed:
                return Finish(false);
            case kDownloadStopped:
            case kDownloadIdle:
            case kDownloadReady:
                // Stopped or reloaded before the thread got going: nothing left to do here.
                return 0;
            default:
                break;
        }
    }
}

void PLDownloader::OpenUrl(DWORD flags, const std::wstring& headers) {
    HINTERNET request =
        InternetOpenUrlW(session_.load(), task_.url.c_str(), headers.c_str(),
                         static_cast<DWORD>(headers.size()), task_.openFlags | flags, 0);
    if (HINTERNET old = request_.exchange(request)) {
        InternetCloseHandle(old);
    }
}

void PLDownloader::ReadResponse() {
    HINTERNET request = request_.load();
    response_.request = request;
    if (request == nullptr) {
        return;
    }
    response_.statusCode = _wtoi(QueryHeader(request, HTTP_QUERY_STATUS_CODE).c_str());
    const std::wstring length = QueryHeader(request, HTTP_QUERY_CONTENT_LENGTH);
    if (!length.empty()) {
        response_.contentLength = _wcstoui64(length.c_str(), nullptr, 10);
    }
    response_.lastModified = QueryHeader(request, HTTP_QUERY_LAST_MODIFIED);
    response_.server = QueryHeader(request, HTTP_QUERY_SERVER);
}

void PLDownloader::LogRedirect() {
    std::vector<wchar_t> raw(kRawHeadersBufferBytes / sizeof(wchar_t), L'\0');
    DWORD size = kRawHeadersPassedBytes;
    if (!HttpQueryInfoW(request_.load(), HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &size, nullptr) ||
        raw[0] == L'\0') {
        return;
    }
    RedirectRecord record;
    record.name = task_.name;
    record.location = LocationFromRawHeaders(raw.data());
    record.path = task_.path;
    record.contentLength = static_cast<std::int64_t>(response_.contentLength);
    record.status = response_.statusCode;
    Redirects().Append(std::move(record));
}

void PLDownloader::Connect() {
    request_ = nullptr;
    session_ = nullptr;
    HINTERNET session = nullptr;
    if (task_.proxyHost.empty()) {
        session = InternetOpenW(task_.userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                nullptr, 0);
    } else {
        const std::wstring proxy = task_.proxyHost + L":" + std::to_wstring(task_.proxyPort);
        session = InternetOpenW(task_.userAgent.c_str(), INTERNET_OPEN_TYPE_PROXY, proxy.c_str(),
                                nullptr, 0);
    }
    session_ = session;
    if (session != nullptr && !task_.proxyUser.empty()) {
        InternetSetOptionW(session, INTERNET_OPTION_PROXY_USERNAME,
                           const_cast<wchar_t*>(task_.proxyUser.c_str()),
                           static_cast<DWORD>(task_.proxyUser.size()));
    }
    if (session != nullptr && !task_.proxyPassword.empty()) {
        InternetSetOptionW(session, INTERNET_OPTION_PROXY_PASSWORD,
                           const_cast<wchar_t*>(task_.proxyPassword.c_str()),
                           static_cast<DWORD>(task_.proxyPassword.size()));
    }

    file_.Open(status_.temporaryPath, task_.freshDownload > 0);
    RequestHeaderInput headers;
    headers.extraHeaders = task_.extraHeaders;
    headers.fresh = task_.freshDownload > 0;
    if (!headers.fresh) {
        task_.resumeOffset = file_.IsOpen() ? file_.Position() : 0;
        headers.resumeAt = task_.resumeOffset;
        status_.done = static_cast<std::uint64_t>(task_.resumeOffset);
    }
    headers.url = task_.url;
    headers.referer = task_.referer;
    headers.cookie = task_.cookie;
    const std::wstring headerText = RequestHeaders(headers);

    OpenUrl(kKeepRedirects, headerText);
    ReadResponse();
    SetFirstRequestStatus(response_.statusCode);
    if (response_.statusCode == 301 || response_.statusCode == 302) {
        LogRedirect();
        OpenUrl(kFollowRedirects, headerText);
        ReadResponse();
    }

    status_.total = status_.done + response_.contentLength;
    state_ = kDownloadReceiving;
    OnBegin(StatusCopy());
    startTick_ = sampleTick_ = GetTickCount();
}

void PLDownloader::Receive() {
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kReadBlock]);
    HINTERNET request = request_.load();
    while (state_ == kDownloadReceiving) {
        DWORD read = 0;
        if (request == nullptr || !InternetReadFile(request, buffer.get(), kReadBlock, &read) ||
            read == 0) {
            break;
        }
        sampleBytes_ += read;
        runBytes_ += read;
        const std::uint64_t now = GetTickCount();
        const std::uint64_t elapsed = now - sampleTick_;
        if (elapsed >= kSampleMs) {
            status_.speed = static_cast<std::int64_t>(static_cast<float>(sampleBytes_) * 1000.0f /
                                                      static_cast<float>(elapsed));
            sampleTick_ = now;
            sampleBytes_ = 0;
        }
        file_.WriteBlock(buffer.get(), read);
        status_.done = static_cast<std::uint64_t>(file_.IsOpen() ? file_.Position() : 0);
        OnProgress(StatusCopy());
    }
}

DWORD PLDownloader::Finish(bool completed) {
    file_.Close();
    sampleBytes_ = 0;
    runBytes_ = 0;
    startTick_ = endTick_ = sampleTick_ = 0;
    // The handles of a finished run are closed here rather than left for the next run to
    // overwrite.
    CloseInternetHandles();
    if (completed) {
        // An existing destination makes the rename fail: the jobs delete it before they start.
        MoveFileExW(status_.temporaryPath.c_str(), status_.path.c_str(), MOVEFILE_COPY_ALLOWED);
        status_.done = FileSizeOf(status_.path);
    } else {
        status_.done = FileSizeOf(status_.temporaryPath);
    }
    OnEnd(StatusCopy());
    return 1;
}
