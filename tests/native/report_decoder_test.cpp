#include "report/report_decoder.h"

#include <gtest/gtest.h>

#include "report/report_cipher.h"
#include "report/usage_report.h"

namespace {

// The test records are ASCII, which every ANSI code page shares; anything else is "not text".
std::optional<std::string> AsciiOnly(const std::string& bytes) {
    for (unsigned char c : bytes) {
        if (c >= 0x80) {
            return std::nullopt;
        }
    }
    return bytes;
}

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// The request the updater sends for a report (ASCII content).
std::string Request(const ReportContent& report) {
    return Narrow(
        ReportUrl(L"http://127.0.0.1:20002", EncryptReportBytes(Narrow(report.record)), report));
}

std::string Decode(const std::string& request) {
    const DecodedReport decoded = DecodeReportRequest(request, AsciiOnly);
    EXPECT_TRUE(decoded.ok) << decoded.error;
    return decoded.json;
}

TEST(ReportDecoder, RoundTripsWhatTheBuildersProduce) {
    UsageReportInputs in;
    DownloadAnomaly anomaly;
    anomaly.fileName = L"pinnace-setup.exe";
    anomaly.productName = L"Pinnace";
    anomaly.productVersion = L"2.0";
    anomaly.fileText = L"a;dns:b|c";
    anomaly.fileSize = 12;
    anomaly.exists = true;
    in.anomalies = {anomaly};
    RedirectRecord redirect;
    redirect.name = L"pinnace-setup.exe";
    redirect.location = L"http://x-y.example/p?a=1&b=2";
    redirect.contentLength = 0;
    redirect.status = 302;
    in.redirects = {redirect};
    in.adapters = {{L"", L"", L"", L"", L"", L"10.0.0.1", L""}};
    in.machineId = L"SN-1";
    in.ownVersion = L"3.2.0.17";
    in.random = 123;
    const auto report = BuildUsageReport(in);
    ASSERT_TRUE(report);
    EXPECT_EQ(Decode(Request(*report)),
              R"({"record":{"n":"pinnace-setup.exe","d":"Pinnace","v":"2.0","s":"a;dns:b|c|",)"
              R"("dns":"10.0.0.1,","o":"","disk":"SN-1","path":"http://x-y.example/p?a=1&b=2",)"
              R"("redown":0,"size":12},"v":"3.2.0.17","s":0,"e":1,)"
              R"("hijacks":[{"name":"pinnace-setup.exe","location":"http://x-y.example/p?a=1&b=2",)"
              R"("length":0,"status":302}],"files":["a;dns:b","c"],"r":123})");

    UpdateItem fennick;
    fennick.version = L"1.0.0.1";
    fennick.installedVersion = L"1.0.0.0";
    const ReportContent sibling =
        BuildSiblingReport(fennick, L"1.0.0.1", L"C:\\F\\fennick.exe", L"", L"3.2.0.17", 7);
    EXPECT_EQ(Decode(Request(sibling)),
              R"({"record":{"n":"fennick.exe","d":"1","v":"1.0.0.0","s":"","dns":"","o":"",)"
              R"("disk":"","path":"C:\\F\\fennick.exe","redown":0,"size":0},"v":"3.2.0.17",)"
              R"("s":0,"e":0,"hijacks":[],"files":[],"r":7})");
}

TEST(ReportDecoder, RefusesMalformedRequests) {
    const std::string record = "n:a;d:b;v:c;s:;dns:;o:;disk:;path:;redown:0;size:0;";
    const auto withUid = [](const std::string& uid, const std::string& rest =
                                                        "&v=1&s=0&e=0&a=hijactcontent:;"
                                                        "filecontent:;&r=1") {
        return "/receive/tallix.aspx?uid=" + uid + rest;
    };
    const std::string goodUid = Narrow(EncryptReportBytes(record));
    const struct {
        std::string request;
        std::string error;
    } cases[] = {
        {withUid("ABC"), "uid is not whole 8-byte blocks of hexadecimal digits"},
        {withUid(goodUid + "0"), "uid is not whole 8-byte blocks of hexadecimal digits"},
        {withUid("0123456789ABCDEF"), "the record does not decrypt to text"},
        {withUid(Narrow(EncryptReportBytes("n:a;d:b;v:c;s:;o:;disk:;path:;redown:0;size:0;"))),
         "the record has no key \"dns\""},
        {withUid(Narrow(EncryptReportBytes("n:a;d:b;v:c;s:;dns:;o:;disk:;path:;redown:x;size:0;"))),
         "the record's \"redown\" is not a number"},
        {withUid(goodUid, "&v=1&s=0&a=hijactcontent:;filecontent:;&r=1"),
         "the query has no key \"e\""},
        {withUid(goodUid, "&v=1&s=0&e=0&a=hijactcontent:;filecontent:;"),
         "the query has no key \"r\""},
        {withUid(goodUid, "&v=1&s=0&e=0&a=files&r=1"),
         "a is not \"hijactcontent:...;filecontent:...;\""},
        {withUid(goodUid, "&v=1&s=0&e=0&a=hijactcontent:x-1-2;filecontent:;&r=1"),
         "the hijack list does not end with \"|\""},
        {withUid(goodUid, "&v=1&s=0&e=0&a=hijactcontent:x-y|;filecontent:;&r=1"),
         "hijack record \"x-y\" is not name-location-length-status"},
        {withUid(goodUid, "&v=1&s=zero&e=0&a=hijactcontent:;filecontent:;&r=1"),
         "the query's \"s\" is not a number"},
        {"uid=", "the query has no key \"v\""},
        {"", "the query has no key \"uid\""},
    };
    for (const auto& c : cases) {
        const DecodedReport decoded = DecodeReportRequest(c.request, AsciiOnly);
        EXPECT_FALSE(decoded.ok) << c.request;
        EXPECT_EQ(decoded.error, c.error) << c.request;
    }
    // The same record with every key decodes.
    EXPECT_TRUE(DecodeReportRequest(withUid(goodUid), AsciiOnly).ok);
}

TEST(ReportDecoder, FindsTheRequestInLogLines) {
    const std::string target = "/receive/tallix.aspx?uid=00&v=1&s=0&e=0&a=x&r=1";
    const struct {
        std::string line;
        std::optional<std::string> request;
    } cases[] = {
        {R"({"port": 20002, "method": "GET", "path": "/receive/tallix.aspx?uid=00&v=1&s=0&e=0&a=\"x\\y\u00e9\u4e2d&r=1", "headers": {}})",
         // The server logs the request line read as Latin-1: \u00e9 is the byte 0xE9.
         "/receive/tallix.aspx?uid=00&v=1&s=0&e=0&a=\"x\\y\xe9\xe4\xb8\xad&r=1"},
        {"127.0.0.1 - - [06/Dec/2026] \"GET " + target + " HTTP/1.1\" 404 -", target},
        {"http://127.0.0.1:20002" + target + "\r",
         "/receive/tallix.aspx?uid=00&v=1&s=0&e=0&a=x&r=1"},
        {R"({"path": "/keldra/upgrade.xml?a=1"})", std::nullopt},
        {"GET /keldra/upgrade.xml HTTP/1.1", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReportRequestInLine(c.line), c.request) << c.line;
    }
}

}  // namespace
