#include "download/download_records.h"

#include <atomic>

#include "base/text.h"

void RedirectLog::Append(RedirectRecord record) {
    std::lock_guard<std::mutex> guard(lock_);
    busy_ = true;
    records_.push_back(std::move(record));
    busy_ = false;
}

bool RedirectLog::FindByName(const std::wstring& name, RedirectRecord& found) const {
    std::lock_guard<std::mutex> guard(lock_);
    for (const RedirectRecord& record : records_) {
        if (EqualsNoCase(record.name, name)) {
            found = record;
            return true;
        }
    }
    return false;
}

void RedirectLog::MarkReported(const std::wstring& name) {
    std::lock_guard<std::mutex> guard(lock_);
    for (RedirectRecord& record : records_) {
        if (EqualsNoCase(record.name, name)) {
            record.reported = true;
            return;
        }
    }
}

std::vector<RedirectRecord> RedirectLog::Snapshot() const {
    std::lock_guard<std::mutex> guard(lock_);
    return records_;
}

std::size_t RedirectLog::Size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return records_.size();
}

bool RedirectLog::Busy() const {
    std::lock_guard<std::mutex> guard(lock_);
    return busy_;
}

void RedirectLog::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    records_.clear();
}

bool AnomalyList::AppendUnlessKnown(DownloadAnomaly anomaly) {
    std::lock_guard<std::mutex> guard(lock_);
    for (const DownloadAnomaly& known : records_) {
        if (EqualsNoCase(known.signer, anomaly.signer) &&
            EqualsNoCase(known.fileName, anomaly.fileName)) {
            return false;
        }
    }
    records_.push_back(std::move(anomaly));
    return true;
}

bool AnomalyList::HasFileName(const std::wstring& fileName) const {
    std::lock_guard<std::mutex> guard(lock_);
    for (const DownloadAnomaly& known : records_) {
        if (EqualsNoCase(known.fileName, fileName)) {
            return true;
        }
    }
    return false;
}

std::vector<DownloadAnomaly> AnomalyList::Snapshot() const {
    std::lock_guard<std::mutex> guard(lock_);
    return records_;
}

void AnomalyList::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    records_.clear();
}

RedirectLog& Redirects() {
    static RedirectLog log;
    return log;
}

AnomalyList& Anomalies() {
    static AnomalyList list;
    return list;
}

namespace {
std::atomic<std::int32_t> firstRequestStatus{0};
}

std::int32_t FirstRequestStatus() {
    return firstRequestStatus;
}

void SetFirstRequestStatus(std::int32_t status) {
    firstRequestStatus = status;
}
