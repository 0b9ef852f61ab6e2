#include <gtest/gtest.h>

#include <functional>
#include <tuple>
#include <vector>

#include "report/machine_identity.h"
#include "base/os_code.h"
#include "report/os_description.h"
#include "report/report_cipher.h"
#include "report/report_decoder.h"
#include "report/usage_report.h"
#include "tests/native/decision_machine_fake.h"

namespace {

DownloadAnomaly Anomaly(std::wstring fileName, std::wstring productName, std::wstring signer,
                        std::wstring fileText) {
    return {.fileName = fileName,
            .productVersion = L"2.0.0.1",
            .signer = signer,
            .productName = productName,
            .originalFileName = L"orig.exe",
            .fileSize = 4096,
            .exists = true,
            .fileText = fileText};
}

RedirectRecord Redirect(std::wstring name, std::wstring location, std::wstring path,
                        std::int64_t length = 154, std::int32_t status = 302) {
    return {.name = name,
            .location = location,
            .path = path,
            .contentLength = length,
            .status = status};
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

TEST(UsageReport, ChoosesTheFirstForeignAnomalyWithAProductName) {
    const std::wstring maker = L"lakemoor orvane network technology co., ltd.";
    const std::tuple<const char*, std::vector<DownloadAnomaly>, std::optional<std::wstring>,
                     std::wstring>
        cases[] = {
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
            // A text is sent up to its first zero byte, as "%s" formats it.
            {"texts cut at their first zero",
             {Anomaly(L"a.exe", L"", L"other", std::wstring(L"MZ\0\x90rest", 7)),
              Anomaly(L"b.exe", L"B", L"", std::wstring(L"\0tail", 5))},
             L"b.exe",
             L"MZ||"},
        };
    for (const auto& [name, anomalies, chosen, fileTexts] : cases) {
        UsageReportInputs in = Inputs();
        in.anomalies = anomalies;
        const auto report = BuildUsageReport(in);
        ASSERT_EQ(report.has_value(), chosen.has_value()) << name;
        if (report) {
            EXPECT_EQ(report->record.substr(0, 2 + chosen->size()), L"n:" + *chosen) << name;
            EXPECT_EQ(report->fileTextList, fileTexts) << name;
            EXPECT_EQ(report->record.find(L'\0'), std::wstring::npos) << name;
        }
    }
}

TEST(UsageReport, RecordQueryAndDnsListWithTheRedirectLog) {
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
    // The DNS servers of each adapter, the adapters apart by "#".
    EXPECT_EQ(DnsList({}), L"");
    EXPECT_EQ(DnsList({{L"", L"", L"", L"", L"", L"", L""}}), L",");
    EXPECT_EQ(DnsList({{L"", L"", L"", L"", L"", L"8.8.8.8", L""},
                       {L"", L"", L"", L"", L"", L"", L"1.1.1.1"}}),
              L"8.8.8.8,#,1.1.1.1");
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

TEST(SiblingReport, FindsTheItemAndRecordsWhetherItWasUpdated) {
    const UpdateList items = decision_fake::Entries(L"keldra Fennick:1.0.0.1b fennick");
    items[1]->installedVersion = L"1.0.0.0";
    const UpdateItem* item = FindSiblingItem(items);
    ASSERT_EQ(item, items[1].get());
    EXPECT_EQ(FindSiblingItem(UpdateList()), nullptr);

    const std::tuple<std::wstring, wchar_t> cases[] = {
        {L"1.0.0.1B", L'1'}, {L"1.0.0.0", L'0'}, {L"", L'0'}};
    for (const auto& [current, d] : cases) {
        const ReportContent report =
            BuildSiblingReport(*item, current, L"C:\\F\\fennick.exe", L"SN1", L"3.2.0.17", 9);
        EXPECT_EQ(report.record, std::wstring(L"n:fennick.exe;d:") + d +
                                     L";v:1.0.0.0;s:;dns:;o:;disk:SN1;path:C:\\F\\fennick.exe;"
                                     L"redown:0;size:0;");
    }
    // The publisher's decoder reads it back, with empty hijack and file lists.
    EXPECT_EQ(Decode(Request(BuildSiblingReport(*item, L"1.0.0.1b", L"C:\\F\\fennick.exe", L"SN1",
                                                L"3.2.0.17", 9))),
              R"({"record":{"n":"fennick.exe","d":"1","v":"1.0.0.0","s":"","dns":"","o":"",)"
              R"("disk":"SN1","path":"C:\\F\\fennick.exe","redown":0,"size":0},"v":"3.2.0.17",)"
              R"("s":0,"e":0,"hijacks":[],"files":[],"r":9})");
}

TEST(ReportDecoder, RefusesMalformedRequestsRoundTripsAndFindsTheRequestInLogLines) {
    const std::string rest = "&v=1&s=0&e=0&a=hijactcontent:;filecontent:;&r=1";
    const auto uid = [](const std::string& record) {
        return "uid=" + Narrow(EncryptReportBytes(record));
    };
    const std::string good = uid("n:a;d:b;v:c;s:;dns:;o:;disk:;path:;redown:0;size:0;");
    const std::string notHex = "uid is not whole 8-byte blocks of hexadecimal digits";
    const std::tuple<std::string, std::string> cases[] = {
        {good + "0" + rest, notHex},
        {"uid=0123456789ABCDEG" + rest, notHex},
        {"uid=0123456789abcdef0123" + rest, notHex},
        {"uid=0123456789abcdef" + rest, "the record does not decrypt to text"},
        {uid("n:a\x01;d:b;v:c;s:;dns:;o:;disk:;path:;redown:0;size:0;") + rest,
         "the record does not decrypt to text"},
        {uid("n:a;d:b;v:c;s:;o:;disk:;path:;redown:0;size:0;") + rest,
         "the record has no key \"dns\""},
        {uid("n:a;d:b;v:c;s:;dns:;o:;disk:;path:;redown:x;size:0;") + rest,
         "the record's \"redown\" is not a number"},
        {good + "&v=1&s=0&a=hijactcontent:;filecontent:;&r=1", "the query has no key \"e\""},
        {good + "&v=1&s=0&e=0&a=files&r=1", "a is not \"hijactcontent:...;filecontent:...;\""},
        {good + "&v=1&s=0&e=0&a=hijactcontent:x-1-2;filecontent:;&r=1",
         "the hijack list does not end with \"|\""},
        {good + "&v=1&s=0&e=0&a=hijactcontent:x-y|;filecontent:;&r=1",
         "hijack record \"x-y\" is not name-location-length-status"},
        {good + "&v=1&s=zero&e=0&a=hijactcontent:;filecontent:;&r=1",
         "the query's \"s\" is not a number"},
        {"uid=",
         "the query has no key \"v\"; the query has no key \"s\"; the query has no key "
         "\"e\"; the query has no key \"a\"; the query has no key \"r\"; the record has "
         "no key \"n\""},
        {"", "the query has no key \"uid\""},
    };
    for (const auto& [request, error] : cases) {
        const DecodedReport decoded = DecodeReportRequest(request, AsciiOnly);
        EXPECT_FALSE(decoded.ok) << request;
        EXPECT_EQ(decoded.error, error) << request;
    }
    // Awkward requests decode; of a damaged one what arrived is kept, the rest is null.
    const std::string record = R"({"record":{"n":"a","d":"b","v":"c","s":"","dns":"","o":"",)"
                               R"("disk":"","path":"","redown":0,"size":0},)";
    const auto hijack = [](const char* name, const char* location, int length) {
        return std::string(R"({"name":")") + name + R"(","location":")" + location +
               R"(","length":)" + std::to_string(length) + R"(,"status":302})";
    };
    std::vector<std::tuple<std::string, std::string, std::string>> awkward = {
        {good + "&v=1%41&s=&e=0&a=hijactcontent:;filecontent:;&r=1",
         record + R"("v":"1A","s":null,"e":0,"hijacks":[],"files":[],"r":1})", ""},
        // JSON numbers have no leading zeros.
        {good + "&v=1&s=007&e=-00&a=hijactcontent:;filecontent:;&r=-012",
         record + R"("v":"1","s":7,"e":0,"hijacks":[],"files":[],"r":-12})", ""},
        {good + "&v=1&s=0&e=0&a=hijactcontent:p.exe-http://h/x?&r=5--5-302|;filecontent:;&r=9",
         record + R"("v":"1","s":0,"e":0,"hijacks":[)" + hijack("p.exe", "http://h/x?&r=5", -5) +
             R"(],"files":[],"r":9})",
         ""},
        {good + "&v=1&s=0&e=0&a=hijactcontent:pinnace-setup.exe-/dl/p.exe-154-302|" +
             "p-1.exe--0-302|;filecontent:;&r=1",
         record + R"("v":"1","s":0,"e":0,"hijacks":[)" +
             hijack("pinnace-setup.exe", "/dl/p.exe", 154) + "," + hijack("p-1.exe", "", 0) +
             R"(],"files":[],"r":1})",
         ""},
        {good + "&v=1&s=0&e=0&a=hijactcontent:;filecontent:;",
         record + R"("v":"1","s":0,"e":0,"hijacks":[],"files":[],"r":null})",
         "the query has no key \"r\""},
        {"uid=00&v=1&s=x&a=files&r=2",
         R"({"record":null,"v":"1","s":null,"e":null,"hijacks":null,"files":null,"r":2})",
         "the query has no key \"e\"; uid is not whole 8-byte blocks of hexadecimal digits; "
         "the query's \"s\" is not a number; a is not \"hijactcontent:...;filecontent:...;\""},
    };
    // UTF-8 to the last byte of a value (U+10FFFF, the last character); the C1 control U+0080
    // is escaped: some terminals obey it. A lone continuation byte, a lead byte without its
    // continuation and a surrogate are no UTF-8 (nor ASCII).
    const std::string notText = "a query value is neither UTF-8 nor text in the record's code page";
    const std::tuple<std::string, std::string, std::string> values[] = {
        {"%C2%80%E4%B8%AD", "\"\\u0080\xE4\xB8\xAD\"", ""},
        {"%F4%8F%BF%BF", "\"\xF4\x8F\xBF\xBF\"", ""},
        {"%80", "null", notText},
        {"%C3(", "null", notText},
        {"%ED%A0%80", "null", notText}};
    for (const auto& [value, json, error] : values) {
        awkward.emplace_back(
            good + "&v=" + value + "&s=0&e=0&a=hijactcontent:;filecontent:;&r=1",
            record + "\"v\":" + json + R"(,"s":0,"e":0,"hijacks":[],"files":[],"r":1})", error);
    }
    for (const auto& [request, json, error] : awkward) {
        const DecodedReport decoded = DecodeReportRequest(request, AsciiOnly);
        EXPECT_EQ(decoded.json, json) << request;
        EXPECT_EQ(decoded.error, error) << request;
        EXPECT_EQ(decoded.ok, error.empty()) << request;
    }
    // What the builders produce comes back.
    UsageReportInputs in = Inputs();
    in.anomalies = {Anomaly(L"pinnace-setup.exe", L"Pinnace", L"", L"a;dns:b|c")};
    in.redirects = {Redirect(L"pinnace-setup.exe", L"http://x-y.example/p?a=1&b=2", L"", 0)};
    const auto report = BuildUsageReport(in);
    ASSERT_TRUE(report);
    EXPECT_EQ(Decode(Request(*report)),
              R"({"record":{"n":"pinnace-setup.exe","d":"Pinnace","v":"2.0.0.1","s":"a;dns:b|c|",)"
              R"("dns":"10.0.0.1,10.0.0.2#192.168.1.1,","o":"orig.exe","disk":"WD-123",)"
              R"("path":"http://x-y.example/p?a=1&b=2","redown":0,"size":4096},"v":"3.2.0.17",)"
              R"("s":0,"e":1,"hijacks":[{"name":"pinnace-setup.exe",)"
              R"("location":"http://x-y.example/p?a=1&b=2","length":0,"status":302}],)"
              R"("files":["a;dns:b","c"],"r":4711})");
    // The request is found in the lines of a log.
    const std::string target = "/receive/tallix.aspx?uid=00&v=1&s=0&e=0&a=x&r=1";
    const std::tuple<std::string, std::optional<std::string>> lines[] = {
        {R"({"port": 20002, "method": "GET", "path": "/receive/tallix.aspx?uid=00&v=1&s=0&e=0&a=\"x\\y\u00e9\u4e2d&r=1", "headers": {}})",
         // The server logs the request line read as Latin-1: \u00e9 is the byte 0xE9.
         "/receive/tallix.aspx?uid=00&v=1&s=0&e=0&a=\"x\\y\xe9\xe4\xb8\xad&r=1"},
        {"127.0.0.1 - - [06/Dec/2026] \"GET " + target + " HTTP/1.1\" 404 -", target},
        {"http://127.0.0.1:20002" + target + "\r",
         "/receive/tallix.aspx?uid=00&v=1&s=0&e=0&a=x&r=1"},
        {R"({"path": "/keldra/upgrade.xml?a=1"})", std::nullopt},
        {"GET /keldra/upgrade.xml HTTP/1.1", std::nullopt},
    };
    for (const auto& [line, request] : lines) {
        EXPECT_EQ(ReportRequestInLine(line), request) << line;
    }
}

