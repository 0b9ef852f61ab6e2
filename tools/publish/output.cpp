#include "tools/publish/output.h"

#include <algorithm>

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

void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], Width(row[i]));
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::string line;
        for (std::size_t i = 0; i < rows[r].size(); ++i) {
            line += rows[r][i];
            if (i + 1 < rows[r].size())
                line += std::string(widths[i] - Width(rows[r][i]) + 2, ' ');
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
