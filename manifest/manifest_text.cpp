#include "manifest/manifest_text.h"

#include <cwchar>

#include "base/text.h"

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// Appends `codePoint` as one or two UTF-16 units.
void AppendUtf16(std::uint32_t codePoint, std::wstring& out) {
    if (codePoint < 0x10000) {
        out.push_back(static_cast<wchar_t>(codePoint));
        return;
    }
    codePoint -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (codePoint >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (codePoint & 0x3FF)));
}

// The shape of a UTF-8 sequence by its lead byte: how many continuation bytes follow and the
// allowed range of the first of them (the others are always 80..BF). The narrowed ranges exclude
// overlong forms (E0, F0), surrogates (ED) and values above U+10FFFF (F4).
struct Utf8Lead {
    int continuations;  // -1: not a lead byte
    unsigned char low;
    unsigned char high;
};

Utf8Lead ClassifyLead(unsigned char b) {
    if (b < 0x80) {
        return {0, 0, 0};
    }
    if (b >= 0xC2 && b <= 0xDF) {
        return {1, 0x80, 0xBF};
    }
    if (b == 0xE0) {
        return {2, 0xA0, 0xBF};
    }
    if (b == 0xED) {
        return {2, 0x80, 0x9F};
    }
    if (b >= 0xE1 && b <= 0xEF) {
        return {2, 0x80, 0xBF};
    }
    if (b == 0xF0) {
        return {3, 0x90, 0xBF};
    }
    if (b >= 0xF1 && b <= 0xF3) {
        return {3, 0x80, 0xBF};
    }
    if (b == 0xF4) {
        return {3, 0x80, 0x8F};
    }
    return {-1, 0, 0};  // 80..C1 and F5..FF
}

std::wstring DecodeUtf8(const unsigned char* p, std::size_t count) {
    std::wstring out;
    std::size_t i = 0;
    while (i < count && p[i] != 0) {
        const unsigned char lead = p[i++];
        const Utf8Lead shape = ClassifyLead(lead);
        if (shape.continuations < 0) {
            out.push_back(kReplacement);
            continue;
        }
        std::uint32_t codePoint =
            shape.continuations == 0 ? lead : lead & (0x3Fu >> shape.continuations);
        int taken = 0;
        for (; taken < shape.continuations && i < count; ++taken, ++i) {
            const unsigned char low = taken == 0 ? shape.low : 0x80;
            const unsigned char high = taken == 0 ? shape.high : 0xBF;
            if (p[i] < low || p[i] > high) {
                break;  // the offending byte starts the next sequence (a NUL ends the text)
            }
            codePoint = (codePoint << 6) | (p[i] & 0x3Fu);
        }
        if (taken < shape.continuations) {
            out.push_back(kReplacement);
        } else {
            AppendUtf16(codePoint, out);
        }
    }
    return out;
}

std::wstring DecodeUtf16Le(const unsigned char* p, std::size_t count) {
    std::wstring out;
    for (std::size_t i = 0; i < count; i += 2) {
        // Past the end of an odd body lies the fetch's zero padding.
        const unsigned high = i + 1 < count ? p[i + 1] : 0;
        const wchar_t unit = static_cast<wchar_t>(p[i] | (high << 8));
        if (unit == 0) {
            break;
        }
        out.push_back(unit);
    }
    return out;
}

}  // namespace

std::wstring ManifestPath(ManifestKind kind, ManifestVariant variant) {
    const bool classic = variant == ManifestVariant::kClassic;
    switch (kind) {
        case ManifestKind::kSettings:
            return L"/keldra/tallix.xml";
        case ManifestKind::kUpgrade:
            return classic ? L"/keldra/upgrade.xml" : L"/keldra/upgrade6s.xml";
        case ManifestKind::kHistory:
            return classic ? L"/keldra/history.xml" : L"/keldra/history6.xml";
    }
    return std::wstring();
}

std::int32_t CacheBustingNumber(std::uint32_t tickCount) {
    std::int64_t value = tickCount;
    if (value > INT32_MAX) {
        value -= std::int64_t{1} << 32;
    }
    return static_cast<std::int32_t>(value);
}

std::wstring ManifestUrl(const std::wstring& hostOrigin, ManifestKind kind, ManifestVariant variant,
                         std::uint32_t tickCount) {
    return hostOrigin + ManifestPath(kind, variant) + L"?a=" +
           std::to_wstring(CacheBustingNumber(tickCount));
}

ManifestVariant ChooseManifestVariant(bool version6Switch, bool mainProgramVersion6,
                                      bool mainProgramFileExists) {
    const bool classic = !version6Switch && !mainProgramVersion6 && mainProgramFileExists;
    return classic ? ManifestVariant::kClassic : ManifestVariant::kVersion6;
}

ManifestEncoding ManifestEncodingOf(const unsigned char* bytes, std::size_t count) {
    if (bytes != nullptr && count >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB &&
        bytes[2] == 0xBF) {
        return ManifestEncoding::kUtf8Marked;
    }
    if (bytes != nullptr && count >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        return ManifestEncoding::kUtf16Marked;
    }
    return ManifestEncoding::kUtf16;
}

std::wstring DecodeManifestBytes(const unsigned char* bytes, std::size_t count) {
    if (bytes == nullptr || count == 0) {
        return std::wstring();
    }
    switch (ManifestEncodingOf(bytes, count)) {
        case ManifestEncoding::kUtf8Marked:
            return DecodeUtf8(bytes + 3, count - 3);
        case ManifestEncoding::kUtf16Marked:
            return DecodeUtf16Le(bytes + 2, count - 2);
        case ManifestEncoding::kUtf16:
            break;
    }
    return DecodeUtf16Le(bytes, count);
}

std::wstring DecodeManifestBytes(const std::vector<unsigned char>& bytes) {
    return DecodeManifestBytes(bytes.data(), bytes.size());
}

bool HasDocumentTypeDeclaration(const std::wstring& text) {
    static const std::wstring kDoctype = L"<!doctype";
    std::size_t at = 0;
    for (;;) {
        at = text.find_first_not_of(L" \t\r\n\uFEFF", at);
        if (at == std::wstring::npos) {
            return false;
        }
        if (ToLowerAscii(text.substr(at, kDoctype.size())) == kDoctype) {
            return true;
        }
        const wchar_t* end = nullptr;
        if (text.compare(at, 4, L"<!--") == 0) {
            end = L"-->";
        } else if (text.compare(at, 2, L"<?") == 0) {
            end = L"?>";
        } else {
            return false;  // the first element, or text that does not parse anyway
        }
        const std::size_t close = text.find(end, at + 2);
        if (close == std::wstring::npos) {
            return false;
        }
        at = close + std::wcslen(end);
    }
}
