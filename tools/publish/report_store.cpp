#include "tools/publish/report_store.h"

#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <map>

#include "report/report_decoder.h"
#include "tools/code_page.h"
#include "tools/publish/json_value.h"

namespace {

const char kSchema[] =
    "CREATE TABLE IF NOT EXISTS reports("
    " key TEXT PRIMARY KEY, kind TEXT, day TEXT, updater_version TEXT, file TEXT, product TEXT,"
    " product_version TEXT, original TEXT, dns TEXT, disk TEXT, path TEXT, redown INTEGER,"
    " size INTEGER, took INTEGER, length INTEGER, existed INTEGER, json TEXT);"
    "CREATE TABLE IF NOT EXISTS hijacks("
    " report_key TEXT, name TEXT, location TEXT, host TEXT, length INTEGER, status INTEGER);";

// The day of a log line: a JSON line's "time" (its first ten characters), or an access-log
// line's "[07/Dec/2026:..."; "unknown" otherwise.
std::string DayOf(const std::string& line) {
    std::string error;
    if (const auto json = ParseJson(line, error)) {
        if (const JsonValue* time = json->Find("time"); time && time->text.size() >= 10) {
            return time->text.substr(0, 10);
        }
        return "unknown";
    }
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::size_t open = line.find('[');
    if (open == std::string::npos || line.size() < open + 12)
        return "unknown";
    const std::string month = line.substr(open + 4, 3);
    for (int m = 0; m < 12; ++m) {
        if (month == kMonths[m]) {
            char day[16];
            std::snprintf(day, sizeof day, "%s-%02d-%s", line.substr(open + 8, 4).c_str(), m + 1,
                          line.substr(open + 1, 2).c_str());
            return day;
        }
    }
    return "unknown";
}

std::string HostOf(const std::string& url) {
    const std::size_t scheme = url.find("://");
    const std::size_t begin = scheme == std::string::npos ? 0 : scheme + 3;
    return url.substr(begin, url.find_first_of(":/?", begin) - begin);
}

// A prepared statement finalised when it leaves scope.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* Get() const { return s_; }
    void Text(int i, const std::string& v) {
        sqlite3_bind_text(s_, i, v.c_str(), -1, SQLITE_TRANSIENT);
    }
    void Int(int i, double v) { sqlite3_bind_int64(s_, i, static_cast<sqlite3_int64>(v)); }
    int Step() { return sqlite3_step(s_); }
    void Reset() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }

  private:
    sqlite3_stmt* s_ = nullptr;
};

std::string Str(const JsonValue* v) {
    if (v == nullptr)
        return "";
    if (v->type == JsonValue::Type::kNumber)
        return std::to_string(static_cast<long long>(v->number));
    return v->text;
}

double Num(const JsonValue* v) {
    if (v == nullptr)
        return 0;
    if (v->type == JsonValue::Type::kNumber)
        return v->number;
    return std::atof(v->text.c_str());
}

}  // namespace

ReportStore::ReportStore(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) {
        error_ = db_ ? sqlite3_errmsg(db_) : "cannot open " + path;
        sqlite3_close(db_);
        db_ = nullptr;
        return;
    }
    char* message = nullptr;
    if (sqlite3_exec(db_, kSchema, nullptr, nullptr, &message) != SQLITE_OK) {
        error_ = message ? message : "cannot create the tables";
        sqlite3_free(message);
        sqlite3_close(db_);
        db_ = nullptr;
    }
}

ReportStore::~ReportStore() {
    sqlite3_close(db_);
}