// A chain of 2048 encryptions, each block under the previous key plus the previous cipher
// byte by byte, so that every S-box entry and every key bit takes part; the last block and key
// were computed with "openssl enc -des-ecb -nopad" (an independent implementation).
TEST(ReportCipher, DesChainUnderChangingKeysAndBlocksInUpperCaseHex) {
    DesKey key = kReportKey;
    DesBlock block{};
    for (int i = 0; i < 2048; ++i) {
        const DesKeySchedule schedule(key);
        const DesBlock cipher = schedule.Encrypt(block);
        ASSERT_EQ(schedule.Decrypt(cipher), block) << i;
        for (int b = 0; b < 8; ++b) {
            key[b] = static_cast<std::uint8_t>(key[b] + cipher[b]);
        }
        block = cipher;
    }
    EXPECT_EQ(block, (DesBlock{0xB2, 0xD8, 0xF9, 0xF0, 0xEE, 0x57, 0x08, 0xF6}));
    EXPECT_EQ(key, (DesKey{0x2B, 0x5F, 0x20, 0x60, 0xE8, 0x29, 0xE4, 0xBC}));
    // The report cipher pads to blocks and writes upper-case hexadecimal digits.
    const std::tuple<std::string, std::size_t> cases[] = {
        {"", 0}, {"n:a;d:b;", 16}, {"n:a;d:b;v", 32}, {std::string(17, 'x'), 48}};
    for (const auto& [record, hexLength] : cases) {
        const std::wstring hex = EncryptReportBytes(record);
        EXPECT_EQ(hex.size(), hexLength) << record;
        EXPECT_EQ(hex.find_first_not_of(L"0123456789ABCDEF"), std::wstring::npos) << record;
        EXPECT_EQ(DecryptReportHex(std::string(hex.begin(), hex.end())), record);
    }
    // Only whole blocks decrypt; a part block is not read past its end.
    for (const std::size_t digits : {15, 17, 20, 33}) {
        EXPECT_EQ(DecryptReportHex(std::string(digits, 'A')), std::nullopt) << digits;
    }
    // A 9-byte record is the record and seven zero bytes, each block on its own (no chaining):
    // its first block is the 8-byte record's block.
    EXPECT_EQ(EncryptReportBytes("n:a;d:b;v").substr(0, 16), EncryptReportBytes("n:a;d:b;"));
    EXPECT_EQ(EncryptReportBytes("n:a;d:b;v").substr(16),
              EncryptReportBytes(std::string("v\0\0\0\0\0\0\0", 8)));
}

