#include "manifest/history.h"

#include <algorithm>

#include "base/text.h"
#include "manifest/manifest_text.h"

namespace {

const wchar_t kNotesElement[] = L"h";
const wchar_t kContentMarker[] = L"<div class=\"content\">";
const wchar_t kCalendarProduct[] = L"dayloom";
constexpr std::int32_t kCalendarPlugin = 1;

// Every text of the page comes from a manifest, which travels over plain HTTP, and the page is
// shown with script enabled: the text goes in as text, never as markup.
std::wstring Escaped(const std::wstring& text) {
    static const struct {
        wchar_t c;
        const wchar_t* entity;
    } kEntities[] = {
        {L'&', L"&amp;"}, {L'<', L"&lt;"}, {L'>', L"&gt;"}, {L'"', L"&quot;"}, {L'\'', L"&#39;"}};
    std::wstring out;
    for (const wchar_t c : text) {
        const wchar_t* entity = nullptr;
        for (const auto& e : kEntities) {
            entity = e.c == c ? e.entity : entity;
        }
        if (entity != nullptr) {
            out += entity;
        } else {
            out += c;
        }
    }
    return out;
}

std::wstring Bullet(const std::wstring& line) {
    return L"<span>●</span>" + Escaped(line) + L"<br />";
}

// The notes without "|" at either end, split at each "|".
std::vector<std::wstring> NoteLines(std::wstring notes) {
    while (!notes.empty() && notes.front() == L'|') {
        notes.erase(0, 1);
    }
    while (!notes.empty() && notes.back() == L'|') {
        notes.pop_back();
    }
    std::vector<std::wstring> lines;
    if (notes.empty()) {
        return lines;
    }
    std::size_t start = 0;
    for (std::size_t bar; (bar = notes.find(L'|', start)) != std::wstring::npos; start = bar + 1) {
        lines.push_back(notes.substr(start, bar - start));
    }
    lines.push_back(notes.substr(start));
    return lines;
}

bool Selected(const HistoryRecord& record, const HistoryPageInputs& in) {
    if (!record.updateNeeded || record.enforce) {
        return false;
    }
    if (in.suiteMode) {
        return true;
    }
    return EqualsNoCase(record.tag, in.targetProduct) ||
           (!record.tag.empty() && in.targetDepend.find(record.tag) != std::wstring::npos) ||
           (EqualsNoCase(in.targetProduct, kCalendarProduct) &&
            record.placementKind == kCalendarPlugin);
}

}  // namespace

bool ReadHistoryRecords(const ManifestNode& root, std::vector<HistoryRecord>& records) {
    return ForEachChild(root, [&records](const ManifestNode& entry, const std::wstring& tag) {
        HistoryRecord record;
        record.tag = tag;
        const bool walked =
            ForEachChild(entry, [&record](const ManifestNode& child, const std::wstring& name) {
                // The last "h" counts.
                return !EqualsNoCase(name, kNotesElement) || child.Text(record.notes);
            });
        if (!walked) {
            return false;
        }
        records.push_back(std::move(record));
        return true;
    });
}

void CopyItemFields(const UpdateList& items, std::vector<HistoryRecord>& records) {
    for (const auto& item : items) {
        for (HistoryRecord& record : records) {
            if (EqualsNoCase(record.tag, item->tag)) {
                record.name = item->name;
                record.version = item->version;
                record.placementKind = item->placementKind;
                record.updateNeeded = item->updateNeeded;
                record.enforce = item->enforce;
            }
        }
    }
}

std::wstring HistoryPageText(const std::vector<HistoryRecord>& records,
                             const HistoryPageInputs& in) {
    if (in.mainProductLine || (!in.targetUpdateAvailable && !in.suiteMode)) {
        // The announcement section has no closing paragraph tag.
        return L"<strong>OrvaneHelvor 6.0正式版</strong>\n\r<p>\n\r" + Bullet(in.announcement);
    }
    std::wstring text;
    for (const HistoryRecord& record : records) {
        if (!Selected(record, in)) {
            continue;
        }
        text += L"<strong>" + Escaped(record.name) + L" " + Escaped(record.version) +
                L"</strong>\n\r<p>\n\r";
        for (const std::wstring& line : NoteLines(record.notes)) {
            text += Bullet(line);
        }
        text += L"</p>\n\r";
    }
    return text;
}

std::wstring InsertPageText(const std::wstring& pageTemplate, const std::wstring& pageText) {
    const std::wstring marker = kContentMarker;
    const std::size_t at = pageTemplate.find(marker);
    if (at == std::wstring::npos) {
        return pageTemplate + pageText;
    }
    const std::size_t split = at + marker.size();
    return pageTemplate.substr(0, split) + pageText + pageTemplate.substr(split);
}

std::wstring ReadTemplateText(const std::string& bytes) {
    const bool marked = bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
                        static_cast<unsigned char>(bytes[1]) == 0xBB &&
                        static_cast<unsigned char>(bytes[2]) == 0xBF;
    // The manifest decoder reads UTF-8 after its mark, so the body is given one.
    std::vector<unsigned char> body(bytes.size() + (marked ? 0 : 3));
    body[0] = 0xEF;
    body[1] = 0xBB;
    body[2] = 0xBF;
    for (std::size_t i = marked ? 3 : 0, at = 3; i < bytes.size(); ++i, ++at) {
        body[at] = static_cast<unsigned char>(bytes[i]);
    }
    return ReplaceAll(DecodeManifestBytes(body), L"\r\n", L"\n");
}

std::string EncodePageFile(const std::wstring& page) {
    std::string bytes = "\xFF\xFE";
    auto put = [&bytes](wchar_t unit) {
        const auto value = static_cast<std::uint16_t>(unit);
        bytes.push_back(static_cast<char>(value & 0xFF));
        bytes.push_back(static_cast<char>(value >> 8));
    };
    for (const wchar_t unit : page) {
        if (unit == L'\n') {
            put(L'\r');
        }
        put(unit);
    }
    return bytes;
}

std::vector<std::uint8_t> EncodeShowPageBlock(std::uint32_t value, const std::wstring& path) {
    std::vector<std::uint8_t> block(kShowPageBlockSize, 0);
    for (int i = 0; i < 4; ++i) {
        block[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    const std::size_t length = std::min(path.size(), kShowPagePathChars - 1);
    for (std::size_t i = 0; i < length; ++i) {
        const auto unit = static_cast<std::uint16_t>(path[i]);
        block[4 + 2 * i] = static_cast<std::uint8_t>(unit & 0xFF);
        block[5 + 2 * i] = static_cast<std::uint8_t>(unit >> 8);
    }
    return block;
}

std::wstring DecodeShowPageBlock(const std::uint8_t* block) {
    std::wstring path;
    for (std::size_t i = 0; i < kShowPagePathChars; ++i) {
        const auto unit = static_cast<std::uint16_t>(block[4 + 2 * i] | (block[5 + 2 * i] << 8));
        if (unit == 0) {
            break;
        }
        path.push_back(static_cast<wchar_t>(unit));
    }
    return path;
}
