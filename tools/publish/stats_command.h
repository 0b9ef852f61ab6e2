// `tallix-publish stats`: loads statistics-host logs into the report store and prints the
// summaries as tables or JSON, and as a page with charts.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/publish/report_load.h"

struct StatsOptions {
    std::vector<std::string> inputs;  // logs ("-" for standard input), or one database
    std::string db;                   // the SQLite database; empty: tallix-reports.db
    std::string clickhouse;           // or the URL of a ClickHouse server
    std::string cluster;              // and its cluster to spread the reports over
    std::string encoding = "GBK";
    std::string html;  // the page to write, when not empty
    long long batchLines = kBatchLines;
    // Where the lines of standard input that a failing store did not take are appended.
    std::string unloaded = "tallix-unloaded.log";
    bool json = false;
};

// Exit status: 0 clean, 1 when malformed report lines were loaded, 2 for a usage error, a log
// that cannot be read or a store that fails (then the message says from which line on the log
// is not stored). `terminal`, when not null, shows the progress of long loads (the caller passes
// standard error when that is a terminal).
int RunStatsCommand(const StatsOptions& options, std::ostream& out, std::ostream& err,
                    std::ostream* terminal);
