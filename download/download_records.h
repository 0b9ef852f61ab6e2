// The two process-wide records of what went wrong with downloads: the redirect log (every 301/302
// answer a download met) and the anomaly list (every package that failed a check). The download
// jobs and the installers append to them; the usage report reads them when the window closes.
// Each is guarded by a lock of its own and is only ever copied out whole.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

struct RedirectRecord {
    bool reported = false;           // a job has acted on this redirect
    std::wstring name;               // the download's file name
    std::wstring location;           // redirect target, lower-cased and trimmed
    std::wstring path;               // the download's destination path
    std::int64_t contentLength = 0;  // of the 301/302 answer
    std::int32_t status = 0;         // 301 or 302
};

class RedirectLog {
  public:
    void Append(RedirectRecord record);
    // The first record whose name equals `name` ignoring case.
    bool FindByName(const std::wstring& name, RedirectRecord& found) const;
    // Marks the first record of that name as reported.
    void MarkReported(const std::wstring& name);
    std::vector<RedirectRecord> Snapshot() const;
    // How many records the log holds: where the records of a download about to start will begin.
    std::size_t Size() const;
    // 1 while a thread holds the lock to append (read by nothing but kept for diagnostics).
    bool Busy() const;
    void Clear();

  private:
    mutable std::mutex lock_;
    bool busy_ = false;
    std::vector<RedirectRecord> records_;
};

struct DownloadAnomaly {
    std::wstring fileName;          // text after the path's last backslash
    std::wstring productVersion;    // "ProductVersion" version string, or empty
    std::wstring signer;            // lower-cased signer name from the signature check
    std::wstring productName;       // "ProductName" version string, or empty
    std::wstring originalFileName;  // "OriginalFileName" version string, or empty
    std::uint64_t fileSize = 0;
    bool exists = false;
    std::int32_t firstRequestStatus = 0;  // status of the first request of the latest download
    std::wstring fileText;  // small files without a version resource: their text (ANSI decoded)
};

class AnomalyList {
  public:
    // Appends unless a record with the same signer and file name (ignoring case) is present;
    // returns whether it appended.
    bool AppendUnlessKnown(DownloadAnomaly anomaly);
    // Whether a record with this file name (ignoring case) is present.
    bool HasFileName(const std::wstring& fileName) const;
    std::vector<DownloadAnomaly> Snapshot() const;
    void Clear();

  private:
    mutable std::mutex lock_;
    std::vector<DownloadAnomaly> records_;
};

// The process-wide instances.
RedirectLog& Redirects();
AnomalyList& Anomalies();

// The HTTP status of the first request of the latest download made by any downloader.
std::int32_t FirstRequestStatus();
void SetFirstRequestStatus(std::int32_t status);
