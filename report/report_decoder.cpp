#include "report/report_decoder.h"

#include <vector>

#include "report/report_cipher.h"

namespace {

const char kRequestMarker[] = "/receive/tallix.aspx?";
const char* const kRecordKeys[] = {"n", "d",    "v",    "s",      "dns",
                                   "o", "disk", "path", "redown", "size"};
const char* const kNumericRecordKeys[] = {"redown", "size"};

struct Failure {
    std::string message;
};

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

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string PercentDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
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

// A value of the query as UTF-8: escaped bytes decoded, then taken as UTF-8 when they are, else
// as the ANSI code page.
std::string QueryText(const std::string& raw, const AnsiToUtf8& toUtf8) {
    const std::string bytes = PercentDecode(raw);
    if (IsValidUtf8(bytes)) {
        return bytes;
    }
    const auto converted = toUtf8(bytes);
    if (!converted) {
        throw Failure{"a query value is neither UTF-8 nor text in the record's code page"};
    }
    return *converted;
}

// Splits "key:value;key:value;..." with the record's fixed keys in their order.
std::vector<std::string> SplitRecord(const std::string& record) {
    std::vector<std::string> values;
    std::size_t at = 0;
    const std::size_t count = std::size(kRecordKeys);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string key = std::string(kRecordKeys[i]) + ":";
        if (record.compare(at, key.size(), key) != 0) {
            throw Failure{"the record has no key \"" + std::string(kRecordKeys[i]) + "\""};
        }
        const std::size_t start = at + key.size();
        std::size_t end;
        if (i + 1 == count) {
            end = record.empty() || record.back() != ';' || record.size() - 1 < start
                      ? std::string::npos
                      : record.size() - 1;
            if (end == std::string::npos) {
                throw Failure{"the record does not end with \";\""};
            }
        } else {
            std::string next = ";";
            next += kRecordKeys[i + 1];
            next += ":";
            end = (key == "s:") ? record.rfind(next) : record.find(next, start);
            if (end == std::string::npos || end < start) {
                throw Failure{"the record has no key \"" + std::string(kRecordKeys[i + 1]) + "\""};
            }
        }
        values.push_back(record.substr(start, end - start));
        at = end + 1;
    }
    return values;
}

std::string DecodeRecord(const std::string& uid, const AnsiToUtf8& toUtf8) {
    const auto plain = DecryptReportHex(uid);
    if (!plain) {
        throw Failure{"uid is not whole 8-byte blocks of hexadecimal digits"};
    }
    for (unsigned char c : *plain) {
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') {
            throw Failure{"the record does not decrypt to text"};
        }
    }
    const auto text = toUtf8(*plain);
    if (!text) {
        throw Failure{"the record does not decrypt to text"};
    }
    const std::vector<std::string> values = SplitRecord(*text);
    std::string json = "{";
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string key = kRecordKeys[i];
        bool numeric = false;
        for (const char* n : kNumericRecordKeys) {
            numeric = numeric || key == n;
        }
        if (numeric && !IsInteger(values[i])) {
            throw Failure{"the record's \"" + key + "\" is not a number"};
        }
        json += i ? "," : "";
        json += JsonQuote(key) + ":";
        json += numeric ? values[i] : JsonQuote(values[i]);
    }
    return json + "}";
}

// Splits a "|"-terminated list; empty text gives no entries.
std::vector<std::string> SplitList(const std::string& text, const char* what) {
    std::vector<std::string> items;
    if (text.empty()) {
        return items;
    }
    if (text.back() != '|') {
        throw Failure{std::string("the ") + what + " list does not end with \"|\""};
    }
    std::size_t at = 0;
    for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', at)) {
        items.push_back(text.substr(at, bar - at));
        at = bar + 1;
    }
    return items;
}

