// Loading a statistics host's log into a report store as a stream: the log is read in blocks, one
// line at a time, each line decoded and written on its own and committed in batches, so that the
// memory a load takes does not grow with the log.
#pragma once

#include <chrono>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "tools/publish/report_store.h"

// Longer lines cannot be reports the updater sends (its file texts are cut at 50,000 bytes); of
// such a line only the first kOverlongHead bytes are kept, as a malformed line.
constexpr std::size_t kLongestLogLine = 4 * 1024 * 1024;
constexpr std::size_t kOverlongHead = 4096;

// The lines of a stream, each at most `limit` bytes held in memory.
class LogLineReader {
  public:
    explicit LogLineReader(std::istream& in, std::size_t limit = kLongestLogLine);

    // The next line without its line end (LF or CR LF) in `line`, and its full length in
    // `length`: when that is above the limit, `line` holds only the first kOverlongHead bytes.
    // False at the end of the stream.
    bool Next(std::string& line, unsigned long long& length);
    // The bytes read so far.
    unsigned long long Offset() const { return offset_; }

  private:
    bool Fill();

    std::istream& in_;
    std::size_t limit_;
    std::vector<char> buffer_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    unsigned long long offset_ = 0;
};

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

struct LoadResult {
    long long lines = 0;
    long long added = 0;      // reports new to the store
    long long known = 0;      // reports the store already held
    long long malformed = 0;  // lines with a report request the decoder could not read
    std::vector<MalformedRow> firstMalformed;  // the first few, for the publisher to read
    std::string error;                         // the store's failure; the load stopped there
};

// Loads every line of `in` (named `source` in the malformed table) into `store`. `size` is the
// log's size in bytes for the progress line, or 0.
void LoadLog(std::istream& in, const std::string& source, unsigned long long size,
             const std::string& encoding, ReportStore& store, LoadProgress& progress,
             LoadResult& result);
