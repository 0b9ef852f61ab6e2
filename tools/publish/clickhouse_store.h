// The report store in ClickHouse, for a publisher whose reports outgrow one file on one machine:
// the tables of report_row.h on one server, or spread over the shards of a cluster by the machine
// a report came from, written over the server's HTTP interface as JSONEachRow.
//
// Each table is a ReplacingMergeTree partitioned by month and ordered by day and key: rows of one
// key meet in one part when the server merges, and it keeps one. Until then the summaries read
// through FINAL, which merges as it reads, so a log loaded twice, a batch sent again after its
// answer was lost, or two loaders given the same lines count each report once.
//
// With a cluster (a name in the servers' remote_servers), every shard holds the tables as
// "<table>_local" and a Distributed table of the plain name over them, so that a loader or a
// reader may use any shard. A report and its hijack rows go to the shard that the hash of the
// machine's identity (the disk serial and the adapter data) picks, a malformed line to the one
// its key picks; the same report goes to the same shard every time, where it meets its copies.
#pragma once

#include <memory>
#include <string>

#include "tools/publish/report_store.h"

extern const SqlDialect kClickHouseDialect;

// Opens the store at `url` (a server's HTTP interface: "http://[USER[:PASSWORD]@]HOST[:PORT]/",
// optionally with "?database=NAME" and further settings), creating the tables that are missing.
// With `cluster`, the server's cluster of that name: every shard of it must answer HTTP on the
// URL's port, as the same user. Null with `error` set when the server cannot be reached or holds
// other tables of these names.
std::unique_ptr<ReportStore> OpenClickHouseStore(const std::string& url, const std::string& cluster,
                                                 std::string& error);

// Text of a TabSeparated answer as rows of fields, its escapes undone.
std::vector<std::vector<std::string>> ParseTabSeparated(const std::string& text);

// Text as a JSON string whose bytes the server keeps as they are: quotes, backslashes and control
// characters escaped, every other byte itself (a malformed line's code-page bytes included, which
// the strict JSON of the tools' output would replace).
std::string JsonBytes(const std::string& text);

// A table's row as one line of JSONEachRow, its text as JsonBytes.
template <class Row>
void AppendJsonRow(std::string& out, const Table<Row>& table, const Row& row) {
    out += '{';
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        const Column<Row>& column = table.columns[i];
        out += i ? ",\"" : "\"";
        out += column.name;
        out += "\":";
        out += column.text ? JsonBytes(row.*column.text) : std::to_string(row.*column.number);
    }
    out += "}\n";
}
