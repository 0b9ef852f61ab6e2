#include "report/report_decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/text.h"
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

// A number field as JSON: the number, or null for an empty field (a value the host received as
// nothing is no error); nullopt when the text is no number. JSON numbers have no leading zeros,
// so "007" is written 7 and "-0" 0.
std::optional<std::string> NumberJson(const std::string& text) {
    if (text.empty()) {
        return std::string("null");
    }
    if (!IsInteger(text)) {
        return std::nullopt;
    }
    const bool negative = text[0] == '-';
    const std::size_t digits = text.find_first_not_of('0', negative ? 1 : 0);
    if (digits == std::string::npos) {
        return std::string("0");
    }
    return (negative ? "-" : "") + text.substr(digits);
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

// Well-formed UTF-8 only: an overlong form, a surrogate or a value above U+10FFFF is not, so
// that such bytes are read in the code page instead and the JSON printed stays valid UTF-8.
bool IsValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

// Decodes one request; every step answers false after noting what was wrong in `error`.
class RequestDecoder {
  public:
    explicit RequestDecoder(const AnsiToUtf8& toUtf8) : toUtf8_(toUtf8) {}

    // False when the request is no report at all (its query does not begin with "uid=");
    // otherwise `json` holds what could be decoded, with null for each part that could not, and
    // Error() names those parts (empty when the whole report decoded).
    bool Decode(const std::string& request, std::string& json);
    const std::string& Error() const { return error_; }

  private:
    // Notes one problem; several are joined with "; ". Answers false for the callers' chains.
    bool Fail(std::string message) {
        error_ += (error_.empty() ? "" : "; ") + message;
        return false;
    }
    bool QueryText(const std::string& raw, std::string& text);
    bool SplitRecord(const std::string& record, std::vector<std::string>& values);
    bool DecodeRecord(const std::string& uid, std::string& json);
    bool SplitList(const std::string& text, const char* what, std::vector<std::string>& items);
    bool DecodeHijack(const std::string& entry, std::string& json);
    bool DecodeAPart(const std::string& a, std::string& json);

    const AnsiToUtf8& toUtf8_;
    std::string error_;
};

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
        const auto number = numeric ? NumberJson(values[i]) : std::nullopt;
        if (numeric && !number) {
            std::string message = "the record's \"";
            message += key;
            message += "\" is not a number";
            return Fail(std::move(message));
        }
        json += i ? "," : "";
        json += JsonQuote(key) + ":";
        json += numeric ? *number : JsonQuote(values[i]);
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

// The first "-" that starts an "http" or "/" location.
std::size_t LocationStart(const std::string& nameAndLocation) {
    return std::min(nameAndLocation.find("-http"), nameAndLocation.find("-/"));
}

// Where a hijack record's file name ends and its location begins: at the first "-" that starts
// an "http" or "/" location; else, when the text ends with "-", there (an empty location, which
// a redirect without a location line leaves); else at the first "-".
std::size_t NameLocationSplit(const std::string& nameAndLocation) {
    const std::size_t at = LocationStart(nameAndLocation);
    if (at != std::string::npos) {
        return at;
    }
    if (!nameAndLocation.empty() && nameAndLocation.back() == '-') {
        return nameAndLocation.size() - 1;
    }
    return nameAndLocation.find('-');
}

bool RequestDecoder::DecodeHijack(const std::string& entry, std::string& json) {
    const std::string malformed =
        "hijack record \"" + entry + "\" is not name-location-length-status";
    const std::size_t statusDash = entry.rfind('-');
    if (statusDash == std::string::npos || statusDash == 0) {
        return Fail(malformed);
    }
    std::size_t lengthDash = entry.rfind('-', statusDash - 1);
    if (lengthDash == std::string::npos) {
        return Fail(malformed);
    }
    // "--" before the length is the sign of a negative length when an "http" or "/" location
    // stands before it; otherwise it ends an empty location.
    if (lengthDash > 0 && entry[lengthDash - 1] == '-' &&
        LocationStart(entry.substr(0, lengthDash - 1)) != std::string::npos) {
        --lengthDash;
    }
    const std::string status = entry.substr(statusDash + 1);
    const std::string length = entry.substr(lengthDash + 1, statusDash - lengthDash - 1);
    const std::string nameAndLocation = entry.substr(0, lengthDash);
    const std::size_t split = NameLocationSplit(nameAndLocation);
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
    if (query.compare(0, 4, "uid=") != 0) {
        return Fail("the query has no key \"uid\"");
    }
    // Where each key's "&key=" stands: the first one after the key before it that was found, but
    // for "r" the last one, since "a" may hold "&r=" itself. A missing key leaves npos.
    static const char* const kKeys[] = {"uid", "v", "s", "e", "a", "r"};
    constexpr std::size_t kCount = std::size(kKeys);
    std::size_t starts[kCount] = {0};
    std::size_t after = 0;
    for (std::size_t i = 1; i < kCount; ++i) {
        const std::string separator = std::string("&") + kKeys[i] + "=";
        starts[i] = i + 1 == kCount ? query.rfind(separator) : query.find(separator, after);
        if (starts[i] != std::string::npos && starts[i] < after) {
            starts[i] = std::string::npos;
        }
        if (starts[i] != std::string::npos) {
            after = starts[i] + separator.size();
        }
    }
    // Each value runs to the next key that is present, the last one to the end of the query.
    std::optional<std::string> values[kCount];
    for (std::size_t i = 0; i < kCount; ++i) {
        if (starts[i] == std::string::npos) {
            Fail(std::string("the query has no key \"") + kKeys[i] + "\"");
            continue;
        }
        const std::size_t from = starts[i] + std::strlen(kKeys[i]) + (i == 0 ? 1 : 2);
        std::size_t to = query.size();
        for (std::size_t k = i + 1; k < kCount; ++k) {
            if (starts[k] != std::string::npos) {
                to = starts[k];
                break;
            }
        }
        values[i] = query.substr(from, to - from);
    }
    std::string record = "null";
    if (values[0] && !DecodeRecord(*values[0], record)) {
        record = "null";
    }
    std::string v = "null";
    std::string text;
    if (values[1] && QueryText(*values[1], text)) {
        v = JsonQuote(text);
    }
    std::string numbers[3] = {"null", "null", "null"};  // s, e, r
    const std::size_t numberKeys[3] = {2, 3, 5};
    for (std::size_t n = 0; n < 3; ++n) {
        const std::size_t key = numberKeys[n];
        if (!values[key]) {
            continue;
        }
        const auto number = NumberJson(PercentDecode(*values[key]));
        if (number) {
            numbers[n] = *number;
        } else {
            Fail(std::string("the query's \"") + kKeys[key] + "\" is not a number");
        }
    }
    std::string lists = "\"hijacks\":null,\"files\":null";
    std::string listsJson;
    if (values[4] && QueryText(*values[4], text) && DecodeAPart(text, listsJson)) {
        lists = listsJson;
    }
    json = "{\"record\":" + record + ",\"v\":" + v + ",\"s\":" + numbers[0] +
           ",\"e\":" + numbers[1] + "," + lists + ",\"r\":" + numbers[2] + "}";
    return true;
}

}  // namespace

std::string JsonQuote(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto u = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8SequenceLength(text, i);
        // The C1 controls U+0080 to U+009F: C2 80 to C2 9F.
        const bool c1 = length == 2 && u == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (length == 0) {
            out += "\\ufffd";  // not UTF-8: the replacement character keeps the JSON valid
            ++i;
            continue;
        }
        if (u == '"' || u == '\\') {
            out += '\\';
            out += text[i];
        } else if (u < 0x20 || u == 0x7F || c1) {
            const unsigned code = c1 ? static_cast<unsigned char>(text[i + 1]) : u;
            out += "\\u00";
            out += kHex[code >> 4];
            out += kHex[code & 0xF];
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out + "\"";
}

DecodedReport DecodeReportRequest(const std::string& request, const AnsiToUtf8& toUtf8) {
    DecodedReport result;
    RequestDecoder decoder(toUtf8);
    if (!decoder.Decode(request, result.json)) {
        result.json.clear();
    }
    result.error = decoder.Error();
    result.ok = !result.json.empty() && result.error.empty();
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
                    code =
                        code * 16 + static_cast<unsigned>(std::max(0, HexDigitValue(line[at + k])));
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
