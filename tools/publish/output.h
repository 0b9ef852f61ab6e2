// What the publisher's tools print: tables, JSON and messages. Everything they print may hold text
// that someone on the internet wrote (a manifest, a report, a log line, a package's names), so it
// goes out through TerminalSafe or Json and can never steer the publisher's terminal.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// The text with every control character made visible: "\t", "\n" and "\r", "\x1b" for the other
// C0 controls and DEL, "\u009b" for the C1 controls U+0080 to U+009F, and "\xff" for each byte
// that is not well-formed UTF-8. Other text, the backslash included, stays as it is.
std::string TerminalSafe(const std::string& text);

// Prints rows as columns padded to their widest cell (widths counted in characters of UTF-8
// text), the first row as the heading with a rule under it. Cells are made TerminalSafe.
void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows);

// A strict JSON string literal of UTF-8 text (control characters escaped, ill-formed bytes as
// U+FFFD).
std::string Json(const std::string& text);
