// `tallix-publish stats`: loads statistics-host logs into the report store and prints the
// summaries as tables or JSON, and as a page with charts.
#pragma once

#include <ostream>
#include <string>
#include <vector>

struct StatsOptions {
    std::vector<std::string> inputs;  // logs ("-" for standard input), or one database
    std::string db = "tallix-reports.db";
    std::string encoding = "GBK";
    std::string html;  // the page to write, when not empty
    bool json = false;
};

// Exit status: 0 clean, 1 when malformed report lines were loaded, 2 for a usage error, a log
// that cannot be read or a store that fails. `terminal`, when not null, shows the progress of
// long loads (the caller passes standard error when that is a terminal).
int RunStatsCommand(const StatsOptions& options, std::ostream& out, std::ostream& err,
                    std::ostream* terminal);
