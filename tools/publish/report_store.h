// Where the decoded usage reports are kept: a store holds the rows of report_row.h under their
// keys (a report added again is known, not counted twice), the malformed lines, and answers the
// summaries of report_summaries.h in its own SQL. The SQLite store is one file on one machine; the
// ClickHouse store (clickhouse_store.h) one server or a cluster of them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/publish/report_row.h"
#include "tools/publish/report_summaries.h"

class ReportStore {
  public:
    virtual ~ReportStore() = default;

    enum class Added { kNew, kKnown, kWritten, kFailed };
    // Adds a report with its hijack records: kKnown when the store already holds its key, kNew
    // when it did not; kWritten from a store that does not tell (it keeps one report per key
    // whatever it is given, and finding out would cost a search of every key it holds).
    virtual Added AddReport(const ReportRow& report) = 0;
    // Keeps a malformed line (once per key).
    virtual bool AddMalformed(const MalformedRow& line) = 0;
    // Makes everything added so far durable; a load calls it after each batch of lines, so that
    // a load cut short keeps what came before and the next load adds the rest.
    virtual bool Commit() = 0;
    // Runs one statement of the store's dialect, appending its rows as text.
    virtual bool Query(const std::string& sql, SummaryRows& rows) = 0;
    virtual const SqlDialect& Dialect() const = 0;
    // What went wrong last, for the publisher.
    virtual std::string Error() const = 0;

    // Every summary; empty when the store failed.
    std::vector<Summary> Summaries();
    // How many malformed lines the store keeps; -1 when it failed.
    long long MalformedLines();
};

// Opens (creating when needed) the SQLite database at `path`; null with `error` set when it
// cannot be opened or was made with other tables.
std::unique_ptr<ReportStore> OpenSqliteStore(const std::string& path, std::string& error);

// Whether a file is a SQLite database (by its header), rather than a log.
bool IsSqliteFile(const std::string& path);
