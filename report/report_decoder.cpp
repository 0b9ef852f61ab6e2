#include "report/report_decoder.h"

#include <vector>

#include "app/text.h"
#include "report/report_cipher.h"

namespace {

const char kRequestMarker[] = "/receive/tallix.aspx?";
const char* const kRecordKeys[] = {"n", "d",    "v",    "s",      "dns",
                                   "o", "disk", "path", "redown", "size"};
const char* const kNumericRecordKeys[] = {"redown", "size"};

bool IsInteger(const std::string& text) {
    std::size_t at = (!text.empty() && text[0] == '-') ? 1 : 0;
    if (at >= text.size()) {
        return false;
    }
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9') {
            return false;
        }
    }
    return true;
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
            HexDigitValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

bool IsValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t length = c < 0x80         ? 1
                                   : (c >> 5) == 6  ? 2
                                   : (c >> 4) == 14 ? 3
                                   : (c >> 3) == 30 ? 4
                                                    : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

// Decodes one request; every step answers false after noting what was wrong in `error`.
class RequestDecoder {
  public:
    explicit RequestDecoder(const AnsiToUtf8& toUtf8) : toUtf8_(toUtf8) {}

    bool Decode(const std::string& request, std::string& json);
    const std::string& Error() const { return error_; }

  private:
    bool Fail(std::string message) {
        error_ = std::move(message);
        return false;
    }
    bool TakeValue(const std::string& query, std::size_t& at, const std::string& key,
                   const std::string& next, bool last, std::string& value);
    bool QueryText(const std::string& raw, std::string& text);
    bool SplitRecord(const std::string& record, std::vector<std::string>& values);
    bool DecodeRecord(const std::string& uid, std::string& json);
    bool SplitList(const std::string& text, const char* what, std::vector<std::string>& items);
    bool DecodeHijack(const std::string& entry, std::string& json);
    bool DecodeAPart(const std::string& a, std::string& json);

    const AnsiToUtf8& toUtf8_;
    std::string error_;
};

// The value of `key` starting at `at`, up to the separator that introduces `next` (the first
// one, or the last when `last`; the end of the query when `next` is empty); `at` moves past the
// separator.
bool RequestDecoder::TakeValue(const std::string& query, std::size_t& at, const std::string& key,
                               const std::string& next, bool last, std::string& value) {
    const std::string start = key + "=";
    if (query.compare(at, start.size(), start) != 0) {
        return Fail("the query has no key \"" + key + "\"");
    }
    const std::size_t valueStart = at + start.size();
    if (next.empty()) {
        at = query.size();
        value = query.substr(valueStart);
        return true;
    }
    const std::string separator = "&" + next + "=";
    const std::size_t end = last ? query.rfind(separator) : query.find(separator, valueStart);
    if (end == std::string::npos || end < valueStart) {
        return Fail("the query has no key \"" + next + "\"");
    }
    at = end + 1;
    value = query.substr(valueStart, end - valueStart);
    return true;
}

// A value of the query as UTF-8: escaped bytes decoded, then taken as UTF-8 when they are, else
// as the ANSI code page.
bool RequestDecoder::QueryText(const std::string& raw, std::string& text) {
    const std::string bytes = PercentDecode(raw);
    if (IsValidUtf8(bytes)) {
        text = bytes;
        return true;
    }
    const auto converted = toUtf8_(bytes);
    if (!converted) {
        return Fail("a query value is neither UTF-8 nor text in the record's code page");
    }
    text = *converted;
    return true;
}

// Splits "key:value;key:value;..." with the record's fixed keys in their order.
bool RequestDecoder::SplitRecord(const std::string& record, std::vector<std::string>& values) {
    std::size_t at = 0;
    const std::size_t count = std::size(kRecordKeys);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string key = std::string(kRecordKeys[i]) + ":";
        if (record.compare(at, key.size(), key) != 0) {
            return Fail("the record has no key \"" + std::string(kRecordKeys[i]) + "\"");
        }
        const std::size_t start = at + key.size();
        std::size_t end;
        if (i + 1 == count) {
            if (record.back() != ';' || record.size() - 1 < start) {
                return Fail("the record does not end with \";\"");
            }
            end = record.size() - 1;
        } else {
            std::string next = ";";
            next += kRecordKeys[i + 1];
            next += ":";
            end = (key == "s:") ? record.rfind(next) : record.find(next, start);
            if (end == std::string::npos || end < start) {
                return Fail("the record has no key \"" + std::string(kRecordKeys[i + 1]) + "\"");
            }
        }
        values.push_back(record.substr(start, end - start));
        at = end + 1;
    }
    return true;
}

