// Text from reports made safe for a terminal: anyone who can reach the statistics host writes
// what `stats` prints, so no control character of theirs may reach the publisher's terminal.
#pragma once

#include <string>

// UTF-8 text with every control character (C0, DEL, C1) and every byte that is not part of a
// well-formed UTF-8 sequence written as "\xNN" (a C1 character as the "\xNN" of its code point).
// Backslashes stay as they are, so that Windows paths read as paths.
std::string TerminalText(const std::string& text);
