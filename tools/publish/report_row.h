// One usage report as the statistics store keeps it: what a line of the statistics host's log
// becomes once the updater's own decoder has read it, the key that says which report it is, and
// the tables every store writes (their columns given once, as data, so that each store builds its
// schema and its inserts from the same list).
//
// A report is keyed by what it is, not by where it stands in a file: the log line's time, the
// client address and the whole request. The same line met again, in a log loaded twice, in two
// halves of a log or in logs joined together, is the same report; two reports differ in at least
// one of the three (the updater's request carries a random number as well).
#pragma once

#include <string>
#include <vector>

// One record of a report's hijack list, with what the summaries read of its report beside it.
struct HijackRow {
    std::string reportKey;
    long long position = 0;  // its place in the report's list, from 0
    std::string day;
    std::string dns;   // the report's DNS list
    std::string disk;  // the report's disk serial
    std::string name;
    std::string location;
    std::string host;  // the location's host name, lower case, without port or user
    long long length = 0;
    long long status = 0;
};

struct ReportRow {
    std::string key;
    std::string time;    // the log line's time as written, or empty
    std::string client;  // the client address the log names, or empty
    std::string day;     // "YYYY-MM-DD" of the time, or "unknown"
    std::string kind;    // "anomaly" or "sibling"
    std::string updaterVersion;
    std::string file;
    std::string product;  // the anomaly's product name; empty for a sibling report
    std::string productVersion;
    std::string original;
    std::string dns;
    std::string disk;
    std::string path;
    long long redown = 0;
    long long size = 0;
    long long took = 0;  // sibling report: 1 when the update took; 0 for an anomaly report
    long long length = 0;
    long long existed = 0;
    std::string json;  // the whole decoded report
    std::vector<HijackRow> hijacks;
};

// A line that holds a report request the decoder could not read, kept with the reason.
struct MalformedRow {
    std::string key;
    std::string time;
    std::string client;
    std::string day;
    std::string source;  // "LOG:LINE", where it was first met
    std::string reason;
    std::string line;  // the line, or its first bytes when it was too long to read
};

// What one log line is.
struct LogEntry {
    enum class Kind { kNone, kReport, kMalformed };
    Kind kind = Kind::kNone;  // kNone: no report request (another page of the host)
    ReportRow report;
    MalformedRow malformed;
};

// Reads one log line: the loopback server's JSON line ("time", "client" and "path"), an access-log
// line (`CLIENT - - [07/Dec/2026:10:00:00 +0000] "GET /receive/tallix.aspx?... HTTP/1.1" ...`) or
// a bare URL (no time, no client). `encoding` names the reporting computers' ANSI code page.
LogEntry ReadLogLine(const std::string& line, const std::string& encoding);

// A line longer than a log line may be, of which only `head` was kept: malformed when the kept
// part shows a report request, else nothing.
LogEntry ReadOverlongLine(const std::string& head, unsigned long long length);

// The key of a report: 32 hexadecimal digits of the SHA-256 of its time, client and request.
std::string ReportKey(const std::string& time, const std::string& client,
                      const std::string& request);

// The columns of a table, each a text or a whole number member of the row type.
template <class Row>
struct Column {
    const char* name;
    std::string Row::*text = nullptr;
    long long Row::*number = nullptr;
};

template <class Row>
struct Table {
    const char* name;
    std::vector<Column<Row>> columns;
    std::vector<const char*> key;  // the columns that identify a row
    // The columns that name the machine a row came from (its disk serial and adapter data), for a
    // store that spreads rows over servers by machine; empty: the row is spread by its key.
    std::vector<const char*> machine;
};

const Table<ReportRow>& ReportTable();
const Table<HijackRow>& HijackTable();
const Table<MalformedRow>& MalformedTable();