// IDENTIFY DEVICE data whose serial words hold `serial` (20 characters, each word's high byte
// first, the words stored little-endian).
std::vector<std::uint8_t> Identify(std::string serial) {
    serial.resize(20, ' ');
    std::vector<std::uint8_t> data(kSmartIdentifySize, 0);
    for (std::size_t i = 0; i < 20; ++i) {
        data[20 + (i ^ 1)] = static_cast<std::uint8_t>(serial[i]);
    }
    return data;
}

TEST(MachineIdentity, SmartSerialAndAdapterRules) {
    const std::tuple<std::string, std::string, std::wstring> cases[] = {
        {"WD-WCAV1234567890123", "WD-WCAV1234567890123", L"WD-WCAV1234567890123"},
        {"  S1ABCD    \t", "  S1ABCD", L"S1ABCD"},  // padded with spaces to 20
        {"   X", "   X", L"X"},
        {"", " ", L""},  // the first character is never cut
        {std::string("AB\0CD", 6), "AB", L"AB"},
    };
    for (const auto& [words, serial, machineId] : cases) {
        const auto data = Identify(words);
        const std::string read = SmartSerialFromIdentify(data.data(), data.size());
        EXPECT_EQ(read, serial);
        EXPECT_EQ(MachineIdFrom(std::wstring(read.begin(), read.end()), L"storage"), machineId);
    }
    EXPECT_EQ(SmartSerialFromIdentify(nullptr, 0), "");
    EXPECT_EQ(MachineIdFrom(L"", L" \tZ9 \r\n"), L"Z9");
    // Virtual adapters, and the DNS server field.
    for (const wchar_t* description :
         {L"VMware Virtual Ethernet Adapter for VMnet8", L"Hyper-V Virtual Ethernet Adapter",
          L"VMware Accelerated AMD PCNet Adapter"}) {
        EXPECT_TRUE(IsVirtualAdapter(description)) << description;
    }
    for (const wchar_t* description : {L"TAP-Windows virtual adapter", L"vmware bridge",
                                       L"Intel(R) Ethernet Connection I219-V"}) {
        EXPECT_FALSE(IsVirtualAdapter(description)) << description;
    }
    EXPECT_EQ(DnsServerField(L"192.168.100.100"), L"192.168.100.100");
    EXPECT_EQ(DnsServerField(L"fe80::1234:5678:9abc"), L"fe80::1234:5678");
}