bool RequestDecoder::DecodeRecord(const std::string& uid, std::string& json) {
    const auto plain = DecryptReportHex(uid);
    if (!plain) {
        return Fail("uid is not whole 8-byte blocks of hexadecimal digits");
    }
    for (unsigned char c : *plain) {
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') {
            return Fail("the record does not decrypt to text");
        }
    }
    const auto text = toUtf8_(*plain);
    if (!text) {
        return Fail("the record does not decrypt to text");
    }
    std::vector<std::string> values;
    if (!SplitRecord(*text, values)) {
        return false;
    }
    json.assign(1, '{');
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string key = kRecordKeys[i];
        bool numeric = false;
        for (const char* n : kNumericRecordKeys) {
            numeric = numeric || key == n;
        }
        if (numeric && !IsInteger(values[i])) {
            std::string message = "the record's \"";
            message += key;
            message += "\" is not a number";
            return Fail(std::move(message));
        }
        json += i ? "," : "";
        json += JsonQuote(key) + ":";
        json += numeric ? values[i] : JsonQuote(values[i]);
    }
    json += "}";
    return true;
}

// Splits a "|"-terminated list; empty text gives no entries.
bool RequestDecoder::SplitList(const std::string& text, const char* what,
                               std::vector<std::string>& items) {
    if (text.empty()) {
        return true;
    }
    if (text.back() != '|') {
        return Fail(std::string("the ") + what + " list does not end with \"|\"");
    }
    std::size_t at = 0;
    for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', at)) {
        items.push_back(text.substr(at, bar - at));
        at = bar + 1;
    }
    return true;
}

bool RequestDecoder::DecodeHijack(const std::string& entry, std::string& json) {
    const std::string malformed =
        "hijack record \"" + entry + "\" is not name-location-length-status";
    const std::size_t statusDash = entry.rfind('-');
    if (statusDash == std::string::npos || statusDash == 0) {
        return Fail(malformed);
    }
    std::size_t lengthDash = entry.rfind('-', statusDash - 1);
    // A negative length carries its own "-".
    if (lengthDash != std::string::npos && lengthDash > 0 && entry[lengthDash - 1] == '-') {
        --lengthDash;
    }
    if (lengthDash == std::string::npos) {
        return Fail(malformed);
    }
    const std::string status = entry.substr(statusDash + 1);
    const std::string length = entry.substr(lengthDash + 1, statusDash - lengthDash - 1);
    const std::string nameAndLocation = entry.substr(0, lengthDash);
    std::size_t split = nameAndLocation.find("-http");
    if (split == std::string::npos) {
        split = nameAndLocation.find('-');
    }
    if (!IsInteger(status) || !IsInteger(length) || split == std::string::npos) {
        return Fail(malformed);
    }
    json = "{\"name\":" + JsonQuote(nameAndLocation.substr(0, split)) +
           ",\"location\":" + JsonQuote(nameAndLocation.substr(split + 1)) +
           ",\"length\":" + length + ",\"status\":" + status + "}";
    return true;
}

bool RequestDecoder::DecodeAPart(const std::string& a, std::string& json) {
    const std::string head = "hijactcontent:";
    const std::string middle = ";filecontent:";
    const std::size_t files = a.find(middle);
    if (a.compare(0, head.size(), head) != 0 || files == std::string::npos || a.back() != ';') {
        return Fail("a is not \"hijactcontent:...;filecontent:...;\"");
    }
    std::vector<std::string> hijacks;
    std::vector<std::string> texts;
    const std::size_t fileStart = files + middle.size();
    if (!SplitList(a.substr(head.size(), files - head.size()), "hijack", hijacks) ||
        !SplitList(a.substr(fileStart, a.size() - 1 - fileStart), "file-text", texts)) {
        return false;
    }
    json = "\"hijacks\":[";
    for (std::size_t i = 0; i < hijacks.size(); ++i) {
        std::string hijack;
        if (!DecodeHijack(hijacks[i], hijack)) {
            return false;
        }
        json += i ? "," : "";
        json += hijack;
    }
    json += "],\"files\":[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        json += i ? "," : "";
        json += JsonQuote(texts[i]);
    }
    json += "]";
    return true;
}

