#include "tools/publish/clickhouse_store.h"

#include <algorithm>
#include <map>
#include <set>

#include "tools/publish/clickhouse_http.h"

std::string JsonBytes(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

const SqlDialect kClickHouseDialect = {"countIf(%s = %s)", "uniqExact(%s)", " FINAL"};

namespace {

// Rows held before they are sent, whatever the loader's batch: an insert stays a few tens of
// megabytes however long the reports' file texts are.
constexpr std::size_t kMostBytesHeld = 32 * 1024 * 1024;

constexpr char kLocalSuffix[] = "_local";
constexpr char kEngine[] = "ReplacingMergeTree";
constexpr char kDistributedEngine[] = "Distributed";

// One table's statements, from its columns.
struct TableShape {
    std::string name;
    std::vector<std::pair<std::string, std::string>> columns;  // name, type
    std::vector<const char*> key;
    std::vector<const char*> machine;
};

template <class Row>
TableShape ShapeOf(const Table<Row>& table) {
    TableShape shape{table.name, {}, table.key, table.machine};
    for (const Column<Row>& column : table.columns)
        shape.columns.emplace_back(column.name, column.text ? "String" : "Int64");
    return shape;
}

std::string Joined(const std::vector<const char*>& names) {
    std::string text;
    for (const char* name : names)
        text += (text.empty() ? "" : ", ") + std::string(name);
    return text;
}

// Partitioned by month, the rows of a report met again replaced by one when parts merge. A day
// that is not a date ("unknown") falls in the partition of month 0.
std::string CreateSql(const TableShape& table, const std::string& name) {
    std::string sql = "CREATE TABLE IF NOT EXISTS " + name + " (";
    for (std::size_t i = 0; i < table.columns.size(); ++i)
        sql += (i ? ", " : "") + table.columns[i].first + " " + table.columns[i].second;
    return sql + ") ENGINE = " + kEngine +
           " PARTITION BY toYYYYMM(toDateOrZero(day)) ORDER BY (day, " + Joined(table.key) + ")";
}

// SQL text of a string.
std::string Literal(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "'";
}

// The database is named as it is: ClickHouse 18.16 keeps currentDatabase() as written and reads
// it as the empty name when it attaches the table at its next start.
std::string CreateDistributedSql(const TableShape& table, const std::string& cluster,
                                 const std::string& database) {
    const std::string spread = table.machine.empty() ? Joined(table.key) : Joined(table.machine);
    return "CREATE TABLE IF NOT EXISTS " + table.name + " AS " + table.name + kLocalSuffix +
           " ENGINE = " + kDistributedEngine + "(" + Literal(cluster) + ", " + Literal(database) +
           ", " + table.name + kLocalSuffix + ", cityHash64(" + spread + "))";
}

// What a server holds of these tables: each one's engine, and its columns and their types.
struct Held {
    std::map<std::string, std::string> engines;
    std::map<std::string, std::set<std::pair<std::string, std::string>>> columns;
};

bool ReadHeld(ClickHouseHttp& server, Held& held, std::string& error) {
    const ClickHouseAnswer tables = server.Run(
        "SELECT name, engine FROM system.tables WHERE database = currentDatabase() FORMAT "
        "TabSeparated");
    if (!tables.ok) {
        error = tables.error;
        return false;
    }
    const ClickHouseAnswer columns = server.Run(
        "SELECT table, name, type FROM system.columns WHERE database = currentDatabase() FORMAT "
        "TabSeparated");
    if (!columns.ok) {
        error = columns.error;
        return false;
    }
    held = Held();
    for (const auto& row : ParseTabSeparated(tables.body)) {
        if (row.size() == 2)
            held.engines[row[0]] = row[1];
    }
    for (const auto& row : ParseTabSeparated(columns.body)) {
        if (row.size() == 3)
            held.columns[row[0]].emplace(row[1], row[2]);
    }
    return true;
}

// The tables one server needs: (name, engine, columns, statement that makes it).
struct Wanted {
    std::string name;
    std::string engine;
    const TableShape* shape;
    std::string create;
};

enum class Tables { kReady, kMissing, kFailed };

// Whether a server holds every table, each with its engine and columns.
Tables Check(ClickHouseHttp& server, const std::vector<Wanted>& wanted, std::string& error) {
    Held held;
    if (!ReadHeld(server, held, error))
        return Tables::kFailed;
    Tables state = Tables::kReady;
    for (const Wanted& table : wanted) {
        const std::set<std::pair<std::string, std::string>> columns(table.shape->columns.begin(),
                                                                    table.shape->columns.end());
        if (!held.engines.count(table.name)) {
            state = Tables::kMissing;
        } else if (held.engines[table.name] != table.engine ||
                   held.columns[table.name] != columns) {
            error = "the table " + table.name + " at " + server.Url().Shown() + " (" +
                    held.engines[table.name] + ") is not the " + table.engine +
                    " with the columns this tool writes; a table made by an older tallix-publish"
                    " is not changed: load the logs into another database";
            return Tables::kFailed;
        }
    }
    return state;
}

// Makes the tables a server lacks. A server whose user may only read answers the summaries when
// the tables are there already.
bool Prepare(ClickHouseHttp& server, const std::vector<Wanted>& wanted, std::string& error) {
    const Tables state = Check(server, wanted, error);
    if (state != Tables::kMissing)
        return state == Tables::kReady;
    for (const Wanted& table : wanted) {
        const ClickHouseAnswer made = server.Run(table.create);
        // Another loader that starts at the same time may make it first.
        constexpr int kTableAlreadyExists = 57;
        if (!made.ok && made.code != kTableAlreadyExists) {
            error = made.error;
            return false;
        }
    }
    return Check(server, wanted, error) == Tables::kReady;
}

class ClickHouseStore : public ReportStore {
  public:
    ClickHouseStore(ClickHouseUrl url, bool cluster) : server_(std::move(url)) {
        // A distributed insert answers once every shard holds its rows, so that what a load
        // reports stored is stored, and a shard that is down fails the batch (to be retried).
        if (cluster)
            insertSettings_ = "insert_distributed_sync=1";
    }

    Added AddReport(const ReportRow& report) override {
        AppendJsonRow(held_[0], ReportTable(), report);
        for (const HijackRow& hijack : report.hijacks)
            AppendJsonRow(held_[1], HijackTable(), hijack);
        return HeldBytes() < kMostBytesHeld || Commit() ? Added::kWritten : Added::kFailed;
    }

    bool AddMalformed(const MalformedRow& line) override {
        AppendJsonRow(held_[2], MalformedTable(), line);
        return HeldBytes() < kMostBytesHeld || Commit();
    }

    bool Commit() override {
        const char* const names[] = {ReportTable().name, HijackTable().name, MalformedTable().name};
        for (std::size_t i = 0; i < 3; ++i) {
            if (held_[i].empty())
                continue;
            const ClickHouseAnswer answer =
                server_.Run(std::string("INSERT INTO ") + names[i] + " FORMAT JSONEachRow",
                            &held_[i], insertSettings_);
            if (!answer.ok) {
                error_ = answer.error;
                for (std::string& rows : held_)
                    rows.clear();
                return false;
            }
            held_[i].clear();
        }
        return true;
    }

    bool Query(const std::string& sql, SummaryRows& rows) override {
        if (!Commit())
            return false;
        const ClickHouseAnswer answer = server_.Run(sql + " FORMAT TabSeparated");
        if (!answer.ok) {
            error_ = answer.error;
            return false;
        }
        for (auto& row : ParseTabSeparated(answer.body))
            rows.push_back(std::move(row));
        return true;
    }

    const SqlDialect& Dialect() const override { return kClickHouseDialect; }
    std::string Error() const override { return error_; }

    ClickHouseHttp& Server() { return server_; }

  private:
    std::size_t HeldBytes() const { return held_[0].size() + held_[1].size() + held_[2].size(); }

    ClickHouseHttp server_;
    std::string insertSettings_;
    std::string held_[3];  // JSONEachRow lines of reports, hijacks and malformed lines
    std::string error_;
};

bool IsClusterName(const std::string& name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-' || c == '.';
    });
}

}  // namespace

