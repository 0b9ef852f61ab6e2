// The statistics store: log lines of each format read into rows (key, day, columns), a log loaded
// whole, in halves and joined to itself counting each report once, the summaries reading their
// indexes, the line reader's bound, and what reaches a terminal.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "report/report_cipher.h"
#include "report/usage_report.h"
#include "tests/publish/synthetic_log.h"
#include "tools/publish/report_load.h"
#include "tools/publish/output.h"
#include "tools/publish/xml_view.h"

namespace {

std::string Request(const ReportContent& report) {
    const std::string record = Utf16ToUtf8(report.record);  // ASCII here, as the ANSI bytes
    const std::string url =
        Utf16ToUtf8(ReportUrl(L"http://127.0.0.1", EncryptReportBytes(record), report));
    return url.substr(url.find("/receive"));
}

ReportContent Anomaly(const std::vector<std::wstring>& locations,
                      const std::wstring& product = L"Adware") {
    UsageReportInputs in;
    DownloadAnomaly a;
    a.fileName = L"pinnace.exe";
    a.productName = product;
    a.originalFileName = L"setup.exe";
    a.signer = L"other company";
    in.anomalies.push_back(a);
    for (const std::wstring& location : locations) {
        RedirectRecord r;
        r.name = L"pinnace.exe";
        r.location = location;
        r.status = 302;
        in.redirects.push_back(r);
    }
    in.ownVersion = L"3.2.0.17";
    in.signerOf = [](const std::wstring&) { return std::wstring(); };
    return *BuildUsageReport(in);
}

ReportContent Sibling(bool took) {
    UpdateItem item;
    item.tag = L"fennick";
    item.version = L"1.0.0.1";
    item.installedVersion = L"1.0.0.0";
    return BuildSiblingReport(item, took ? L"1.0.0.1" : L"1.0.0.0", L"C:\\F\\fennick.exe", L"",
                              L"3.2.0.16", 3);
}

std::string JsonLine(const std::string& time, const std::string& request) {
    return "{\"time\": \"" + time + "\", \"client\": \"192.0.2.7\", \"path\": \"" + request + "\"}";
}

std::string AccessLine(const std::string& time, const std::string& request) {
    return "192.0.2.7 - - [" + time + "] \"GET " + request + " HTTP/1.1\" 200 2";
}

TEST(ReportRow, ReadsTimeClientDayAndColumnsOfEachLineFormat) {
    const std::string anomaly = Request(Anomaly({}));
    const std::string took = Request(Sibling(true));
    const std::string notTaken = Request(Sibling(false));
    // Each line format: 'j' a JSON line, 'a' an access-log line, 'u' the bare address.
    struct Case {
        char format;
        std::string time, request, day, kind, product;
        long long took;
    } cases[] = {
        {'j', "2026-12-06T23:59:59Z", anomaly, "2026-12-06", "anomaly", "Adware", 0},
        {'j', "2026-12-31", took, "2026-12-31", "sibling", "", 1},
        {'j', "2026-13-01T00:00:00Z", notTaken, "unknown", "sibling", "", 0},
        {'a', "07/Dec/2026:10:00:00 +0800", anomaly, "2026-12-07", "anomaly", "Adware", 0},
        {'a', "31/Jan/2027:00:00:01 +0000", took, "2027-01-31", "sibling", "", 1},
        {'a', "07/Dez/2026:10:00:00 +0100", took, "unknown", "sibling", "", 1},
        {'u', "", anomaly, "unknown", "anomaly", "Adware", 0},
        {'j', "2026-12-06T10:00:00Z", Request(Anomaly({}, L"7-Zip")), "2026-12-06", "anomaly",
         "7-Zip", 0},
    };
    for (const Case& c : cases) {
        const std::string line = c.format == 'j'   ? JsonLine(c.time, c.request)
                                 : c.format == 'a' ? AccessLine(c.time, c.request)
                                                   : "http://127.0.0.1" + c.request;
        const std::string client = c.format == 'u' ? "" : "192.0.2.7";
        SCOPED_TRACE(line);
        const LogEntry entry = ReadLogLine(line, "GBK");
        ASSERT_EQ(entry.kind, LogEntry::Kind::kReport);
        const ReportRow& row = entry.report;
        EXPECT_EQ(row.time, c.time);
        EXPECT_EQ(row.client, client);
        EXPECT_EQ(row.day, c.day);
        EXPECT_EQ(row.kind, c.kind);
        EXPECT_EQ(row.product, c.product);
        EXPECT_EQ(row.took, c.took);
        EXPECT_EQ(row.key, ReportKey(c.time, client, c.request));
    }
}

TEST(ReportRow, HijackHostIsTheLocationsHostAlone) {
    const LogEntry entry = ReadLogLine(
        JsonLine("2026-12-06T10:00:00Z",
                 Request(Anomaly({L"http://Portal.ISP.example:8080/x?y=1", L"http://me@isp.example",
                                  L"http://[2001:db8::1]:81/", L"/relative"}))),
        "GBK");
    ASSERT_EQ(entry.kind, LogEntry::Kind::kReport);
    std::vector<std::string> hosts;
    for (const HijackRow& h : entry.report.hijacks) {
        EXPECT_EQ(h.reportKey, entry.report.key);
        EXPECT_EQ(h.position, static_cast<long long>(hosts.size()));
        hosts.push_back(h.host);
    }
    EXPECT_EQ(hosts,
              (std::vector<std::string>{"portal.isp.example", "isp.example", "[2001:db8::1]", ""}));
}

TEST(ReportRow, KeyIsWhatTheReportIsAndBadLinesSayWhy) {
    const std::string request = Request(Sibling(true));
    const std::string line = JsonLine("2026-12-06T10:00:00Z", request);
    const std::string key = ReadLogLine(line, "GBK").report.key;
    EXPECT_EQ(key.size(), 32u);
    EXPECT_EQ(ReadLogLine(line, "GBK").report.key, key);
    std::string otherClient = line;
    otherClient.replace(otherClient.find("192.0.2.7"), 9, "192.0.2.8");
    EXPECT_NE(ReadLogLine(otherClient, "GBK").report.key, key);
    EXPECT_NE(ReadLogLine(JsonLine("2026-12-06T10:00:01Z", request), "GBK").report.key, key);

    const LogEntry bad =
        ReadLogLine(JsonLine("2026-12-06T10:00:00Z", "/receive/tallix.aspx?uid=ABC&v=1"), "GBK");
    ASSERT_EQ(bad.kind, LogEntry::Kind::kMalformed);
    EXPECT_FALSE(bad.malformed.reason.empty());
    EXPECT_EQ(bad.malformed.day, "2026-12-06");
    EXPECT_EQ(ReadLogLine("{\"path\": \"/keldra/upgrade.xml\"}", "GBK").kind,
              LogEntry::Kind::kNone);
    EXPECT_EQ(ReadOverlongLine("x /receive/tallix.aspx?uid=", 9000000).kind,
              LogEntry::Kind::kMalformed);
    EXPECT_EQ(ReadOverlongLine("x /keldra/upgrade.xml", 9000000).kind, LogEntry::Kind::kNone);
}

TEST(LogLineReader, SplitsLinesAndKeepsOnlyTheHeadOfAnOverlongOne) {
    const std::size_t limit = kOverlongHead + 100;
    const std::string longLine(3 * limit, 'x');
    std::istringstream in("first\r\n" + longLine + "\n\nlast");
    LogLineReader reader(in, limit);
    std::vector<std::pair<std::string, unsigned long long>> lines;
    std::string line;
    unsigned long long length = 0;
    while (reader.Next(line, length))
        lines.emplace_back(line, length);
    EXPECT_EQ(lines, (std::vector<std::pair<std::string, unsigned long long>>{
                         {"first", 5},
                         {longLine.substr(0, kOverlongHead), longLine.size()},
                         {"", 0},
                         {"last", 4}}));
    EXPECT_EQ(reader.Offset(), 7 + longLine.size() + 1 + 1 + 4);
    EXPECT_LE(line.capacity(), 2 * limit);  // the long line was never held whole
}

// A fresh database file for one test.
class StoreFile {
  public:
    explicit StoreFile(const std::string& name)
        : path_((std::filesystem::temp_directory_path() /
                 (name + "-" + std::to_string(::getpid()) + ".db"))
                    .string()) {
        std::filesystem::remove(path_);
    }
    ~StoreFile() { std::filesystem::remove(path_); }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

LoadResult Load(ReportStore& store, const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    std::istringstream in(text);
    std::ostringstream terminal;
    LoadProgress progress(&terminal, std::chrono::milliseconds(0));
    LoadResult result;
    LoadLog(in, "log", text.size(), LoadOptions(), store, progress, result);
    EXPECT_TRUE(result.error.empty()) << result.error;
    if (lines.size() >= 1000) {  // shown every thousand lines, then wiped
        EXPECT_NE(terminal.str().find("\r\x1b[Kloading log: "), std::string::npos);
        EXPECT_EQ(terminal.str().substr(terminal.str().size() - 4), "\r\x1b[K");
    }
    return result;
}

std::vector<SummaryRows> RowsOf(ReportStore& store) {
    std::vector<SummaryRows> rows;
    for (const Summary& summary : store.Summaries())
        rows.push_back(summary.rows);
    return rows;
}

TEST(ReportStore, ALogWholeInHalvesOrJoinedToItselfCountsEachReportOnce) {
    std::vector<std::string> log;
    for (int i = 0; i < 1200; ++i)
        log.push_back(SyntheticLogLine(i));
    const std::vector<std::string> first(log.begin(), log.begin() + 500);
    const std::vector<std::string> second(log.begin() + 500, log.end());
    std::vector<std::string> joined = log;
    joined.insert(joined.end(), log.begin(), log.end());

    std::string error;
    StoreFile wholeFile("whole"), halvesFile("halves"), joinedFile("joined");
    auto whole = OpenSqliteStore(wholeFile.Path(), error);
    auto halves = OpenSqliteStore(halvesFile.Path(), error);
    auto doubled = OpenSqliteStore(joinedFile.Path(), error);
    ASSERT_TRUE(whole && halves && doubled) << error;

    const LoadResult all = Load(*whole, log);
    const LoadResult a = Load(*halves, first);
    const LoadResult b = Load(*halves, second);
    const LoadResult twice = Load(*doubled, joined);
    EXPECT_GT(all.added, 1000);
    EXPECT_GT(all.malformed, 0);
    EXPECT_EQ(all.known, 0);
    EXPECT_EQ(a.added + b.added, all.added);
    EXPECT_EQ(a.known + b.known, 0);
    EXPECT_EQ(twice.added, all.added);
    EXPECT_EQ(twice.known, all.added);
    EXPECT_EQ(twice.malformed, 2 * all.malformed);

    const auto expected = RowsOf(*whole);
    ASSERT_EQ(expected.size(), 5u);
    long long counted = 0;
    for (std::size_t r = 1; r < expected[0].size(); ++r)  // per day: anomaly, sibling
        counted += std::stoll(expected[0][r][1]) + std::stoll(expected[0][r][2]);
    EXPECT_EQ(counted, all.added);
    EXPECT_EQ(RowsOf(*halves), expected);
    EXPECT_EQ(RowsOf(*doubled), expected);
    for (ReportStore* store : {whole.get(), halves.get(), doubled.get()}) {
        SummaryRows malformed;
        ASSERT_TRUE(store->Query("SELECT COUNT(*), MIN(reason) FROM malformed", malformed));
        EXPECT_EQ(malformed[0][0], std::to_string(all.malformed));
        EXPECT_NE(malformed[0][1], "");
    }
}

TEST(ReportStore, EachSummaryReadsAnIndexAndNeedsNoSort) {
    StoreFile file("plans");
    std::string error;
    ASSERT_TRUE(OpenSqliteStore(file.Path(), error)) << error;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.Path().c_str(), &db), SQLITE_OK);
    for (const SummaryDefinition& summary : ReportSummaries()) {
        sqlite3_stmt* plan = nullptr;
        const std::string sql = "EXPLAIN QUERY PLAN " + SummarySql(summary, kSqliteDialect);
        ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &plan, nullptr), SQLITE_OK) << sql;
        std::string steps;
        while (sqlite3_step(plan) == SQLITE_ROW)
            steps += reinterpret_cast<const char*>(sqlite3_column_text(plan, 3)) + std::string(";");
        sqlite3_finalize(plan);
        EXPECT_NE(steps.find("USING COVERING INDEX"), std::string::npos) << summary.id << steps;
        EXPECT_EQ(steps.find("TEMP B-TREE FOR GROUP BY"), std::string::npos) << summary.id << steps;
    }
    sqlite3_close(db);
}

TEST(TerminalSafe, WritesControlsAndStrayBytesAsEscapes) {
    EXPECT_EQ(TerminalSafe("a\x1b]0;t\x07z\x7f"), "a\\x1b]0;t\\x07z\\x7f");
    EXPECT_EQ(TerminalSafe("\xc2\x9b"
                           "2J \x9b \xe6\x9e\x81 C:\\F"),
              "\\u009b2J \\x9b \xe6\x9e\x81 C:\\F");
    EXPECT_EQ(TerminalSafe("\xe6\x9e"), "\\xe6\\x9e");
}

}  // namespace
