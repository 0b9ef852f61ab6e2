// Loading a statistics host's log into a report store as a stream: the log is read in blocks, one
// line at a time, each line decoded and written on its own and committed in batches, so that the
// memory a load takes does not grow with the log.
#pragma once

#include <chrono>
#include <functional>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "tools/publish/log_lines.h"
#include "tools/publish/report_store.h"

// A progress line on a terminal, redrawn in place at most once per `interval` and wiped when the
// load ends. Nothing is written when there is no terminal (`out` null).
class LoadProgress {
  public:
    LoadProgress(std::ostream* out, std::chrono::milliseconds interval);
    // `size` is 0 when the log's size is not known (standard input).
    void Show(const std::string& source, unsigned long long done, unsigned long long size,
              long long lines);
    void Clear();

  private:
    std::ostream* out_;
    std::chrono::milliseconds interval_;
    std::chrono::steady_clock::time_point last_;
    bool shown_ = false;
};

constexpr long long kBatchLines = 20000;

struct LoadOptions {
    std::string encoding = "GBK";
    long long batchLines = kBatchLines;  // lines of a batch, committed together
    // For a stream that cannot be read twice (standard input): gives where the lines of a batch
    // the store failed to take, and every line after them, are written (null when it cannot be
    // opened). Not set for a file, whose lines are still in it.
    std::function<std::ostream*()> unstored;
};

struct LoadResult {
    long long lines = 0;
    long long added = 0;      // reports new to the store
    long long known = 0;      // reports the store already held
    long long written = 0;    // reports given to a store that does not tell which it held
    long long malformed = 0;  // lines with a report request the decoder could not read
    std::vector<MalformedRow> firstMalformed;  // the first few, for the publisher to read
    // The store's failure: the load stopped there, and the lines from `firstUnstored` (counted
    // from 1) on may not be stored; `kept` of them were written to the unstored stream.
    std::string error;
    long long firstUnstored = 0;
    long long kept = -1;  // -1: none were written anywhere
};

// Loads every line of `in` (named `source` in the malformed table) into `store`, one batch at a
// time. `size` is the log's size in bytes for the progress line, or 0.
void LoadLog(std::istream& in, const std::string& source, unsigned long long size,
             const LoadOptions& options, ReportStore& store, LoadProgress& progress,
             LoadResult& result);
