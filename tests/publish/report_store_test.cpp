// The report database: reports built by the updater's own report code, sent through a log,
// loaded twice, and summarised.
#include <gtest/gtest.h>

#include <filesystem>

#include "report/report_cipher.h"
#include "report/usage_report.h"
#include "tools/publish/report_store.h"
#include "tools/publish/xml_view.h"

namespace {

// The JSON line the statistics host logs for one report.
std::string LogLine(const ReportContent& report, const std::string& time) {
    const std::string record = Utf16ToUtf8(report.record);  // ASCII here, as the ANSI bytes
    const std::string url =
        Utf16ToUtf8(ReportUrl(L"http://127.0.0.1", EncryptReportBytes(record), report));
    return "{\"method\": \"GET\", \"path\": \"" + url.substr(url.find("/receive")) +
           "\", \"time\": \"" + time + "T10:00:00\"}";
}

ReportContent Anomaly(const std::wstring& product, const std::wstring& location) {
    UsageReportInputs in;
    DownloadAnomaly a;
    a.fileName = L"pinnace.exe";
    a.productName = product;
    a.originalFileName = L"setup.exe";
    a.signer = L"other company";
    in.anomalies.push_back(a);
    RedirectRecord r;
    r.name = L"pinnace.exe";
    r.location = location;
    r.status = 302;
    in.redirects.push_back(r);
    AdapterInfo adapter;
    adapter.firstDns = L"10.0.0.53";
    in.adapters.push_back(adapter);
    in.ownVersion = L"3.2.0.17";
    in.random = 7;
    in.signerOf = [](const std::wstring&) { return std::wstring(); };
    return *BuildUsageReport(in);
}

ReportContent Sibling(const std::wstring& before, bool took, int random) {
    UpdateItem item;
    item.tag = L"fennick";
    item.version = L"1.0.0.1";
    item.installedVersion = before;
    return BuildSiblingReport(item, took ? L"1.0.0.1" : before, L"C:\\F\\fennick.exe", L"",
                              L"3.2.0.16", random);
}

TEST(ReportStore, LoadingALogAgainCountsNothingTwice) {
    const std::string db =
        (std::filesystem::temp_directory_path() / ("stats-" + std::to_string(::getpid()) + ".db"))
            .string();
    std::filesystem::remove(db);
    const std::vector<std::string> log = {
        LogLine(Anomaly(L"Adware", L"http://portal.isp.example/x"), "2026-12-06"),
        "{\"method\": \"GET\", \"path\": \"/keldra/upgrade.xml?a=1\"}",
        LogLine(Sibling(L"1.0.0.0", true, 1), "2026-12-06"),
        LogLine(Sibling(L"1.0.0.0", false, 2), "2026-12-07"),
        LogLine(Sibling(L"1.0.0.0", false, 2),
                "2026-12-07"),  // the same request twice counts twice
        "{\"path\": "
        "\"/receive/tallix.aspx?uid=ABC&v=1&s=0&e=0&a=hijactcontent:;filecontent:;&r=1\"}",
    };
    {
        ReportStore store(db);
        ASSERT_TRUE(store.Ok()) << store.Error();
        const auto first = store.Load(log, "GBK");
        EXPECT_EQ(first.added, 4);
        EXPECT_EQ(first.malformed, 1);
    }
    ReportStore store(db);  // a second run on the same database
    const auto again = store.Load(log, "GBK");
    EXPECT_EQ(again.added, 0);
    EXPECT_EQ(again.known, 4);

    const auto summaries = store.Summaries();
    ASSERT_EQ(summaries.size(), 5u);
    using Rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(Rows(summaries[0].rows.begin() + 1, summaries[0].rows.end()),
              (Rows{{"Adware", "setup.exe", "pinnace.exe", "1"}}));
    EXPECT_EQ(Rows(summaries[1].rows.begin() + 1, summaries[1].rows.end()),
              (Rows{{"portal.isp.example", "10.0.0.53,", "1"}}));
    EXPECT_EQ(Rows(summaries[2].rows.begin() + 1, summaries[2].rows.end()),
              (Rows{{"1.0.0.0", "1", "2"}}));
    EXPECT_EQ(Rows(summaries[3].rows.begin() + 1, summaries[3].rows.end()),
              (Rows{{"3.2.0.16", "0", "3"}, {"3.2.0.17", "1", "0"}}));
    EXPECT_EQ(Rows(summaries[4].rows.begin() + 1, summaries[4].rows.end()),
              (Rows{{"2026-12-06", "1", "1"}, {"2026-12-07", "0", "2"}}));
    std::filesystem::remove(db);
}

}  // namespace