bool RequestDecoder::Decode(const std::string& request, std::string& json) {
    std::string query = request;
    const std::size_t marker = query.find(kRequestMarker);
    if (marker != std::string::npos) {
        query = query.substr(marker + std::size(kRequestMarker) - 1);
    }
    std::size_t at = 0;
    std::string uid, v, s, e, a, r;
    if (!TakeValue(query, at, "uid", "v", false, uid) ||
        !TakeValue(query, at, "v", "s", false, v) || !QueryText(v, v) ||
        !TakeValue(query, at, "s", "e", false, s) || !TakeValue(query, at, "e", "a", false, e) ||
        !TakeValue(query, at, "a", "r", true, a) || !QueryText(a, a) ||
        !TakeValue(query, at, "r", "", false, r)) {
        return false;
    }
    for (const auto& [key, value] : {std::pair{"s", &s}, {"e", &e}, {"r", &r}}) {
        *value = PercentDecode(*value);
        if (!IsInteger(*value)) {
            return Fail(std::string("the query's \"") + key + "\" is not a number");
        }
    }
    std::string record;
    std::string lists;
    if (!DecodeRecord(uid, record) || !DecodeAPart(a, lists)) {
        return false;
    }
    json = "{\"record\":" + record + ",\"v\":" + JsonQuote(v) + ",\"s\":" + s + ",\"e\":" + e +
           "," + lists + ",\"r\":" + r + "}";
    return true;
}

}  // namespace

std::string JsonQuote(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        } else {
            out += c;
        }
    }
    return out + "\"";
}

DecodedReport DecodeReportRequest(const std::string& request, const AnsiToUtf8& toUtf8) {
    DecodedReport result;
    RequestDecoder decoder(toUtf8);
    result.ok = decoder.Decode(request, result.json);
    if (!result.ok) {
        result.json.clear();
        result.error = decoder.Error();
    }
    return result;
}

std::optional<std::string> ReportRequestInLine(const std::string& line) {
    const std::size_t marker = line.find(kRequestMarker);
    if (marker == std::string::npos) {
        return std::nullopt;
    }
    if (!line.empty() && line[0] == '{') {
        // A JSON log line: the "path" member's string, unescaped.
        const std::size_t key = line.find("\"path\"");
        std::size_t at = key == std::string::npos ? key : line.find('"', line.find(':', key));
        if (at == std::string::npos) {
            return std::nullopt;
        }
        std::string path;
        for (++at; at < line.size() && line[at] != '"'; ++at) {
            if (line[at] != '\\' || at + 1 >= line.size()) {
                path += line[at];
                continue;
            }
            const char escaped = line[++at];
            if (escaped == 'u' && at + 4 < line.size()) {
                unsigned code = 0;
                for (int k = 1; k <= 4; ++k) {
                    code = code * 16 + static_cast<unsigned>(std::max(0, HexDigitValue(line[at + k])));
                }
                at += 4;
                // The server read the request line as Latin-1: below 0x100 a code point is
                // the byte that came over the wire.
                if (code < 0x100) {
                    path += static_cast<char>(code);
                } else if (code < 0x800) {
                    path += static_cast<char>(0xC0 | (code >> 6));
                    path += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    path += static_cast<char>(0xE0 | (code >> 12));
                    path += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    path += static_cast<char>(0x80 | (code & 0x3F));
                }
            } else {
                const std::string from = "nrtbf";
                const std::string to = "\n\r\t\b\f";
                const std::size_t which = from.find(escaped);
                path += which == std::string::npos ? escaped : to[which];
            }
        }
        return path.find(kRequestMarker) == std::string::npos ? std::nullopt
                                                              : std::optional<std::string>(path);
    }
    std::string request = line.substr(marker);
    const std::size_t protocol = request.rfind(" HTTP/");
    if (protocol != std::string::npos) {
        request.erase(protocol);
    }
    while (!request.empty() && (request.back() == '\r' || request.back() == '\n' ||
                                request.back() == ' ' || request.back() == '"')) {
        request.pop_back();
    }
    return request;
}