TEST(MachineIdentity, StorageSerialAndItsDescriptor) {
    const std::tuple<std::string, std::string> cases[] = {
        // Hexadecimal pairs of a byte-swapped text, digits in either case.
        {"31534241444320202020", "S1ABCD"},
        {"3153424144432020202", "S1ABCD"},  // an odd last digit makes no byte
        {"  315342414443", "S1ABCD"},       // white space counts as "0"; 0 bytes add nothing
        {"574433444A4B", "DWD3KJ"},
        // Not hexadecimal: the plain text, pair-swapped and trimmed.
        {"WD-WCAV123", "DWW-AC1V32"},
        {"  1SBADC  ", "S1ABCD"},
        {"0141", "1014"},  // 0x01 is not printable: read as plain text
        {"417E", "~A"},    // "~" is the last printable byte, in either reading
        {"A~", "~A"},
        {"4G", "G4"},  // "g" is no hexadecimal digit
        {"AB\001CD", ""},
        {"", ""},
    };
    for (const auto& [text, serial] : cases) {
        EXPECT_EQ(DecodeStorageSerial(text), serial) << text;
    }
    // The serial at its offset in the storage descriptor.
    std::vector<std::uint8_t> descriptor(64, 0);
    const std::string text = "31534241444320202020";
    std::copy(text.begin(), text.end(), descriptor.begin() + 40);
    descriptor[0] = '4';  // the descriptor's own first bytes are no serial (offset 0)
    descriptor[1] = '1';
    const std::tuple<std::uint32_t, std::string> offsets[] = {
        {40, "S1ABCD"}, {0, ""}, {64, ""}, {0x80000000u, ""}};
    for (const auto& [offset, serial] : offsets) {
        for (int i = 0; i < 4; ++i) {
            descriptor[24 + i] = static_cast<std::uint8_t>(offset >> (8 * i));
        }
        EXPECT_EQ(StorageSerialFromDescriptor(descriptor.data(), descriptor.size()), serial)
            << offset;
    }
    // A serial that runs to the end of the answer without its zero.
    std::fill_n(descriptor.begin() + 24, 4, 0);
    descriptor[24] = 58;
    std::copy(text.begin(), text.begin() + 6, descriptor.begin() + 58);
    EXPECT_EQ(StorageSerialFromDescriptor(descriptor.data(), descriptor.size()), "S1B");
}

