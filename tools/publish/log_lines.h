// The lines of a statistics host's log, read in blocks: however long a line is, only a bounded
// head of it is held in memory.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>
#include <vector>

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
    // Writes the bytes not read yet to `out` as they are; the lines among them.
    long long CopyRest(std::ostream& out);

  private:
    bool Fill();

    std::istream& in_;
    std::size_t limit_;
    std::vector<char> buffer_;
    std::size_t at_ = 0;
    std::size_t end_ = 0;
    unsigned long long offset_ = 0;
};
