// The version rule against a plain reference written here: fields are compared in order while
// both texts still have a dot ahead; then the last fields decide. Each field is its leading
// integer as the C runtime reads it, clamped to the int range.
#include <cerrno>
#include <climits>
#include <cwchar>

#include "base/text.h"
#include "manifest/version.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

int ReferenceLeadingInt(const std::wstring& text) {
    const long long value = std::wcstoll(text.c_str(), nullptr, 10);
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

bool ReferenceIsNewer(const std::wstring& current, const std::wstring& candidate) {
    if (current.empty() || candidate.empty() || EqualsNoCase(current, candidate)) {
        return false;
    }
    std::size_t a = 0;
    std::size_t b = 0;
    for (;;) {
        const std::size_t dotA = current.find(L'.', a);
        const std::size_t dotB = candidate.find(L'.', b);
        if (dotA == std::wstring::npos || dotB == std::wstring::npos) {
            return ReferenceLeadingInt(candidate.substr(b)) >
                   ReferenceLeadingInt(current.substr(a));
        }
        const int fieldA = ReferenceLeadingInt(current.substr(a, dotA - a));
        const int fieldB = ReferenceLeadingInt(candidate.substr(b, dotB - b));
        if (fieldA != fieldB) {
            return fieldB > fieldA;
        }
        a = dotA + 1;
        b = dotB + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Pieces pieces(data, size);
    // The C runtime's reader stops at a NUL; the rule's own reader sees the whole text, so the
    // texts compared here hold none.
    std::wstring current = fuzz::Widen(pieces.Next());
    std::wstring candidate = fuzz::Widen(pieces.Next());
    for (std::wstring* text : {&current, &candidate}) {
        for (wchar_t& c : *text) {
            c = c == 0 ? L'0' : c;
        }
    }
    const bool newer = IsNewer(current, candidate);
    FUZZ_CHECK(newer == ReferenceIsNewer(current, candidate));
    FUZZ_CHECK(!(newer && IsNewer(candidate, current)));
    FUZZ_CHECK(!IsNewer(current, current));
    FUZZ_CHECK(LeadingInt(current) == ReferenceLeadingInt(current));
    // Formatted file versions compare as their four fields do.
    if (size >= 16) {
        std::uint32_t v[4];
        for (int i = 0; i < 4; ++i) {
            v[i] = static_cast<std::uint32_t>(data[size - 16 + 4 * i]) |
                   static_cast<std::uint32_t>(data[size - 15 + 4 * i]) << 8 |
                   static_cast<std::uint32_t>(data[size - 14 + 4 * i]) << 16 |
                   static_cast<std::uint32_t>(data[size - 13 + 4 * i]) << 24;
        }
        const std::wstring older = FormatVersion(v[0], v[1]);
        const std::wstring other = FormatVersion(v[2], v[3]);
        const auto fields = [](std::uint32_t ms, std::uint32_t ls) {
            return (static_cast<std::uint64_t>(ms) << 32) | ls;
        };
        FUZZ_CHECK(IsNewer(older, other) == (fields(v[2], v[3]) > fields(v[0], v[1])));
    }
    return 0;
}