using Change = std::function<void(OsDescriptionData&)>;

OsDescriptionData Nt(std::uint32_t major, std::uint32_t minor, std::uint32_t build,
                     std::uint8_t productType = kProductWorkstation,
                     std::uint16_t arch = kArchAmd64, const Change& change = {}) {
    OsDescriptionData d;
    d.version.platformId = kPlatformNt;
    d.version.major = major;
    d.version.minor = minor;
    d.version.build = build;
    d.version.productType = productType;
    d.processorArchitecture = arch;
    if (change) {
        change(d);
    }
    return d;
}

Change Edition(std::uint32_t type) {
    return [type](OsDescriptionData& d) { d.productInfoType = type; };
}
Change Registry(const wchar_t* version, std::optional<std::uint32_t> major = {},
                const wchar_t* build = L"") {
    return [=](OsDescriptionData& d) {
        d.version.currentVersion = version;
        d.version.currentMajorVersionNumber = major;
        d.version.currentBuildNumber = build;
    };
}
Change Suite(std::uint16_t mask) {
    return [mask](OsDescriptionData& d) { d.version.suiteMask = mask; };
}

TEST(DescribeOs, VistaAndLaterWindowsXpAndServer2003) {
    const auto xp = [](const Change& change) {
        return Nt(5, 1, 2600, kProductWorkstation, kArchIntel, change);
    };
    const auto s2003 = [](std::uint16_t suite, std::uint16_t arch,
                          std::uint8_t type = kProductServer) {
        return Nt(5, 2, 3790, type, arch, Suite(suite));
    };
    OsDescriptionData r2 = s2003(kSuiteEnterprise, kArchIntel);
    r2.serverR2 = true;
    const std::pair<OsDescriptionData, std::wstring> cases[] = {
        {Nt(6, 0, 6000), L"Windows Vista  (Build 6000), 64-bit"},
        {Nt(6, 0, 6002, kProductServer, kArchIntel, Edition(7)),
         L"Windows Server 2008 Standard Edition (Build 6002), 32-bit"},
        {Nt(6, 1, 7601, kProductWorkstation, kArchAmd64, Edition(1)),
         L"Windows 7 旗舰版 (Build 7601), 64-bit"},
        {Nt(6, 1, 7600, kProductDomainController), L"Windows Server 2008 R2  (Build 7600), 64-bit"},
        {Nt(6, 2, 9200, kProductWorkstation, kArchAmd64,
            [](OsDescriptionData& d) {
                Registry(L"6.3", 10u, L"19045")(d);
                d.productInfoType = 48;
            }),
         L"Windows 10 专业版 (Build 19045), 64-bit"},
        {Nt(6, 2, 9200, kProductWorkstation, kArchIntel, Registry(L"6.3")),
         L"Windows 8.1  (Build 9200), 32-bit"},
        {Nt(6, 2, 9200, kProductWorkstation, kArchAmd64, Registry(L"6.2")),
         L"Windows 8  (Build 9200), 64-bit"},
        {Nt(6, 2, 9200, kProductWorkstation, kArchAmd64, Registry(L"6.5")),
         L"Windows 更高版本  (Build 9200), 64-bit"},
        {Nt(6, 2, 9431, kProductWorkstation, kArchAmd64, Registry(L"6.4")),
         L"Windows 10  (Build 9431) Preview, 64-bit"},
        {Nt(6, 0, 6000, kProductServer, kArchIa64), L"Windows Server 2008  (Build 6000)"},
        {Nt(10, 0, 19045), L"Windows 10  (Build 19045), 64-bit"},
        {Nt(6, 3, 9600), L"Windows 8.1  (Build 9600), 64-bit"},
        {xp(Suite(0)), L"Windows XP Professional (Build 2600)"},
        {xp(Suite(kSuitePersonal)), L"Windows XP Home Edition (Build 2600)"},
        {xp([](OsDescriptionData& d) { d.mediaCenter = d.tabletPc = true; }),
         L"Windows XP ProfessionalMedia Center Edition (Build 2600)"},
        {xp([](OsDescriptionData& d) { d.tabletPc = true; }),
         L"Windows XP ProfessionalTablet PC Edition (Build 2600)"},
        {s2003(0, kArchAmd64, kProductWorkstation),
         L"Windows XP Professional x64 Edition (Build 3790)"},
        {s2003(kSuiteComputeServer | kSuiteDatacenter, kArchIntel),
         L"Windows Server 2003, Compute Cluster Edition (Build 3790)"},
        {s2003(kSuiteDatacenter, kArchAmd64),
         L"Windows Server 2003, Datacenter x64 Edition (Build 3790)"},
        {s2003(kSuiteEnterprise, kArchIa64),
         L"Windows Server 2003, Enterprise Edition for Itanium-based Systems (Build 3790)"},
        {r2, L"Windows Server 2003 R2, Enterprise Edition (Build 3790)"},
        {s2003(kSuiteStorageServer, kArchIntel),
         L"Windows Storage Server 2003Standard Edition (Build 3790)"}};
    for (const auto& [data, text] : cases) {
        EXPECT_EQ(DescribeOsFrom(data), text);
    }
}

