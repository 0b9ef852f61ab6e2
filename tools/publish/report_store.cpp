#include "tools/publish/report_store.h"

#include <sqlite3.h>

#include <cstdlib>
#include <fstream>

std::vector<Summary> ReportStore::Summaries() {
    return RunSummaries(
        Dialect(), [this](const std::string& sql, SummaryRows& rows) { return Query(sql, rows); });
}

long long ReportStore::MalformedLines() {
    SummaryRows count;
    const std::string sql =
        std::string("SELECT COUNT(*) FROM ") + MalformedTable().name + Dialect().tableSuffix;
    if (!Query(sql, count) || count.empty() || count[0].empty())
        return -1;
    return std::atoll(count[0][0].c_str());
}

namespace {

// A prepared statement finalised when it leaves scope.
class Statement {
  public:
    Statement() = default;
    Statement(sqlite3* db, const std::string& sql) {
        sqlite3_prepare_v2(db, sql.c_str(), -1, &s_, nullptr);
    }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(Statement&& other) noexcept : s_(other.s_) { other.s_ = nullptr; }
    Statement& operator=(Statement&& other) noexcept {
        std::swap(s_, other.s_);
        return *this;
    }
    bool Ok() const { return s_ != nullptr; }
    sqlite3_stmt* Get() const { return s_; }

    // Binds every column of a row, runs the statement and readies it for the next row.
    template <class Row>
    int Run(const Table<Row>& table, const Row& row) {
        for (std::size_t i = 0; i < table.columns.size(); ++i) {
            const Column<Row>& column = table.columns[i];
            const int at = static_cast<int>(i) + 1;
            if (column.text != nullptr) {
                const std::string& text = row.*column.text;
                sqlite3_bind_text(s_, at, text.data(), static_cast<int>(text.size()),
                                  SQLITE_STATIC);
            } else {
                sqlite3_bind_int64(s_, at, row.*column.number);
            }
        }
        const int result = sqlite3_step(s_);
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
        return result;
    }

  private:
    sqlite3_stmt* s_ = nullptr;
};

template <class Row>
std::string CreateSql(const Table<Row>& table) {
    std::string sql = std::string("CREATE TABLE IF NOT EXISTS ") + table.name + "(";
    for (const Column<Row>& column : table.columns)
        sql += std::string(column.name) + (column.text ? " TEXT, " : " INTEGER, ");
    sql += "PRIMARY KEY(";
    for (std::size_t i = 0; i < table.key.size(); ++i)
        sql += std::string(i ? ", " : "") + table.key[i];
    return sql + "));";
}

template <class Row>
std::string InsertSql(const Table<Row>& table) {
    std::string names;
    std::string values;
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
        names += std::string(i ? ", " : "") + table.columns[i].name;
        values += std::string(i ? ", " : "") + "?" + std::to_string(i + 1);
    }
    return std::string("INSERT OR IGNORE INTO ") + table.name + "(" + names + ") VALUES(" + values +
           ")";
}

// The indexes the summaries read instead of the tables.
std::string IndexSql() {
    std::string sql;
    for (const SummaryDefinition& summary : ReportSummaries()) {
        std::string columns;
        for (const std::string& column : SummaryColumns(summary))
            columns += (columns.empty() ? "" : ", ") + column;
        sql += std::string("CREATE INDEX IF NOT EXISTS ") + summary.table + "_" + summary.id +
               " ON " + summary.table + "(" + columns + ");";
    }
    return sql;
}

class SqliteStore : public ReportStore {
  public:
    explicit SqliteStore(sqlite3* db) : db_(db) {}
    ~SqliteStore() override {
        Commit();
        // The statements go before the connection.
        report_ = Statement();
        hijack_ = Statement();
        malformed_ = Statement();
        sqlite3_close(db_);
    }

    bool Open() {
        const std::string schema = "PRAGMA synchronous=NORMAL;" + CreateSql(ReportTable()) +
                                   CreateSql(HijackTable()) + CreateSql(MalformedTable()) +
                                   IndexSql();
        if (!Exec(schema.c_str()))
            return false;
        report_ = Statement(db_, InsertSql(ReportTable()));
        hijack_ = Statement(db_, InsertSql(HijackTable()));
        malformed_ = Statement(db_, InsertSql(MalformedTable()));
        return report_.Ok() && hijack_.Ok() && malformed_.Ok();
    }

    Added AddReport(const ReportRow& report) override {
        if (!Begin() || !Done(report_.Run(ReportTable(), report)))
            return Added::kFailed;
        if (sqlite3_changes(db_) == 0)
            return Added::kKnown;
        for (const HijackRow& hijack : report.hijacks) {
            if (!Done(hijack_.Run(HijackTable(), hijack)))
                return Added::kFailed;
        }
        return Added::kNew;
    }

    bool AddMalformed(const MalformedRow& line) override {
        return Begin() && Done(malformed_.Run(MalformedTable(), line));
    }

    bool Commit() override {
        if (!inTransaction_)
            return true;
        inTransaction_ = false;
        return Exec("COMMIT");
    }

    bool Query(const std::string& sql, SummaryRows& rows) override {
        if (!Commit())
            return false;
        Statement s(db_, sql);
        if (!s.Ok())
            return Done(SQLITE_ERROR);
        int step;
        while ((step = sqlite3_step(s.Get())) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(s.Get()); ++i) {
                const unsigned char* text = sqlite3_column_text(s.Get(), i);
                row.emplace_back(text ? reinterpret_cast<const char*>(text) : "",
                                 static_cast<std::size_t>(sqlite3_column_bytes(s.Get(), i)));
            }
            rows.push_back(std::move(row));
        }
        return Done(step);
    }

    const SqlDialect& Dialect() const override { return kSqliteDialect; }
    std::string Error() const override { return sqlite3_errmsg(db_); }

  private:
    bool Exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == 0; }
    static bool Done(int result) { return result == SQLITE_DONE || result == SQLITE_OK; }
    bool Begin() {
        if (!inTransaction_)
            inTransaction_ = Exec("BEGIN");
        return inTransaction_;
    }

    sqlite3* db_;
    Statement report_;
    Statement hijack_;
    Statement malformed_;
    bool inTransaction_ = false;
};

}  // namespace

std::unique_ptr<ReportStore> OpenSqliteStore(const std::string& path, std::string& error) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
        error = "cannot open " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    auto store = std::make_unique<SqliteStore>(db);
    if (!store->Open()) {
        error = path + " cannot hold the reports (" + store->Error() +
                "); a database written by an older tallix-publish is not upgraded: load the logs"
                " into a new one";
        return nullptr;
    }
    return store;
}

bool IsSqliteFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char header[16] = {};
    in.read(header, sizeof header);
    return in.gcount() == 16 && std::string(header, 15) == "SQLite format 3";
}
