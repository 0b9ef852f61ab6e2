#include "tools/publish/report_summaries.h"

#include <algorithm>
#include <cstdio>

const SqlDialect kSqliteDialect = {"SUM(%s = %s)", "COUNT(DISTINCT %s)", ""};

const std::vector<SummaryDefinition>& ReportSummaries() {
    using K = SummaryCount::Kind;
    static const std::vector<SummaryDefinition> summaries = {
        {"days",
         "reports per day",
         "reports",
         nullptr,
         nullptr,
         {{"day", "day"}},
         {{"anomaly", K::kRowsWhere, "kind", "'anomaly'"},
          {"sibling", K::kRowsWhere, "kind", "'sibling'"}},
         false,
         true},
        {"versions",
         "reports per updater version",
         "reports",
         nullptr,
         nullptr,
         {{"updater", "updater_version"}},
         {{"anomaly", K::kRowsWhere, "kind", "'anomaly'"},
          {"sibling", K::kRowsWhere, "kind", "'sibling'"}},
         false,
         false},
        {"anomalies",
         "anomalies by product name (the report names no signer: only that it is not the maker)",
         "reports",
         "kind",
         "'anomaly'",
         {{"product", "product"}, {"original name", "original"}, {"file", "file"}},
         {{"reports", K::kRows}},
         true,
         false},
        {"hijacks",
         "hijacked redirect hosts and the DNS servers behind them",
         "hijacks",
         nullptr,
         nullptr,
         {{"redirect host", "host"}, {"DNS servers", "dns"}},
         {{"reports", K::kDistinct, "report_key"}},
         true,
         false},
        {"siblings",
         "sibling updates by the version they started from",
         "reports",
         "kind",
         "'sibling'",
         {{"version before", "product_version"}},
         {{"took", K::kRowsWhere, "took", "1"}, {"did not take", K::kRowsWhere, "took", "0"}},
         false,
         false},
    };
    return summaries;
}

namespace {

std::string Format(const char* format, const char* a, const char* b = "") {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::string CountSql(const SummaryCount& count, const SqlDialect& dialect) {
    switch (count.kind) {
        case SummaryCount::Kind::kRowsWhere:
            return Format(dialect.countWhere, count.column, count.equals);
        case SummaryCount::Kind::kDistinct:
            return Format(dialect.countDistinct, count.column);
        case SummaryCount::Kind::kRows:
            break;
    }
    return "COUNT(*)";
}

}  // namespace

std::string SummarySql(const SummaryDefinition& summary, const SqlDialect& dialect) {
    std::string groups;
    for (const auto& group : summary.groups)
        groups += std::string(groups.empty() ? "" : ", ") + group.second;
    std::string sql = "SELECT " + groups;
    for (const SummaryCount& count : summary.counts)
        sql += ", " + CountSql(count, dialect);
    sql += std::string(" FROM ") + summary.table + dialect.tableSuffix;
    if (summary.filterColumn != nullptr)
        sql += std::string(" WHERE ") + summary.filterColumn + " = " + summary.filterEquals;
    sql += " GROUP BY " + groups + " ORDER BY ";
    if (summary.largestFirst)
        sql += CountSql(summary.counts.front(), dialect) + " DESC, ";
    return sql + groups;
}

std::vector<std::string> SummaryColumns(const SummaryDefinition& summary) {
    std::vector<std::string> columns;
    auto add = [&](const char* column) {
        if (column != nullptr && std::find(columns.begin(), columns.end(), column) == columns.end())
            columns.push_back(column);
    };
    add(summary.filterColumn);
    for (const auto& group : summary.groups)
        add(group.second);
    for (const SummaryCount& count : summary.counts)
        add(count.column);
    return columns;
}

std::vector<Summary> RunSummaries(
    const SqlDialect& dialect,
    const std::function<bool(const std::string& sql, SummaryRows& rows)>& query) {
    std::vector<Summary> out;
    for (const SummaryDefinition& definition : ReportSummaries()) {
        Summary summary{&definition, {{}}};
        for (const auto& group : definition.groups)
            summary.rows[0].push_back(group.first);
        for (const SummaryCount& count : definition.counts)
            summary.rows[0].push_back(count.heading);
        if (!query(SummarySql(definition, dialect), summary.rows))
            return {};
        out.push_back(std::move(summary));
    }
    return out;
}