TEST(DescribeOs, OlderSystemsAndTheErrorBox) {
    const auto with = [](std::uint32_t platform, std::uint32_t major, std::uint32_t minor,
                         const wchar_t* csd = L"", std::uint8_t type = kProductWorkstation,
                         std::uint16_t suite = 0) {
        OsDescriptionData d = Nt(major, minor, 1381, type, kArchIntel, Suite(suite));
        d.version.platformId = platform;
        d.version.csdVersion = csd;
        return DescribeOsFrom(d);
    };
    EXPECT_EQ(with(kPlatformNt, 5, 0), L"Windows 2000 Professional (Build 1381)");
    EXPECT_EQ(with(kPlatformNt, 5, 0, L"", kProductServer, kSuiteEnterprise),
              L"Windows 2000 Advanced Server (Build 1381)");
    EXPECT_EQ(with(kPlatformNt, 5, 0, L"", kProductServer, kSuiteDatacenter),
              L"Windows 2000 Datacenter Server (Build 1381)");
    EXPECT_EQ(with(kPlatformNt, 4, 0), L"Windows NT4  (Build 1381)");
    EXPECT_EQ(with(kPlatformNt, 3, 51), L"Windows NT 3.51  (Build 1381)");
    EXPECT_EQ(with(kPlatformWindows9x, 4, 0), L"Windows 95");
    EXPECT_EQ(with(kPlatformWindows9x, 4, 0, L" C"), L"Windows 95 OEM Service Release 2");
    EXPECT_EQ(with(kPlatformWindows9x, 4, 10, L" A"), L"Windows 98 Second Edition");
    EXPECT_EQ(with(kPlatformWindows9x, 4, 90), L"Windows Millennium Edition");
    EXPECT_EQ(with(kPlatformCe, 4, 21), L"Windows CE 4.21");
    EXPECT_EQ(with(kPlatformCe, 7, 0), L"Windows CE ");
    EXPECT_EQ(with(kPlatformWin32s, 3, 11), L"");
    // The error box shows the description.
    EXPECT_EQ(ErrorBoxTitle(L"升级程序", L"3.2.0.17"), L"升级程序 v3.2.0.17");
    EXPECT_EQ(ErrorBoxText(L"m", L"Windows 7  (Build 7601), 64-bit", 0x80004005u),
              L"m\n\n操作系统：Windows 7  (Build 7601), 64-bit\n\nError：80004005");
}

