#include "tools/publish/report_load.h"

#include <cstdio>
#include <cstring>

#include "tools/publish/output.h"

namespace {

constexpr std::size_t kBlock = 256 * 1024;
constexpr long long kBatchLines = 20000;  // lines between two commits
constexpr std::size_t kMalformedShown = 20;

}  // namespace

LogLineReader::LogLineReader(std::istream& in, std::size_t limit)
    : in_(in), limit_(limit), buffer_(kBlock) {}

bool LogLineReader::Fill() {
    if (!in_)
        return false;
    in_.read(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    at_ = 0;
    end_ = static_cast<std::size_t>(in_.gcount());
    return end_ > 0;
}

bool LogLineReader::Next(std::string& line, unsigned long long& length) {
    line.clear();
    length = 0;
    bool any = false;
    for (;;) {
        if (at_ == end_ && !Fill())
            break;
        any = true;
        const char* begin = buffer_.data() + at_;
        const void* newline = std::memchr(begin, '\n', end_ - at_);
        const std::size_t count = newline ? static_cast<const char*>(newline) - begin : end_ - at_;
        if (line.size() < limit_)
            line.append(begin, std::min(count, limit_ - line.size()));
        length += count;
        at_ += count;
        offset_ += count;
        if (newline) {
            ++at_;
            ++offset_;
            break;
        }
    }
    if (!any)
        return false;
    if (length <= limit_ && !line.empty() && line.back() == '\r') {
        line.pop_back();
        --length;
    }
    if (length > limit_)
        line.resize(std::min(line.size(), kOverlongHead));
    return true;
}

LoadProgress::LoadProgress(std::ostream* out, std::chrono::milliseconds interval)
    : out_(out), interval_(interval), last_(std::chrono::steady_clock::now()) {}

void LoadProgress::Show(const std::string& source, unsigned long long done, unsigned long long size,
                        long long lines) {
    const auto now = std::chrono::steady_clock::now();
    if (out_ == nullptr || now - last_ < interval_)
        return;
    last_ = now;
    char text[128];
    if (size > 0) {
        std::snprintf(text, sizeof text, ": %llu%% of %.1f MB, %lld lines", done * 100 / size,
                      static_cast<double>(size) / 1e6, lines);
    } else {
        std::snprintf(text, sizeof text, ": %.1f MB, %lld lines", static_cast<double>(done) / 1e6,
                      lines);
    }
    // Carriage return and "erase line": the line is redrawn in place.
    *out_ << "\r\x1b[Kloading " << TerminalSafe(source) << text << std::flush;
    shown_ = true;
}

void LoadProgress::Clear() {
    if (shown_)
        *out_ << "\r\x1b[K" << std::flush;
    shown_ = false;
}

void LoadLog(std::istream& in, const std::string& source, unsigned long long size,
             const std::string& encoding, ReportStore& store, LoadProgress& progress,
             LoadResult& result) {
    LogLineReader reader(in);
    std::string line;
    unsigned long long length = 0;
    for (long long number = 1; reader.Next(line, length); ++number) {
        ++result.lines;
        LogEntry entry =
            length > line.size() ? ReadOverlongLine(line, length) : ReadLogLine(line, encoding);
        bool stored = true;
        if (entry.kind == LogEntry::Kind::kReport) {
            const ReportStore::Added added = store.AddReport(entry.report);
            stored = added != ReportStore::Added::kFailed;
            result.added += added == ReportStore::Added::kNew;
            result.known += added == ReportStore::Added::kKnown;
        } else if (entry.kind == LogEntry::Kind::kMalformed) {
            entry.malformed.source = source + ":" + std::to_string(number);
            stored = store.AddMalformed(entry.malformed);
            ++result.malformed;
            if (result.firstMalformed.size() < kMalformedShown)
                result.firstMalformed.push_back(std::move(entry.malformed));
        }
        if (!stored || (number % kBatchLines == 0 && !store.Commit())) {
            result.error = store.Error();
            break;
        }
        if (number % 1000 == 0)
            progress.Show(source, reader.Offset(), size, number);
    }
    if (result.error.empty() && !store.Commit())
        result.error = store.Error();
    progress.Clear();
}