ReportStore::LoadResult ReportStore::Load(const std::vector<std::string>& lines,
                                          const std::string& encoding) {
    LoadResult result;
    const AnsiToUtf8 toUtf8 = [&](const std::string& bytes) {
        return CodePageToUtf8(encoding, bytes);
    };
    sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    Statement report(db_,
                     "INSERT OR IGNORE INTO reports VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,"
                     "?13,?14,?15,?16,?17)");
    Statement hijack(db_, "INSERT INTO hijacks VALUES(?1,?2,?3,?4,?5,?6)");
    std::map<std::string, int> seen;
    for (const std::string& line : lines) {
        const std::optional<std::string> request = ReportRequestInLine(line);
        if (!request)
            continue;
        const DecodedReport decoded = DecodeReportRequest(*request, toUtf8);
        std::string error;
        const auto json = decoded.ok ? ParseJson(decoded.json, error) : std::nullopt;
        if (!json) {
            ++result.malformed;
            continue;
        }
        const std::string key = *request + "\n" + std::to_string(seen[*request]++);
        const JsonValue* record = json->Find("record");
        const bool sibling = Str(record ? record->Find("n") : nullptr) == "fennick.exe" &&
                             Str(json->Find("e")) == "0" && Str(json->Find("s")) == "0" && record &&
                             Str(record->Find("s")).empty();
        auto field = [&](const char* name) { return record ? record->Find(name) : nullptr; };
        report.Text(1, key);
        report.Text(2, sibling ? "sibling" : "anomaly");
        report.Text(3, DayOf(line));
        report.Text(4, Str(json->Find("v")));
        report.Text(5, Str(field("n")));
        report.Text(6, sibling ? "" : Str(field("d")));
        report.Text(7, Str(field("v")));
        report.Text(8, Str(field("o")));
        report.Text(9, Str(field("dns")));
        report.Text(10, Str(field("disk")));
        report.Text(11, Str(field("path")));
        report.Int(12, Num(field("redown")));
        report.Int(13, Num(field("size")));
        report.Int(14, sibling ? Num(field("d")) : 0);
        report.Int(15, Num(json->Find("s")));
        report.Int(16, Num(json->Find("e")));
        report.Text(17, decoded.json);
        report.Step();
        const bool added = sqlite3_changes(db_) > 0;
        report.Reset();
        if (!added) {
            ++result.known;
            continue;
        }
        ++result.added;
        if (const JsonValue* hijacks = json->Find("hijacks")) {
            for (const JsonValue& h : hijacks->items) {
                hijack.Text(1, key);
                hijack.Text(2, Str(h.Find("name")));
                hijack.Text(3, Str(h.Find("location")));
                hijack.Text(4, HostOf(Str(h.Find("location"))));
                hijack.Int(5, Num(h.Find("length")));
                hijack.Int(6, Num(h.Find("status")));
                hijack.Step();
                hijack.Reset();
            }
        }
    }
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    return result;
}

std::vector<ReportStore::Summary> ReportStore::Summaries() const {
    struct Query {
        const char* title;
        std::vector<std::string> heading;
        const char* sql;
    };
    const Query queries[] = {
        {"anomalies by product name (the report names no signer: only that it is not the maker)",
         {"product", "original name", "file", "reports"},
         "SELECT product, original, file, COUNT(*) FROM reports WHERE kind='anomaly'"
         " GROUP BY product, original, file ORDER BY COUNT(*) DESC, product"},
        {"hijacked redirect hosts and the DNS servers behind them",
         {"redirect host", "DNS servers", "reports"},
         "SELECT h.host, r.dns, COUNT(DISTINCT r.key) FROM hijacks h JOIN reports r"
         " ON r.key = h.report_key GROUP BY h.host, r.dns ORDER BY COUNT(DISTINCT r.key) DESC, "
         "h.host"},
        {"sibling updates by the version they started from",
         {"version before", "took", "did not take"},
         "SELECT product_version, SUM(took = 1), SUM(took = 0) FROM reports WHERE kind='sibling'"
         " GROUP BY product_version ORDER BY product_version"},
        {"reports per updater version",
         {"updater", "anomaly", "sibling"},
         "SELECT updater_version, SUM(kind='anomaly'), SUM(kind='sibling') FROM reports"
         " GROUP BY updater_version ORDER BY updater_version"},
        {"reports per day",
         {"day", "anomaly", "sibling"},
         "SELECT day, SUM(kind='anomaly'), SUM(kind='sibling') FROM reports GROUP BY day"
         " ORDER BY day"},
    };
    std::vector<Summary> out;
    for (const Query& q : queries) {
        Summary summary{q.title, {q.heading}};
        Statement s(db_, q.sql);
        while (s.Step() == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(s.Get()); ++i) {
                const unsigned char* text = sqlite3_column_text(s.Get(), i);
                row.push_back(text ? reinterpret_cast<const char*>(text) : "");
            }
            summary.rows.push_back(row);
        }
        out.push_back(summary);
    }
    return out;
}

bool IsSqliteFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char header[16] = {};
    in.read(header, sizeof header);
    return in.gcount() == 16 && std::string(header, 15) == "SQLite format 3";
}
