// Small string helpers shared by the portable code. Case folding is ASCII only (the C locale),
// which is what every comparison of switches, tags and element names in this program needs.
#pragma once

#include <string>

std::wstring ToLowerAscii(std::wstring text);
bool EqualsNoCase(const std::wstring& a, const std::wstring& b);
bool Contains(const std::wstring& text, const std::wstring& part);
std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to);

// Blanks are the space character only.
std::wstring Trim(const std::wstring& text);
std::wstring TrimRight(const std::wstring& text);

// The value of one hexadecimal digit of either letter case, or -1 for any other character.
int HexDigitValue(char c);

// The length of the well-formed UTF-8 sequence that starts at `at` (1 to 4), or 0 when the bytes
// there are not one: a stray continuation byte, a sequence cut short, an overlong form, a
// surrogate or a value above U+10FFFF.
std::size_t Utf8SequenceLength(const unsigned char* bytes, std::size_t size, std::size_t at);
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at);
