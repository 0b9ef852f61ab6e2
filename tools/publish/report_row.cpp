#include "tools/publish/report_row.h"

#include <openssl/evp.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "report/report_decoder.h"
#include "tools/code_page.h"
#include "tools/publish/json_value.h"

namespace {

constexpr char kUnknownDay[] = "unknown";

bool Digits(const std::string& text, std::size_t at, std::size_t count) {
    if (text.size() < at + count)
        return false;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

// "YYYY-MM-DD" when the parts are a plausible date, else "unknown".
std::string Day(const std::string& year, int month, const std::string& day) {
    const int d = std::atoi(day.c_str());
    if (month < 1 || month > 12 || d < 1 || d > 31)
        return kUnknownDay;
    char text[16];
    std::snprintf(text, sizeof text, "%s-%02d-%02d", year.c_str(), month, d);
    return text;
}

// The day of an ISO 8601 time ("2026-12-06T10:00:00Z").
std::string IsoDay(const std::string& time) {
    if (!Digits(time, 0, 4) || time.size() < 10 || time[4] != '-' || !Digits(time, 5, 2) ||
        time[7] != '-' || !Digits(time, 8, 2)) {
        return kUnknownDay;
    }
    return Day(time.substr(0, 4), std::atoi(time.substr(5, 2).c_str()), time.substr(8, 2));
}

// The day of an access log's time ("07/Dec/2026:10:00:00 +0000").
std::string AccessLogDay(const std::string& time) {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (!Digits(time, 0, 2) || time.size() < 11 || time[2] != '/' || time[6] != '/' ||
        !Digits(time, 7, 4)) {
        return kUnknownDay;
    }
    for (int m = 0; m < 12; ++m) {
        if (time.compare(3, 3, kMonths[m]) == 0)
            return Day(time.substr(7, 4), m + 1, time.substr(0, 2));
    }
    return kUnknownDay;
}

struct Stamp {
    std::string time;
    std::string client;
    std::string day = kUnknownDay;
};

// Where and when a line says its request came from: a JSON line's "time" and "client" members,
// or an access-log line's first field and bracketed time. A bare URL says neither.
Stamp StampOf(const std::string& line) {
    Stamp stamp;
    if (!line.empty() && line[0] == '{') {
        std::string error;
        if (const auto json = ParseJson(line, error)) {
            const JsonValue* time = json->Find("time");
            const JsonValue* client = json->Find("client");
            if (time && time->type == JsonValue::Type::kString)
                stamp.time = time->text;
            if (client && client->type == JsonValue::Type::kString)
                stamp.client = client->text;
            stamp.day = IsoDay(stamp.time);
        }
        return stamp;
    }
    const std::size_t marker = line.find("/receive/");
    const std::size_t open = line.find(" [");
    const std::size_t close = open == std::string::npos ? open : line.find(']', open);
    if (close == std::string::npos || close > marker)
        return stamp;
    stamp.client = line.substr(0, std::min(line.find(' '), open));
    stamp.time = line.substr(open + 2, close - open - 2);
    stamp.day = AccessLogDay(stamp.time);
    return stamp;
}

// The host of a redirect location: lower case, without scheme, user, port, path or query.
std::string HostOf(const std::string& url) {
    const std::size_t scheme = url.find("://");
    const std::size_t begin = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t end = url.find_first_of("/?#", begin);
    std::string authority = url.substr(begin, end == std::string::npos ? end : end - begin);
    if (const std::size_t at = authority.rfind('@'); at != std::string::npos)
        authority.erase(0, at + 1);
    std::string host;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t bracket = authority.find(']');
        host = bracket == std::string::npos ? authority : authority.substr(0, bracket + 1);
    } else {
        host = authority.substr(0, authority.find(':'));
    }
    for (char& c : host) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return host;
}

// A decoded number as a whole number: the decoder prints the digits that arrived, as many as
// arrived, so anything beyond the range of a 64-bit number is held at its end.
long long Num(const JsonValue* v) {
    if (v == nullptr)
        return 0;
    const double d =
        v->type == JsonValue::Type::kNumber ? v->number : std::strtod(v->text.c_str(), nullptr);
    if (std::isnan(d))
        return 0;
    constexpr double kLimit = 9.0e18;
    return static_cast<long long>(std::fmax(-kLimit, std::fmin(kLimit, d)));
}

std::string Str(const JsonValue* v) {
    if (v == nullptr)
        return "";
    if (v->type == JsonValue::Type::kNumber)
        return std::to_string(Num(v));
    return v->text;
}

void FillReport(ReportRow& row, const JsonValue& json) {
    const JsonValue* record = json.Find("record");
    auto field = [&](const char* name) { return record ? record->Find(name) : nullptr; };
    // The sibling report is the one whose record names the sibling's executable and whose
    // anomaly values are all empty or zero.
    const bool sibling = Str(field("n")) == "fennick.exe" && Str(json.Find("e")) == "0" &&
                         Str(json.Find("s")) == "0" && record && Str(field("s")).empty();
    row.kind = sibling ? "sibling" : "anomaly";
    row.updaterVersion = Str(json.Find("v"));
    row.file = Str(field("n"));
    row.product = sibling ? "" : Str(field("d"));
    row.productVersion = Str(field("v"));
    row.original = Str(field("o"));
    row.dns = Str(field("dns"));
    row.disk = Str(field("disk"));
    row.path = Str(field("path"));
    row.redown = Num(field("redown"));
    row.size = Num(field("size"));
    row.took = sibling ? Num(field("d")) : 0;
    row.length = Num(json.Find("s"));
    row.existed = Num(json.Find("e"));
    if (const JsonValue* hijacks = json.Find("hijacks")) {
        for (const JsonValue& h : hijacks->items) {
            HijackRow hijack;
            hijack.reportKey = row.key;
            hijack.position = static_cast<long long>(row.hijacks.size());
            hijack.day = row.day;
            hijack.dns = row.dns;
            hijack.disk = row.disk;
            hijack.name = Str(h.Find("name"));
            hijack.location = Str(h.Find("location"));
            hijack.host = HostOf(hijack.location);
            hijack.length = Num(h.Find("length"));
            hijack.status = Num(h.Find("status"));
            row.hijacks.push_back(std::move(hijack));
        }
    }
}

}  // namespace