std::string DecodeHijack(const std::string& entry) {
    const std::size_t statusDash = entry.rfind('-');
    if (statusDash == std::string::npos || statusDash == 0) {
        throw Failure{"hijack record \"" + entry + "\" is not name-location-length-status"};
    }
    std::size_t lengthDash = entry.rfind('-', statusDash - 1);
    // A negative length carries its own "-".
    if (lengthDash != std::string::npos && lengthDash > 0 && entry[lengthDash - 1] == '-') {
        --lengthDash;
    }
    const std::string status = entry.substr(statusDash + 1);
    const std::string length = lengthDash == std::string::npos
                                   ? ""
                                   : entry.substr(lengthDash + 1, statusDash - lengthDash - 1);
    if (lengthDash == std::string::npos || !IsInteger(status) || !IsInteger(length)) {
        throw Failure{"hijack record \"" + entry + "\" is not name-location-length-status"};
    }
    const std::string nameAndLocation = entry.substr(0, lengthDash);
    std::size_t split = nameAndLocation.find("-http");
    if (split == std::string::npos) {
        split = nameAndLocation.find('-');
    }
    if (split == std::string::npos) {
        throw Failure{"hijack record \"" + entry + "\" is not name-location-length-status"};
    }
    return "{\"name\":" + JsonQuote(nameAndLocation.substr(0, split)) +
           ",\"location\":" + JsonQuote(nameAndLocation.substr(split + 1)) +
           ",\"length\":" + length + ",\"status\":" + status + "}";
}

std::string DecodeAPart(const std::string& a) {
    const std::string head = "hijactcontent:";
    const std::string middle = ";filecontent:";
    const std::size_t files = a.find(middle);
    if (a.compare(0, head.size(), head) != 0 || files == std::string::npos || a.back() != ';') {
        throw Failure{"a is not \"hijactcontent:...;filecontent:...;\""};
    }
    std::string json = "\"hijacks\":[";
    const auto hijacks = SplitList(a.substr(head.size(), files - head.size()), "hijack");
    for (std::size_t i = 0; i < hijacks.size(); ++i) {
        json += i ? "," : "";
        json += DecodeHijack(hijacks[i]);
    }
    json += "],\"files\":[";
    const std::size_t fileStart = files + middle.size();
    const auto texts = SplitList(a.substr(fileStart, a.size() - 1 - fileStart), "file-text");
    for (std::size_t i = 0; i < texts.size(); ++i) {
        json += i ? "," : "";
        json += JsonQuote(texts[i]);
    }
    return json + "]";
}

// The value of `key` starting at `at`, up to the separator that introduces `next` (the first
// one, or the last when `last`); `at` moves past the separator.
std::string TakeValue(const std::string& query, std::size_t& at, const std::string& key,
                      const std::string& next, bool last = false) {
    const std::string start = key + "=";
    if (query.compare(at, start.size(), start) != 0) {
        throw Failure{"the query has no key \"" + key + "\""};
    }
    const std::size_t valueStart = at + start.size();
    if (next.empty()) {
        at = query.size();
        return query.substr(valueStart);
    }
    const std::string separator = "&" + next + "=";
    const std::size_t end = last ? query.rfind(separator) : query.find(separator, valueStart);
    if (end == std::string::npos || end < valueStart) {
        throw Failure{"the query has no key \"" + next + "\""};
    }
    at = end + 1;
    return query.substr(valueStart, end - valueStart);
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
    try {
        std::string query = request;
        const std::size_t marker = query.find(kRequestMarker);
        if (marker != std::string::npos) {
            query = query.substr(marker + std::size(kRequestMarker) - 1);
        }
        std::size_t at = 0;
        const std::string uid = TakeValue(query, at, "uid", "v");
        const std::string v = QueryText(TakeValue(query, at, "v", "s"), toUtf8);
        const std::string s = PercentDecode(TakeValue(query, at, "s", "e"));
        const std::string e = PercentDecode(TakeValue(query, at, "e", "a"));
        const std::string a = QueryText(TakeValue(query, at, "a", "r", true), toUtf8);
        const std::string r = PercentDecode(TakeValue(query, at, "r", ""));
        for (const auto& [key, value] : {std::pair{"s", s}, {"e", e}, {"r", r}}) {
            if (!IsInteger(value)) {
                throw Failure{std::string("the query's \"") + key + "\" is not a number"};
            }
        }
        result.json = "{\"record\":" + DecodeRecord(uid, toUtf8) + ",\"v\":" + JsonQuote(v) +
                      ",\"s\":" + s + ",\"e\":" + e + "," + DecodeAPart(a) + ",\"r\":" + r + "}";
        result.ok = true;
    } catch (const Failure& failure) {
        result.error = failure.message;
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
                    code = code * 16 + static_cast<unsigned>(std::max(0, HexValue(line[at + k])));
                }
                at += 4;
                if (code < 0x80) {
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
