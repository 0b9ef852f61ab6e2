// The publisher's side of the usage reports: turns a request that reached the statistics host
// back into a readable record, one JSON object per report. Used by tools/report_decoder.cpp.
//
// The query's values travel raw (unescaped), so a value may itself hold "&", ";", "|" or "-".
// The decoder therefore reads each key up to the next key it expects rather than splitting at
// every separator: "a" runs to the last "&r=", the record's "s" to its last ";dns:", a hijack
// record's location is what lies between the file name and the last two "-" fields (the name
// ends at the first "-" that starts an "http" or "/" location, or at a last "-" before an empty
// location, or else at its first "-"). Only a "|" inside a file text or a location cannot be
// told from the list separator; such a value comes out split; and a location that ends in "-"
// before its length reads as a negative length. Sequences "%XX" in the plain
// values are decoded, as an HTTP layer may have escaped characters it would not send raw.
//
// A damaged report is decoded as far as it goes: a key that is missing or a part that cannot be
// read comes out as null and is named in the error, so that what did arrive is not lost. An
// empty number field is null without being an error.
#pragma once

#include <functional>
#include <optional>
#include <string>

// Converts record bytes from the reporting computer's ANSI code page to UTF-8; nullopt when they
// are not text in that code page.
using AnsiToUtf8 = std::function<std::optional<std::string>(const std::string& ansi)>;

struct DecodedReport {
    bool ok = false;    // the whole report decoded
    std::string json;   // one JSON object on one line; when not ok, what could be decoded, with
                        // null parts (empty when the request is no report at all)
    std::string error;  // what is wrong with the request, when not ok ("; " between problems)
};

// Decodes one report request, given as a URL, a request target ("/receive/tallix.aspx?...") or
// the bare query ("uid=...").
DecodedReport DecodeReportRequest(const std::string& request, const AnsiToUtf8& toUtf8);

// The report request held by one line of a statistics-host log: a JSON line with a "path" string
// (the loopback server's log, which holds the request line read as Latin-1, so that "\u00e9" is
// the byte 0xE9 that came over the wire), an access-log line ("GET /receive/tallix.aspx?...
// HTTP/1.1") or a bare URL. nullopt when the line holds no report request.
std::optional<std::string> ReportRequestInLine(const std::string& line);

// The text as a strict JSON string literal: UTF-8 in; the quote, the backslash and every control
// character (C0, DEL and the C1 controls U+0080 to U+009F, which some terminals obey) escaped;
// each byte that is not well-formed UTF-8 written as U+FFFD.
std::string JsonQuote(const std::string& text);
