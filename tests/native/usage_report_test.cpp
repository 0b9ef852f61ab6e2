#include "report/usage_report.h"

#include <gtest/gtest.h>

namespace {

DownloadAnomaly Anomaly(std::wstring fileName, std::wstring productName, std::wstring signer,
                        std::wstring fileText) {
    DownloadAnomaly a;
    a.fileName = std::move(fileName);
    a.productName = std::move(productName);
    a.signer = std::move(signer);
    a.fileText = std::move(fileText);
    a.productVersion = L"2.0.0.1";
    a.originalFileName = L"orig.exe";
    a.fileSize = 4096;
    a.exists = true;
    return a;
}

RedirectRecord Redirect(std::wstring name, std::wstring location, std::wstring path,
                        std::int64_t length = 154, std::int32_t status = 302) {
    RedirectRecord r;
    r.name = std::move(name);
    r.location = std::move(location);
    r.path = std::move(path);
    r.contentLength = length;
    r.status = status;
    return r;
}

UsageReportInputs Inputs() {
    UsageReportInputs in;
    in.adapters = {{L"Intel", L"", L"", L"", L"", L"10.0.0.1", L"10.0.0.2"},
                   {L"Realtek", L"", L"", L"", L"", L"192.168.1.1", L""}};
    in.machineId = L"WD-123";
    in.ownVersion = L"3.2.0.17";
    in.random = 4711;
    // Only the package the redirect log names for "pinnace.exe" carries the maker's signer.
    in.signerOf = [](const std::wstring& path) {
        return path == L"C:\\s\\upgrade\\pinnace.exe"
                   ? std::wstring(L"lakemoor orvane network technology co., ltd.")
                   : std::wstring();
    };
    return in;
}

TEST(UsageReport, ChoosesTheFirstForeignAnomalyWithAProductName) {
    const std::wstring maker = L"lakemoor orvane network technology co., ltd.";
    const struct {
        const char* name;
        std::vector<DownloadAnomaly> anomalies;
        std::optional<std::wstring> chosen;  // its file name; nullopt: nothing is sent
        std::wstring fileTexts;
    } cases[] = {
        {"no anomaly", {}, std::nullopt, L""},
        {"only the maker's", {Anomaly(L"a.exe", L"A", maker, L"x")}, std::nullopt, L"x|"},
        {"maker's upper-case signer skipped, text kept",
         {Anomaly(L"a.exe", L"A", L"LAKEMOOR ORVANE NETWORK TECHNOLOGY", L"page"),
          Anomaly(L"b.exe", L"B", L"other co", L"")},
         L"b.exe",
         L"page||"},
        {"no product name skipped",
         {Anomaly(L"a.exe", L"", L"other", L"t1"), Anomaly(L"b.exe", L"B", L"", L"t2"),
          Anomaly(L"c.exe", L"C", L"", L"t3")},
         L"b.exe",
         L"t1|t2|"},
    };
    for (const auto& c : cases) {
        UsageReportInputs in = Inputs();
        in.anomalies = c.anomalies;
        const auto report = BuildUsageReport(in);
        ASSERT_EQ(report.has_value(), c.chosen.has_value()) << c.name;
        if (report) {
            EXPECT_EQ(report->record.substr(0, 2 + c.chosen->size()), L"n:" + *c.chosen) << c.name;
            EXPECT_EQ(report->fileTextList, c.fileTexts) << c.name;
        }
    }
}

TEST(UsageReport, RecordAndQueryWithTheRedirectLog) {
    UsageReportInputs in = Inputs();
    in.anomalies = {Anomaly(L"pinnace.exe", L"Pinnace", L"someone else", L"<html>&</html>")};
    in.redirects = {
        Redirect(L"keldra.exe", L"http://a.example/k?x=1&y=2", L"C:\\s\\upgrade\\keldra.exe"),
        Redirect(L"PINNACE.EXE", L"http://b.example/p", L"C:\\s\\upgrade\\pinnace.exe", 77, 301)};
    const auto report = BuildUsageReport(in);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->record,
              L"n:pinnace.exe;d:Pinnace;v:2.0.0.1;s:<html>&</html>|;"
              L"dns:10.0.0.1,10.0.0.2#192.168.1.1,;o:orig.exe;disk:WD-123;"
              L"path:http://b.example/p;redown:1;size:4096;");
    EXPECT_EQ(report->length, 77);
    EXPECT_EQ(report->existed, 1);
    // Values go out raw: the location's "&" splits the query on the wire.
    EXPECT_EQ(ReportUrl(L"http://127.0.0.1:9", L"ABCD", *report),
              L"http://127.0.0.1:9/receive/tallix.aspx?uid=ABCD&v=3.2.0.17&s=77&e=1"
              L"&a=hijactcontent:keldra.exe-http://a.example/k?x=1&y=2-154-302|"
              L"PINNACE.EXE-http://b.example/p-77-301|;filecontent:<html>&</html>|;&r=4711");
}