TEST(OsCode, VersionTableTheRegistryFor6Point2AndTheShortStructure) {
    // Platform (0 Win32s, 1 Windows 9x, 2 NT, 3 CE), major, minor, product type (1 workstation,
    // 2 domain controller, 3 server), code. Other parts compare against 19 (Vista), 23 (Windows 7)
    // and 27 (Windows 8).
    const std::uint32_t cases[][5] = {
        {0, 3, 11, 1, 2}, {1, 4, 0, 1, 3},  {1, 4, 10, 1, 8}, {1, 4, 90, 1, 10}, {1, 4, 20, 1, 1},
        {3, 5, 0, 1, 1},  {2, 3, 51, 1, 6}, {2, 4, 0, 1, 6},  {2, 5, 0, 1, 11},  {2, 5, 1, 1, 13},
        {2, 5, 2, 3, 15}, {2, 5, 3, 1, 1},  {2, 6, 0, 1, 19}, {2, 6, 0, 3, 21},  {2, 6, 1, 1, 23},
        {2, 6, 1, 3, 25}, {2, 6, 1, 2, 23}, {2, 6, 2, 1, 27}, {2, 6, 2, 3, 28},  {2, 6, 3, 1, 30},
        {2, 6, 4, 1, 31}, {2, 6, 5, 1, 32}, {2, 9, 0, 1, 32}, {2, 10, 0, 1, 31}, {2, 10, 1, 1, 32}};
    for (const auto& c : cases) {
        OsVersionData data = Nt(c[1], c[2], 0, static_cast<std::uint8_t>(c[3])).version;
        data.platformId = c[0];
        EXPECT_EQ(OsCodeFrom(data), static_cast<int>(c[4]))
            << c[0] << " " << c[1] << "." << c[2] << " type " << c[3];
    }
    // A system that reports 6.2 may be a later release: the registry tells which.
    const std::tuple<const wchar_t*, std::optional<std::uint32_t>, std::uint8_t, int> registry[] = {
        {L"", std::nullopt, kProductWorkstation, 27},
        {L"6.3", std::nullopt, kProductServer, 30},
        {L"6.4", std::nullopt, kProductWorkstation, 31},
        {L"6.3", 10u, kProductWorkstation, 31},
        {L"6.2", 10u, kProductServer, 31},
        {L"6.2", 11u, kProductWorkstation, 27},
        {L"6.2", 6u, kProductServer, 28}};
    for (const auto& [currentVersion, major, productType, code] : registry) {
        OsVersionData d = Nt(6, 2, 0, productType).version;
        d.currentVersion = currentVersion;
        d.currentMajorVersionNumber = major;
        EXPECT_EQ(OsCodeFrom(d), code) << ::testing::PrintToString(std::wstring(currentVersion));
        d.minor = 1;  // only 6.2 asks the registry
        EXPECT_EQ(OsCodeFrom(d), productType == kProductServer ? 25 : 23);
    }
    // The short structure takes "server" from the product options.
    const std::pair<const wchar_t*, int> options[] = {{L"WinNT", 19},    {L"LanmanNT", 21},
                                                      {L"lanmannt", 21}, {L"SERVERNT", 21},
                                                      {L"servernt", 21}, {L"", 19}};
    for (const auto& [productType, code] : options) {
        OsVersionData d = Nt(6, 0, 0, kProductServer).version;  // ignored with the short structure
        d.extended = false;
        d.productOptionsType = productType;
        EXPECT_EQ(OsCodeFrom(d), code);
    }
}

}  // namespace
