// Version texts: decimal fields separated by ".", and the one comparison every version decision
// of the program uses.
#pragma once

#include <cstdint>
#include <string>

// Well-known versions.
inline const wchar_t kVersion6Threshold[] = L"6.0.0.0";
inline const wchar_t kFennickNotInstalled[] = L"9999.9999.9999.9999";
inline const wchar_t kMarlowUpgradeThreshold[] = L"1.0.3.2";

// True when `candidate` (offered) is newer than `current` (installed). Empty texts are never
// newer nor older; fields compare as numbers (a non-numeric field counts as 0); once either text
// has no "." left only the next field of each is compared, so "6.0.1" is not newer than "6.0".
bool IsNewer(const std::wstring& current, const std::wstring& candidate);

// "%d.%d.%d.%d" of the four 16-bit halves, most significant first.
std::wstring FormatVersion(std::uint32_t mostSignificant, std::uint32_t leastSignificant);

// The leading decimal integer of a text as the C runtime reads it: optional blanks and sign,
// then digits; no digits give 0.
int LeadingInt(const std::wstring& text);