std::string ReportKey(const std::string& time, const std::string& client,
                      const std::string& request) {
    // Each part with its length before it, so that no two different triples hash the same text.
    const std::string text = std::to_string(time.size()) + ":" + time +
                             std::to_string(client.size()) + ":" + client + request;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(text.data(), text.size(), digest, &size, EVP_sha256(), nullptr);
    static const char kHex[] = "0123456789abcdef";
    std::string key;
    for (unsigned int i = 0; i < 16 && i < size; ++i) {
        key += kHex[digest[i] >> 4];
        key += kHex[digest[i] & 15];
    }
    return key;
}

LogEntry ReadLogLine(const std::string& line, const std::string& encoding) {
    LogEntry entry;
    const std::optional<std::string> request = ReportRequestInLine(line);
    if (!request)
        return entry;
    const Stamp stamp = StampOf(line);
    const std::string key = ReportKey(stamp.time, stamp.client, *request);
    const AnsiToUtf8 toUtf8 = [&](const std::string& bytes) {
        return CodePageToUtf8(encoding, bytes);
    };
    const DecodedReport decoded = DecodeReportRequest(*request, toUtf8);
    std::string error;
    const auto json = decoded.ok ? ParseJson(decoded.json, error) : std::nullopt;
    if (!json) {
        entry.kind = LogEntry::Kind::kMalformed;
        entry.malformed = {
            key,
            stamp.time,
            stamp.client,
            stamp.day,
            "",
            decoded.ok ? "the decoded report reads as no JSON: " + error : decoded.error,
            line};
        return entry;
    }
    entry.kind = LogEntry::Kind::kReport;
    ReportRow& row = entry.report;
    row.key = key;
    row.time = stamp.time;
    row.client = stamp.client;
    row.day = stamp.day;
    row.json = decoded.json;
    FillReport(row, *json);
    return entry;
}

LogEntry ReadOverlongLine(const std::string& head, unsigned long long length) {
    LogEntry entry;
    if (head.find("/receive/tallix.aspx?") == std::string::npos)
        return entry;
    entry.kind = LogEntry::Kind::kMalformed;
    const std::string size = std::to_string(length);
    entry.malformed.key = ReportKey("", "", head + "\n" + size);
    entry.malformed.day = kUnknownDay;
    entry.malformed.reason = "a line of " + size + " bytes, longer than any report; its first " +
                             std::to_string(head.size()) + " bytes are kept";
    entry.malformed.line = head;
    return entry;
}

const Table<ReportRow>& ReportTable() {
    using R = ReportRow;
    static const Table<R> table = {"reports",
                                   {{"key", &R::key},
                                    {"time", &R::time},
                                    {"client", &R::client},
                                    {"day", &R::day},
                                    {"kind", &R::kind},
                                    {"updater_version", &R::updaterVersion},
                                    {"file", &R::file},
                                    {"product", &R::product},
                                    {"product_version", &R::productVersion},
                                    {"original", &R::original},
                                    {"dns", &R::dns},
                                    {"disk", &R::disk},
                                    {"path", &R::path},
                                    {"redown", nullptr, &R::redown},
                                    {"size", nullptr, &R::size},
                                    {"took", nullptr, &R::took},
                                    {"length", nullptr, &R::length},
                                    {"existed", nullptr, &R::existed},
                                    {"json", &R::json}},
                                   {"key"},
                                   {"disk", "dns"}};
    return table;
}

const Table<HijackRow>& HijackTable() {
    using H = HijackRow;
    static const Table<H> table = {"hijacks",
                                   {{"report_key", &H::reportKey},
                                    {"position", nullptr, &H::position},
                                    {"day", &H::day},
                                    {"dns", &H::dns},
                                    {"disk", &H::disk},
                                    {"name", &H::name},
                                    {"location", &H::location},
                                    {"host", &H::host},
                                    {"length", nullptr, &H::length},
                                    {"status", nullptr, &H::status}},
                                   {"report_key", "position"},
                                   {"disk", "dns"}};
    return table;
}

const Table<MalformedRow>& MalformedTable() {
    using M = MalformedRow;
    static const Table<M> table = {"malformed",
                                   {{"key", &M::key},
                                    {"time", &M::time},
                                    {"client", &M::client},
                                    {"day", &M::day},
                                    {"source", &M::source},
                                    {"reason", &M::reason},
                                    {"line", &M::line}},
                                   {"key"},
                                   {}};
    return table;
}