std::unique_ptr<ReportStore> OpenClickHouseStore(const std::string& url, const std::string& cluster,
                                                 std::string& error) {
    ClickHouseUrl parsed;
    if (!ParseClickHouseUrl(url, parsed)) {
        error = "--clickhouse takes the URL of a server's HTTP interface (http://HOST:PORT/)";
        return nullptr;
    }
    if (!cluster.empty() && !IsClusterName(cluster)) {
        error = "a cluster's name is letters, digits, '_', '-' and '.'";
        return nullptr;
    }
    auto store = std::make_unique<ClickHouseStore>(parsed, !cluster.empty());
    static const std::vector<TableShape> shapes = {ShapeOf(ReportTable()), ShapeOf(HijackTable()),
                                                   ShapeOf(MalformedTable())};
    std::vector<Wanted> wanted;
    if (cluster.empty()) {
        for (const TableShape& shape : shapes)
            wanted.push_back({shape.name, kEngine, &shape, CreateSql(shape, shape.name)});
        if (!Prepare(store->Server(), wanted, error))
            return nullptr;
        return store;
    }

    // Every shard holds the local tables, and the distributed ones to load and read through. They
    // are made on every shard when the server named lacks any; a shard added to the cluster later
    // gets them from a load given its own URL.
    const ClickHouseAnswer where =
        store->Server().Run("SELECT currentDatabase() FORMAT TabSeparated");
    const ClickHouseAnswer hosts = store->Server().Run(
        "SELECT DISTINCT host_address FROM system.clusters WHERE cluster = " + Literal(cluster) +
        " FORMAT TabSeparated");
    if (!where.ok || !hosts.ok) {
        error = where.ok ? hosts.error : where.error;
        return nullptr;
    }
    const auto shards = ParseTabSeparated(hosts.body);
    const auto database = ParseTabSeparated(where.body);
    if (shards.empty() || database.empty()) {
        error = "the ClickHouse server at " + parsed.Shown() + " has no cluster " + cluster +
                " in its remote_servers";
        return nullptr;
    }
    for (const TableShape& shape : shapes) {
        const std::string local = shape.name + kLocalSuffix;
        wanted.push_back({local, kEngine, &shape, CreateSql(shape, local)});
    }
    for (const TableShape& shape : shapes) {
        wanted.push_back({shape.name, kDistributedEngine, &shape,
                          CreateDistributedSql(shape, cluster, database[0].at(0))});
    }
    const Tables state = Check(store->Server(), wanted, error);
    if (state != Tables::kMissing)
        return state == Tables::kReady ? std::move(store) : nullptr;
    for (const auto& shard : shards) {
        ClickHouseUrl at = parsed;
        at.host = shard.at(0).find(':') == std::string::npos ? shard[0] : "[" + shard[0] + "]";
        ClickHouseHttp server(at);
        if (!Prepare(server, wanted, error))
            return nullptr;
    }
    return store;
}

std::vector<std::vector<std::string>> ParseTabSeparated(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\t') {
            row.emplace_back();
        } else if (c == '\n') {
            rows.push_back(std::move(row));
            row.assign(1, "");
        } else if (c == '\\' && i + 1 < text.size()) {
            static const std::string kFrom = "bfnrt0";
            static const std::string kTo = {'\b', '\f', '\n', '\r', '\t', '\0'};
            const char next = text[++i];
            const std::size_t at = kFrom.find(next);
            row.back() += at == std::string::npos ? next : kTo[at];
        } else {
            row.back() += c;
        }
    }
    return rows;
}
