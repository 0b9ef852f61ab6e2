#include "tools/publish/report_load.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/publish/output.h"

namespace {

// A batch ends at this many bytes of lines too, so that the lines kept of standard input stay few.
constexpr unsigned long long kBatchBytes = 32 * 1024 * 1024;
constexpr std::size_t kMalformedShown = 20;

}  // namespace

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
             const LoadOptions& options, ReportStore& store, LoadProgress& progress,
             LoadResult& result) {
    LogLineReader reader(in);
    std::string line;
    unsigned long long length = 0;
    long long number = 0;
    long long batchStart = 1;
    long long batchLines = 0;
    unsigned long long batchBytes = 0;
    std::vector<std::string> batch;  // the batch's lines, for a stream that cannot be read twice
    while (reader.Next(line, length)) {
        ++number;
        ++result.lines;
        if (options.unstored)
            batch.push_back(line);  // of a line over the limit, its head: it is no report
        LogEntry entry = length > line.size() ? ReadOverlongLine(line, length)
                                              : ReadLogLine(line, options.encoding);
        bool stored = true;
        if (entry.kind == LogEntry::Kind::kReport) {
            const ReportStore::Added added = store.AddReport(entry.report);
            stored = added != ReportStore::Added::kFailed;
            result.added += added == ReportStore::Added::kNew;
            result.known += added == ReportStore::Added::kKnown;
            result.written += added == ReportStore::Added::kWritten;
        } else if (entry.kind == LogEntry::Kind::kMalformed) {
            entry.malformed.source = source + ":" + std::to_string(number);
            stored = store.AddMalformed(entry.malformed);
            ++result.malformed;
            if (result.firstMalformed.size() < kMalformedShown)
                result.firstMalformed.push_back(std::move(entry.malformed));
        }
        batchBytes += length;
        const bool full = ++batchLines >= options.batchLines || batchBytes >= kBatchBytes;
        if (!stored || (full && !store.Commit())) {
            result.error = store.Error();
            break;
        }
        if (full) {
            batchStart = number + 1;
            batchLines = 0;
            batchBytes = 0;
            batch.clear();
        }
        if (number % 1000 == 0)
            progress.Show(source, reader.Offset(), size, number);
    }
    if (result.error.empty() && !store.Commit())
        result.error = store.Error();
    progress.Clear();
    if (result.error.empty())
        return;
    result.firstUnstored = batchStart;
    std::ostream* out = options.unstored ? options.unstored() : nullptr;
    if (out == nullptr)
        return;
    for (const std::string& kept : batch)
        *out << kept << '\n';
    result.kept = static_cast<long long>(batch.size()) + reader.CopyRest(*out);
    if (!out->flush())
        result.kept = -1;
}
