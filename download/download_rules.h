// The downloader's and the jobs' rules that need no system call: the request header text, the
// referer, the redirect target as the log keeps it, the percentage and completion
// rules, the package URL of an attempt and the redirect lookup with the hijack markers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "download/download_records.h"

// The downloader's states (the status record's state field). 4 is not used.
enum DownloadState : std::int32_t {
    kDownloadIdle = 0,
    kDownloadReady = 1,
    kDownloadConnecting = 2,
    kDownloadReceiving = 3,
    kDownloadStopped = 5,
    kDownloadCompleted = 6,
    kDownloadFailed = 7,
};

// The referer of a URL: everything before its last "/"; empty when it has none.
std::wstring RefererFor(const std::wstring& url);

// What the request headers are made of.
struct RequestHeaderInput {
    std::wstring extraHeaders;
    bool fresh = true;          // freshDownload 1 or more
    std::int32_t resumeAt = 0;  // the file's position when resuming
    std::wstring url;
    std::wstring referer;  // the task's; empty derives it from the URL
    std::wstring cookie;
};

// The request headers in their order: extra headers, the range line ("bytes=0-" for a fresh
// download, the resume offset otherwise), Accept and Connection, the referer, the cookie.
std::wstring RequestHeaders(const RequestHeaderInput& in);

// The redirect target as the log keeps it: the value of the answer's Location header (the
// downloader reads that header itself, never another one whose text holds "location:", such as
// Content-Location), lower-cased and trimmed of white space.
std::wstring RedirectLocation(const std::wstring& locationHeader);

// done x 100 / total (a total of 0 counts as 1), within 0..100.
std::int32_t DownloadPercent(std::uint64_t done, std::uint64_t total);

// How a body that stopped arriving ends: Completed when something arrived and it is whole (or no
// length was announced), Failed otherwise. A body `brokenOff` (a read that failed rather than
// reaching the end, or a write or close of the file that failed) is Failed whatever its count
// says: a full disk or a dropped connection must not pass for the end of the body.
DownloadState EndStateFor(std::uint64_t done, std::uint64_t total, bool brokenOff);

// What an attempt's URL is made from.
struct AttemptUrlInput {
    std::wstring url;             // the package's download URL
    std::uint32_t tickCount = 0;  // GetTickCount at the attempt
    std::int32_t attemptCount = 0;
    std::wstring downloadHostName;  // replaced by the download IP on the second attempt
    std::wstring downloadIp;
    int osCode = 0;  // below 19 (older than Vista) https is fetched over http
};

// "<url>?skq=<ticks>", with the host name replaced by the download IP when attemptCount is 1
// and "https://" by "http://" on systems older than Vista.
std::wstring AttemptUrl(const AttemptUrlInput& in);

// The main-setup job's URL: the main-setup URL when it starts with "http" (any case), else the
// download base followed by it.
std::wstring MainSetupDownloadUrl(const std::wstring& mainSetupUrl,
                                  const std::wstring& downloadBase);

// The redirect of a download as the jobs see it.
struct RedirectFinding {
    bool found = false;   // a record with a non-empty location exists for the name
    bool marked = false;  // its location carries a hijack marker at an index above 0
    std::wstring location;
};

// Looks up the first record of `name` (ignoring case) at or after index `from` of a snapshot of
// the redirect log and tests its lower-cased location against the lower-cased markers.
RedirectFinding FindRedirectIn(const std::vector<RedirectRecord>& log, const std::wstring& name,
                               const std::vector<std::wstring>& hijackMarkers,
                               std::size_t from = 0);

// A version resource's string-table key: language and code page, each as four lower-case hex
// digits ("000%x" cut to its last four characters).
std::wstring TranslationKey(std::uint16_t language, std::uint16_t codePage);

// The jobs' lookup in the process-wide redirect log, among the records from index `from` on (those
// of the attempt that just ended): whether a non-empty location was logged for `name`, with
// `marked` telling whether it carries a hijack marker.
bool FindRedirect(const std::wstring& name, const std::vector<std::wstring>& hijackMarkers,
                  bool& marked, std::size_t from = 0);

// Marks the first logged redirect of `name` as acted on.
void MarkRedirectReported(const std::wstring& name);
