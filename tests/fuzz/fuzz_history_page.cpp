// The history page built from any records: every text from a manifest arrives as text (without
// the page's own tags nothing is left that a browser reads as markup, and each "&" starts an
// entity the builder wrote), one bullet per note line as a plain split counts them, and the page
// file and the show-page block read back what was written.
//
// Input lines: the target product, the target's depend text, the announcement, the switches
// ("m" main product line, "t" target update available, "s" suite mode), then records
// "tag|name|version|placement|flags|notes" ("n" needs an update, "e" enforced; the notes are the
// rest of the line, bars and all).
#include <cwchar>

#include "base/text.h"
#include "manifest/history.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

std::vector<std::wstring> Fields(const std::wstring& line) {
    std::vector<std::wstring> fields;
    std::size_t start = 0;
    for (std::size_t bar; fields.size() < 5 && (bar = line.find(L'|', start)) != std::wstring::npos;
         start = bar + 1) {
        fields.push_back(line.substr(start, bar - start));
    }
    fields.push_back(line.substr(start));
    fields.resize(6);
    return fields;
}

// The lines of a record's notes as a plain split sees them: bars at either end dropped, then one
// line per bar-separated piece.
std::size_t ReferenceLineCount(const std::wstring& notes) {
    const std::size_t first = notes.find_first_not_of(L'|');
    if (first == std::wstring::npos) {
        return 0;
    }
    const std::size_t last = notes.find_last_not_of(L'|');
    std::size_t lines = 1;
    for (std::size_t i = first; i <= last; ++i) {
        lines += notes[i] == L'|' ? 1 : 0;
    }
    return lines;
}

std::size_t Count(const std::wstring& text, const std::wstring& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::wstring::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Pieces pieces(data, size);
    HistoryPageInputs in;
    in.targetProduct = fuzz::Widen(pieces.Next());
    in.targetDepend = fuzz::Widen(pieces.Next());
    in.announcement = fuzz::Widen(pieces.Next());
    const std::wstring switches = fuzz::Widen(pieces.Next());
    in.mainProductLine = switches.find(L'm') != std::wstring::npos;
    in.targetUpdateAvailable = switches.find(L't') != std::wstring::npos;
    in.suiteMode = switches.find(L's') != std::wstring::npos;
    std::vector<HistoryRecord> records;
    for (std::string line = pieces.Next(); !line.empty() && records.size() < 32;
         line = pieces.Next()) {
        const std::vector<std::wstring> f = Fields(fuzz::Widen(line));
        records.push_back({f[0], f[5], f[1], f[2], f[3] == L"1" ? 1 : 0,
                           f[4].find(L'n') != std::wstring::npos,
                           f[4].find(L'e') != std::wstring::npos});
    }

    const std::wstring text = HistoryPageText(records, in);
    // Without the builder's own tags no markup is left, and every "&" is one of its entities.
    std::wstring plain = text;
    for (const wchar_t* tag : {L"<strong>", L"</strong>", L"<p>", L"</p>", L"<span>●</span>",
                               L"<br />"}) {
        plain = ReplaceAll(plain, tag, L"");
    }
    FUZZ_CHECK(plain.find_first_of(L"<>\"'") == std::wstring::npos);
    for (std::size_t at = plain.find(L'&'); at != std::wstring::npos;
         at = plain.find(L'&', at + 1)) {
        bool entity = false;
        for (const wchar_t* e : {L"&amp;", L"&lt;", L"&gt;", L"&quot;", L"&#39;"}) {
            entity = entity || plain.compare(at, std::wcslen(e), e) == 0;
        }
        FUZZ_CHECK(entity);
    }
    // One bullet per line: the announcement's one, or each shown record's lines.
    std::size_t bullets = 0;
    if (in.mainProductLine || (!in.targetUpdateAvailable && !in.suiteMode)) {
        bullets = 1;
    } else {
        const std::size_t sections = Count(text, L"<strong>");
        std::size_t shown = 0;
        for (const HistoryRecord& r : records) {
            const bool selected =
                r.updateNeeded && !r.enforce &&
                (in.suiteMode || EqualsNoCase(r.tag, in.targetProduct) ||
                 (!r.tag.empty() && Contains(in.targetDepend, r.tag)) ||
                 (EqualsNoCase(in.targetProduct, L"dayloom") && r.placementKind == 1));
            if (selected) {
                ++shown;
                bullets += ReferenceLineCount(r.notes);
            }
        }
        FUZZ_CHECK(sections == shown);
    }
    FUZZ_CHECK(Count(text, L"<br />") == bullets);

    // The page inserted after the content division, written as the page file and read back.
    const std::wstring pageTemplate = fuzz::Widen(pieces.Rest());
    const std::wstring page = InsertPageText(pageTemplate, text);
    FUZZ_CHECK(page.size() == pageTemplate.size() + text.size());
    const std::string file = EncodePageFile(page);
    FUZZ_CHECK(file.size() >= 2 && file.compare(0, 2, "\xFF\xFE") == 0);
    std::wstring back;
    for (std::size_t i = 2; i + 1 < file.size(); i += 2) {
        back.push_back(static_cast<wchar_t>(static_cast<unsigned char>(file[i]) |
                                            (static_cast<unsigned char>(file[i + 1]) << 8)));
    }
    FUZZ_CHECK(back == ReplaceAll(page, L"\n", L"\r\n"));
    const std::vector<std::uint8_t> block = EncodeShowPageBlock(0x12345678u, in.announcement);
    FUZZ_CHECK(block.size() == kShowPageBlockSize);
    const std::wstring path = in.announcement.substr(0, in.announcement.find(L'\0'));
    FUZZ_CHECK(DecodeShowPageBlock(block.data()) == path.substr(0, kShowPagePathChars - 1));
    return 0;
}
