#include "tools/publish/output.h"

#include <algorithm>

#include "base/text.h"
#include "report/report_decoder.h"

namespace {

// Characters of UTF-8 text, wide East Asian ones counting twice as a terminal shows them.
std::size_t Width(const std::string& text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80)
            continue;
        width += c >= 0xE3 && c <= 0xED ? 2 : 1;
    }
    return width;
}

}  // namespace

std::string TerminalSafe(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
            const unsigned char code = static_cast<unsigned char>(text[i + 1]);
            out += "\\u00";
            out += kHex[code >> 4];
            out += kHex[code & 0xF];
        } else if (length == 0 || c < 0x20 || c == 0x7F) {
            const char* shortForm = c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : "";
            if (*shortForm != '\0') {
                out += shortForm;
            } else {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 0xF];
            }
            i += 1;
            continue;
        } else {
            out.append(text, i, length);
        }
        i += length;
    }
    return out;
}

void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::vector<std::string>> safe;
    safe.reserve(rows.size());
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        safe.emplace_back();
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i) {
            safe.back().push_back(TerminalSafe(row[i]));
            widths[i] = std::max(widths[i], Width(safe.back().back()));
        }
    }
    for (std::size_t r = 0; r < safe.size(); ++r) {
        std::string line;
        for (std::size_t i = 0; i < safe[r].size(); ++i) {
            line += safe[r][i];
            if (i + 1 < safe[r].size())
                line += std::string(widths[i] - Width(safe[r][i]) + 2, ' ');
        }
        out << line << "\n";
        if (r == 0) {
            std::size_t total = 0;
            for (const std::size_t w : widths)
                total += w + 2;
            out << std::string(total > 2 ? total - 2 : 0, '-') << "\n";
        }
    }
}

std::string Json(const std::string& text) {
    return JsonQuote(text);
}
