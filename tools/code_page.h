// Text of the reporting computer's ANSI code page turned into UTF-8, for the publisher's tools
// (the report decoder and the report store), through the C library's iconv.
#pragma once

#include <optional>
#include <string>

// The bytes read in the code page that iconv knows as `encoding`, as UTF-8; nothing when the
// code page is unknown or the bytes are not text of it.
std::optional<std::string> CodePageToUtf8(const std::string& encoding, const std::string& bytes);
