// The summaries of the usage reports, given once as data: which table each reads, which rows it
// keeps, what it groups by and what it counts. A store turns each into a query of its own SQL
// dialect (`SummarySql`); the text, JSON and HTML views take titles, headings and chart kinds from
// here too.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct SummaryCount {
    enum class Kind { kRows, kRowsWhere, kDistinct };
    const char* heading;
    Kind kind;
    const char* column = nullptr;  // kRowsWhere: the column compared; kDistinct: the one counted
    const char* equals = nullptr;  // kRowsWhere: an SQL literal
};

struct SummaryDefinition {
    const char* id;  // a stable name for scripts and the page's anchors
    const char* title;
    const char* table;
    const char* filterColumn;                                 // nullptr: every row of the table
    const char* filterEquals;                                 // an SQL literal
    std::vector<std::pair<const char*, const char*>> groups;  // heading, column
    std::vector<SummaryCount> counts;
    bool largestFirst;  // ordered by the first count, largest first; otherwise by the groups
    bool overTime;      // the groups are days: drawn as columns along a time line
};

// In the order the views show them.
const std::vector<SummaryDefinition>& ReportSummaries();

// What differs between the stores' SQL.
struct SqlDialect {
    const char* countWhere;     // printf format of a conditional count: column, literal
    const char* countDistinct;  // printf format of a distinct count: column
    const char* tableSuffix;    // after the table's name (e.g. a store's "read merged rows")
};
extern const SqlDialect kSqliteDialect;

std::string SummarySql(const SummaryDefinition& summary, const SqlDialect& dialect);

// The columns a summary reads, filter first, then groups, then counted columns: an index on them
// in this order answers the summary from the index alone, in the order of its groups.
std::vector<std::string> SummaryColumns(const SummaryDefinition& summary);

using SummaryRows = std::vector<std::vector<std::string>>;

// One summary's result: the heading row, then one row per group.
struct Summary {
    const SummaryDefinition* definition = nullptr;
    SummaryRows rows;
};

// Every summary, each read through `query`, which runs one statement of the dialect and appends
// its rows (false when the store failed: then the result is empty).
std::vector<Summary> RunSummaries(
    const SqlDialect& dialect,
    const std::function<bool(const std::string& sql, SummaryRows& rows)>& query);
