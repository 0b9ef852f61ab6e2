#include "manifest/version.h"

#include <climits>
#include <cwctype>

#include "base/text.h"

int LeadingInt(const std::wstring& text) {
    std::size_t i = 0;
    while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    // Saturates like the C runtime instead of overflowing.
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > INT_MAX) {
            return negative ? INT_MIN : INT_MAX;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

bool IsNewer(const std::wstring& current, const std::wstring& candidate) {
    if (current.empty() || candidate.empty() || EqualsNoCase(current, candidate)) {
        return false;
    }
    std::wstring a = current;
    std::wstring b = candidate;
    for (;;) {
        const std::size_t dotA = a.find(L'.');
        const std::size_t dotB = b.find(L'.');
        if (dotA == std::wstring::npos || dotB == std::wstring::npos) {
            return LeadingInt(b) > LeadingInt(a);
        }
        const int fieldA = LeadingInt(a.substr(0, dotA));
        const int fieldB = LeadingInt(b.substr(0, dotB));
        if (fieldB != fieldA) {
            return fieldB > fieldA;
        }
        a.erase(0, dotA + 1);
        b.erase(0, dotB + 1);
    }
}

std::wstring FormatVersion(std::uint32_t mostSignificant, std::uint32_t leastSignificant) {
    return std::to_wstring(mostSignificant >> 16) + L"." +
           std::to_wstring(mostSignificant & 0xFFFF) + L"." +
           std::to_wstring(leastSignificant >> 16) + L"." +
           std::to_wstring(leastSignificant & 0xFFFF);
}
