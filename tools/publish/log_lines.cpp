#include "tools/publish/log_lines.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kBlock = 256 * 1024;

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

long long LogLineReader::CopyRest(std::ostream& out) {
    long long lines = 0;
    bool open = false;  // a line begun and not ended
    do {
        const char* begin = buffer_.data() + at_;
        out.write(begin, static_cast<std::streamsize>(end_ - at_));
        lines += std::count(begin, static_cast<const char*>(buffer_.data() + end_), '\n');
        if (end_ > at_)
            open = buffer_[end_ - 1] != '\n';
        offset_ += end_ - at_;
        at_ = end_;
    } while (Fill());
    return lines + open;
}