TEST(UsageReport, RedirectLookupFallsBackToTheFirstRecordThenToNothing) {
    UsageReportInputs in = Inputs();
    DownloadAnomaly nameless = Anomaly(L"", L"Thing", L"", L"");
    nameless.exists = false;
    in.anomalies = {nameless};
    // Empty log: empty hijack list and path, s=0, redown from an empty path.
    auto report = BuildUsageReport(in);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->record,
              L"n:noname;d:Thing;v:2.0.0.1;s:|;dns:10.0.0.1,10.0.0.2#192.168.1.1,;o:orig.exe;"
              L"disk:WD-123;path:;redown:0;size:4096;");
    EXPECT_EQ(report->hijackList, L"");
    EXPECT_EQ((std::pair{report->length, report->existed}), (std::pair<std::int64_t, int>{0, 0}));
    // No record of that name: the log's first record answers.
    in.redirects = {Redirect(L"pinnace.exe", L"http://first/", L"C:\\s\\upgrade\\pinnace.exe", 5),
                    Redirect(L"other.exe", L"http://second/", L"C:\\x", 6)};
    report = BuildUsageReport(in);
    ASSERT_TRUE(report);
    EXPECT_NE(report->record.find(L";path:http://first/;redown:1;"), std::wstring::npos);
    EXPECT_EQ(report->length, 5);
}

TEST(UsageReport, DnsList) {
    EXPECT_EQ(DnsList({}), L"");
    EXPECT_EQ(DnsList({{L"", L"", L"", L"", L"", L"", L""}}), L",");
    EXPECT_EQ(DnsList({{L"", L"", L"", L"", L"", L"8.8.8.8", L""},
                       {L"", L"", L"", L"", L"", L"", L"1.1.1.1"}}),
              L"8.8.8.8,#,1.1.1.1");
}

TEST(SiblingReport, FindsTheItemAndRecordsWhetherItWasUpdated) {
    UpdateList items;
    for (const wchar_t* tag : {L"keldra", L"Fennick", L"fennick"}) {
        items.push_back(std::make_unique<UpdateItem>());
        items.back()->tag = tag;
        items.back()->version = L"1.0.0.1b";
        items.back()->installedVersion = L"1.0.0.0";
    }
    const UpdateItem* item = FindSiblingItem(items);
    ASSERT_EQ(item, items[1].get());
    EXPECT_EQ(FindSiblingItem(UpdateList()), nullptr);

    const struct {
        std::wstring current;
        wchar_t d;
    } cases[] = {{L"1.0.0.1B", L'1'}, {L"1.0.0.0", L'0'}, {L"", L'0'}};
    for (const auto& c : cases) {
        const ReportContent report =
            BuildSiblingReport(*item, c.current, L"C:\\F\\fennick.exe", L"SN1", L"3.2.0.17", 9);
        EXPECT_EQ(report.record, std::wstring(L"n:fennick.exe;d:") + c.d +
                                     L";v:1.0.0.0;s:;dns:;o:;disk:SN1;path:C:\\F\\fennick.exe;"
                                     L"redown:0;size:0;");
        EXPECT_EQ(ReportUrl(L"http://h", L"00", report),
                  L"http://h/receive/tallix.aspx?uid=00&v=3.2.0.17&s=0&e=0"
                  L"&a=hijactcontent:;filecontent:;&r=9");
    }
}

}  // namespace
