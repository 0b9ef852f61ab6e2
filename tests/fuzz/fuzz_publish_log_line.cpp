// The statistics store's reading of a log: the line reader splits the bytes as a plain split at
// each "\n" does (keeping only the head of a line over its limit), and every line becomes nothing,
// a malformed line with a reason, or a report row whose key, day, kind and hijack hosts have
// their forms, the same row each time it is read.
#include <sstream>

#include "report/report_decoder.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/publish/report_load.h"

namespace {

constexpr std::size_t kLimit = 1500;  // above a report line, below the longest input

bool IsKey(const std::string& key) {
    if (key.size() != 32)
        return false;
    for (const char c : key) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

bool IsDay(const std::string& day) {
    if (day == "unknown")
        return true;
    if (day.size() != 10 || day[4] != '-' || day[7] != '-')
        return false;
    for (const std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (day[i] < '0' || day[i] > '9')
            return false;
    }
    const int month = std::stoi(day.substr(5, 2));
    const int date = std::stoi(day.substr(8, 2));
    return month >= 1 && month <= 12 && date >= 1 && date <= 31;
}

bool IsHost(const std::string& host) {
    if (!host.empty() && host[0] == '[')
        return host.find(']') == std::string::npos || host.find(']') == host.size() - 1;
    for (const char c : host) {
        if (c == ':' || c == '/' || c == '?' || c == '#' || c == '@' || (c >= 'A' && c <= 'Z'))
            return false;
    }
    return true;
}

void CheckEntry(const std::string& line, const LogEntry& entry) {
    switch (entry.kind) {
        case LogEntry::Kind::kNone:
            break;
        case LogEntry::Kind::kMalformed:
            FUZZ_CHECK(!entry.malformed.reason.empty());
            FUZZ_CHECK(IsKey(entry.malformed.key));
            FUZZ_CHECK(IsDay(entry.malformed.day));
            FUZZ_CHECK(entry.malformed.line == line);
            break;
        case LogEntry::Kind::kReport: {
            const ReportRow& row = entry.report;
            FUZZ_CHECK(IsKey(row.key));
            FUZZ_CHECK(IsDay(row.day));
            FUZZ_CHECK(row.kind == "anomaly" || row.kind == "sibling");
            FUZZ_CHECK(row.kind == "anomaly" || row.product.empty());
            FUZZ_CHECK(row.kind == "sibling" || row.took == 0);
            FUZZ_CHECK(!row.json.empty());
            for (std::size_t i = 0; i < row.hijacks.size(); ++i) {
                FUZZ_CHECK(row.hijacks[i].position == static_cast<long long>(i));
                FUZZ_CHECK(row.hijacks[i].reportKey == row.key);
                FUZZ_CHECK(IsHost(row.hijacks[i].host));
            }
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream in(text);
    LogLineReader reader(in, kLimit);
    std::string line;
    unsigned long long length = 0;
    std::size_t at = 0;
    while (reader.Next(line, length)) {
        // The same line by a plain split.
        FUZZ_CHECK(at < text.size());
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string whole = text.substr(at, end - at);
        at = end + 1;
        if (whole.size() <= kLimit && !whole.empty() && whole.back() == '\r')
            whole.pop_back();
        FUZZ_CHECK(length == whole.size());
        FUZZ_CHECK(line == whole.substr(0, length > kLimit ? std::min(kLimit, kOverlongHead)
                                                           : whole.size()));

        const LogEntry entry =
            length > kLimit ? ReadOverlongLine(line, length) : ReadLogLine(line, "GBK");
        FUZZ_CHECK(length > kLimit ||
                   (entry.kind == LogEntry::Kind::kNone) == !ReportRequestInLine(line));
        CheckEntry(line, entry);
        if (entry.kind == LogEntry::Kind::kReport)
            FUZZ_CHECK(ReadLogLine(line, "GBK").report.key == entry.report.key);
    }
    FUZZ_CHECK(at >= text.size());
    FUZZ_CHECK(reader.Offset() == text.size());
    return 0;
}
