// The redirect location and the texts made from the redirect log. The location comes out
// lower-case and trimmed, and says the same as the header; the log found by name agrees with a
// plain search; and the hijack list the updater sends reads back through the publisher's decoder,
// record by record, whenever its texts leave the record's separators unambiguous.
#include "base/text.h"
#include "download/download_rules.h"
#include "report/machine_identity.h"
#include "report/report_cipher.h"
#include "report/report_decoder.h"
#include "report/usage_report.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

std::optional<std::string> Ascii(const std::string& bytes) {
    return bytes;
}

bool Unambiguous(const RedirectRecord& r) {
    // The decoder finds the name's end at the first "-http"; a "|" ends a record; "&" and "%"
    // are taken by the query; a location's last "-" would read as a negative length's sign.
    return !r.name.empty() && r.name.find_first_of(L"-|&%;") == std::wstring::npos &&
           r.location.rfind(L"http", 0) == 0 && r.location.back() != L'-' &&
           r.location.find_first_of(L"|&%;") == std::wstring::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Pieces pieces(data, size);
    const std::wstring name = fuzz::Widen(pieces.Next());
    const std::wstring header = fuzz::Widen(pieces.Rest());
    const std::wstring location = RedirectLocation(header);
    FUZZ_CHECK(location.empty() ||
               (!IsWhiteSpace(location.front()) && !IsWhiteSpace(location.back())));
    for (wchar_t c : location) {
        FUZZ_CHECK(!fuzz::IsAsciiUpper(c));
    }
    FUZZ_CHECK(Contains(ToLowerAscii(header), location));

    // A log of records whose names and locations are the lines of the answer.
    std::vector<RedirectRecord> log;
    fuzz::Pieces lines(data, size);
    for (int i = 0; i < 8; ++i) {
        RedirectRecord record;
        record.name = fuzz::Widen(lines.Next());
        record.location = ToLowerAscii(Trim(fuzz::Widen(lines.Next())));
        record.contentLength = static_cast<std::int64_t>(i * 977) - 1000;
        record.status = i % 2 ? 301 : 302;
        if (record.name.empty() && record.location.empty()) {
            break;
        }
        log.push_back(record);
    }
    const RedirectFinding finding = FindRedirectIn(log, name, {L"hijack", L""});
    std::wstring first;
    for (const RedirectRecord& record : log) {
        if (EqualsNoCase(record.name, name)) {
            first = record.location;
            break;
        }
    }
    FUZZ_CHECK(finding.found == !first.empty());
    FUZZ_CHECK(finding.marked == (first.find(L"hijack") + 1 > 1));

    bool plain = true;
    for (const RedirectRecord& record : log) {
        for (wchar_t c : record.name + record.location) {
            plain = plain && c >= 0x20 && c < 0x7F;
        }
        plain = plain && Unambiguous(record);
    }
    if (plain && !log.empty()) {
        ReportContent report;
        report.hijackList = HijackList(log);
        const std::wstring url = ReportUrl(L"http://127.0.0.1:9", EncryptReportBytes(""), report);
        const DecodedReport decoded = DecodeReportRequest(fuzz::Narrow(url), Ascii);
        std::string hijacks;
        for (const RedirectRecord& r : log) {
            hijacks += hijacks.empty() ? "[" : ",";
            hijacks += "{\"name\":" + JsonQuote(fuzz::Narrow(r.name)) +
                       ",\"location\":" + JsonQuote(fuzz::Narrow(r.location)) +
                       ",\"length\":" + std::to_string(r.contentLength) +
                       ",\"status\":" + std::to_string(r.status) + "}";
        }
        FUZZ_CHECK(decoded.json.find("\"hijacks\":" + hijacks + "]") != std::string::npos);
    }
    return 0;
}
