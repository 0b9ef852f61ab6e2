#include "tools/publish/stats_html.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tools/publish/output.h"

namespace {

constexpr int kWidth = 920;
constexpr std::size_t kMostBars = 30;        // bars drawn; the table holds every row
constexpr std::size_t kMostTableRows = 500;  // the rest: `stats DB --json`
constexpr std::size_t kLabelColumns = 50;    // fits the label area in a 12 px sans-serif
const char* const kColours[] = {"#3b6cb4", "#e3892f", "#5a9e45", "#9b59b6"};

const char kStyle[] =
    "body{font-family:system-ui,'DejaVu Sans',sans-serif;margin:24px auto;max-width:960px;"
    "color:#1d2733;background:#fff}"
    "h1{font-size:22px;margin:0 0 4px}h2{font-size:16px;margin:28px 0 6px}"
    "p.totals{color:#445;margin:0 0 8px}"
    "svg.chart{display:block;font-size:12px}svg text{fill:#1d2733}"
    "svg .axis{stroke:#c9ced6}svg .note{fill:#667}"
    "details{margin:4px 0 0}summary{cursor:pointer;color:#445}"
    "table{border-collapse:collapse;margin-top:6px;font-size:13px}"
    "td,th{border-bottom:1px solid #e3e6ea;padding:3px 10px 3px 0;text-align:left}"
    "td.n,th.n{text-align:right}";

std::string Num(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// UTF-8 text cut to `most` columns (a wide East Asian character counts as two), with an ellipsis
// when it was longer.
std::string Shorten(const std::string& text, std::size_t most) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) == 0x80)
            continue;
        columns += c >= 0xE3 && c <= 0xED ? 2 : 1;
        if (columns > most)
            return text.substr(0, i) + "\u2026";
    }
    return text;
}

// One group of a summary: its label and its counts.
struct Group {
    std::string label;
    std::vector<long long> counts;
    long long total = 0;
};

struct Chart {
    const Summary& summary;
    std::vector<std::string> series;
    std::vector<Group> groups;
    long long largest = 0;
};

Chart ChartOf(const Summary& summary) {
    Chart chart{summary, {}, {}, 0};
    const std::size_t labels = summary.definition->groups.size();
    chart.series.assign(summary.rows[0].begin() + static_cast<long>(labels), summary.rows[0].end());
    for (std::size_t r = 1; r < summary.rows.size(); ++r) {
        const auto& row = summary.rows[r];
        Group group;
        for (std::size_t i = 0; i < labels; ++i)
            group.label += (i ? " \u00b7 " : "") + (row[i].empty() ? "(empty)" : row[i]);
        for (std::size_t i = labels; i < row.size(); ++i) {
            group.counts.push_back(std::atoll(row[i].c_str()));
            group.total += group.counts.back();
        }
        chart.largest = std::max(chart.largest, group.total);
        chart.groups.push_back(std::move(group));
    }
    return chart;
}

std::string Rect(double x, double y, double w, double h, std::size_t series, const Chart& chart,
                 const Group& group) {
    return "<rect class=\"bar\" data-series=\"" + HtmlText(chart.series[series]) +
           "\" data-value=\"" + std::to_string(group.counts[series]) + "\" x=\"" + Num(x) +
           "\" y=\"" + Num(y) + "\" width=\"" + Num(w) + "\" height=\"" + Num(h) + "\" fill=\"" +
           kColours[series % std::size(kColours)] + "\"><title>" + HtmlText(group.label) + ": " +
           HtmlText(chart.series[series]) + " " + std::to_string(group.counts[series]) +
           "</title></rect>";
}

std::string Legend(const Chart& chart, double y) {
    std::string svg;
    double x = 0;
    for (std::size_t s = 0; s < chart.series.size() && chart.series.size() > 1; ++s) {
        svg += "<rect x=\"" + Num(x) + "\" y=\"" + Num(y - 10) + "\" width=\"12\" height=\"12\"" +
               " fill=\"" + kColours[s % std::size(kColours)] + "\"/><text x=\"" + Num(x + 17) +
               "\" y=\"" + Num(y) + "\">" + HtmlText(chart.series[s]) + "</text>";
        x += 40 + 8.0 * static_cast<double>(chart.series[s].size());
    }
    return svg;
}

std::string Svg(const Chart& chart, double height, const std::string& body) {
    return "<svg class=\"chart\" data-summary=\"" + std::string(chart.summary.definition->id) +
           "\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(kWidth) +
           "\" height=\"" + Num(height) + "\" viewBox=\"0 0 " + std::to_string(kWidth) + " " +
           Num(height) + "\" role=\"img\" aria-label=\"" +
           HtmlText(chart.summary.definition->title) + "\">" + body + "</svg>";
}

// Horizontal bars, one per group, the counts stacked, their values written after the bar.
std::string BarChart(const Chart& chart) {
    constexpr double kLabels = 400, kValues = 90, kRow = 22, kBar = 16, kTop = 26;
    const double scale = chart.largest > 0 ? (kWidth - kLabels - kValues) / chart.largest : 0;
    const std::size_t shown = std::min(chart.groups.size(), kMostBars);
    std::string body = Legend(chart, 14);
    for (std::size_t g = 0; g < shown; ++g) {
        const Group& group = chart.groups[g];
        const double y = kTop + kRow * static_cast<double>(g);
        body += "<g class=\"row\" data-label=\"" + HtmlText(group.label) + "\"><text x=\"" +
                Num(kLabels - 8) + "\" y=\"" + Num(y + 12) + "\" text-anchor=\"end\">" +
                HtmlText(Shorten(TerminalSafe(group.label), kLabelColumns)) + "<title>" +
                HtmlText(group.label) + "</title></text>";
        double x = kLabels;
        std::string values;
        for (std::size_t s = 0; s < group.counts.size(); ++s) {
            const double w = scale * static_cast<double>(group.counts[s]);
            body += Rect(x, y, w, kBar, s, chart, group);
            x += w;
            values += (s ? " + " : "") + std::to_string(group.counts[s]);
        }
        body += "<text class=\"values\" x=\"" + Num(x + 6) + "\" y=\"" + Num(y + 12) + "\">" +
                values + "</text></g>";
    }
    double height = kTop + kRow * static_cast<double>(shown) + 6;
    if (chart.groups.empty()) {
        body += "<text class=\"note\" x=\"0\" y=\"" + Num(kTop + 12) + "\">no reports</text>";
        height += kRow;
    } else if (shown < chart.groups.size()) {
        body += "<text class=\"note\" x=\"0\" y=\"" + Num(height + 8) + "\">the " +
                std::to_string(shown) + " largest of " + std::to_string(chart.groups.size()) +
                " rows: every row is in the table</text>";
        height += kRow;
    }
    return Svg(chart, height, body);
}

// Columns along the days, the counts stacked, with a scale on the left.
std::string ColumnChart(const Chart& chart) {
    constexpr double kLeft = 50, kTop = 30, kPlot = 220, kDayLabel = 84;
    const double pitch = (kWidth - kLeft) / std::max<double>(1.0, chart.groups.size());
    const double columnWidth = std::min(40.0, pitch * 0.8);
    const double scale = chart.largest > 0 ? kPlot / chart.largest : 0;
    const std::size_t labelEvery = static_cast<std::size_t>(kDayLabel / pitch) + 1;
    const double base = kTop + kPlot;
    std::string body = Legend(chart, 14);
    for (const long long tick : {0LL, chart.largest / 2, chart.largest}) {
        const double y = base - scale * static_cast<double>(tick);
        body += "<line class=\"axis\" x1=\"" + Num(kLeft) + "\" x2=\"" + std::to_string(kWidth) +
                "\" y1=\"" + Num(y) + "\" y2=\"" + Num(y) + "\"/><text x=\"" + Num(kLeft - 6) +
                "\" y=\"" + Num(y + 4) + "\" text-anchor=\"end\">" + std::to_string(tick) +
                "</text>";
    }
    for (std::size_t g = 0; g < chart.groups.size(); ++g) {
        const Group& group = chart.groups[g];
        const double x = kLeft + pitch * static_cast<double>(g) + (pitch - columnWidth) / 2;
        body += "<g class=\"row\" data-label=\"" + HtmlText(group.label) + "\">";
        double top = base;
        for (std::size_t s = 0; s < group.counts.size(); ++s) {
            const double h = scale * static_cast<double>(group.counts[s]);
            top -= h;
            body += Rect(x, top, columnWidth, h, s, chart, group);
        }
        if (g % labelEvery == 0) {
            body += "<text x=\"" + Num(x + columnWidth / 2) + "\" y=\"" + Num(base + 16) +
                    "\" text-anchor=\"middle\">" +
                    HtmlText(Shorten(TerminalSafe(group.label), 12)) + "</text>";
        }
        body += "</g>";
    }
    if (chart.groups.empty())
        body += "<text class=\"note\" x=\"" + Num(kLeft) + "\" y=\"" + Num(kTop + 20) +
                "\">no reports</text>";
    return Svg(chart, base + 26, body);
}

std::string TableOf(const Summary& summary) {
    const std::size_t labels = summary.definition->groups.size();
    std::string html = "<details><summary>the numbers</summary><table><tr>";
    for (std::size_t i = 0; i < summary.rows[0].size(); ++i)
        html += std::string(i < labels ? "<th>" : "<th class=\"n\">") +
                HtmlText(summary.rows[0][i]) + "</th>";
    html += "</tr>";
    const std::size_t last = std::min(summary.rows.size(), kMostTableRows + 1);
    for (std::size_t r = 1; r < last; ++r) {
        html += "<tr>";
        for (std::size_t i = 0; i < summary.rows[r].size(); ++i)
            html += std::string(i < labels ? "<td>" : "<td class=\"n\">") +
                    HtmlText(summary.rows[r][i]) + "</td>";
        html += "</tr>";
    }
    html += "</table>";
    if (last < summary.rows.size())
        html += "<p>" + std::to_string(summary.rows.size() - last) +
                " more rows: tallix-publish stats DATABASE --json</p>";
    return html + "</details>";
}

std::string Totals(const std::vector<Summary>& summaries, const PageTotals& totals) {
    std::string text;
    for (const Summary& summary : summaries) {
        if (!summary.definition->overTime)
            continue;
        const Chart chart = ChartOf(summary);
        std::vector<long long> sums(chart.series.size());
        long long all = 0;
        for (const Group& group : chart.groups) {
            for (std::size_t s = 0; s < sums.size(); ++s)
                sums[s] += group.counts[s];
            all += group.total;
        }
        text = std::to_string(all) + " reports (";
        for (std::size_t s = 0; s < sums.size(); ++s)
            text += (s ? ", " : "") + chart.series[s] + " " + std::to_string(sums[s]);
        text += ")";
        if (!chart.groups.empty())
            text += " from " + chart.groups.front().label + " to " + chart.groups.back().label;
        break;
    }
    return text + "; " + std::to_string(totals.malformed) +
           " malformed lines kept in the table \"malformed\".";
}

}  // namespace

std::string HtmlText(const std::string& text) {
    std::string out;
    for (const char c : TerminalSafe(text)) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string StatsPage(const std::vector<Summary>& summaries, const PageTotals& totals) {
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
        "style-src 'unsafe-inline'\">"
        "<title>tallix usage reports</title><style>" +
        std::string(kStyle) +
        "</style></head>\n<body><h1>tallix usage reports</h1><p class=\"totals\">" +
        HtmlText(Totals(summaries, totals)) + "</p>\n";
    for (const Summary& summary : summaries) {
        const Chart chart = ChartOf(summary);
        html += "<section id=\"" + std::string(summary.definition->id) + "\"><h2>" +
                HtmlText(summary.definition->title) + "</h2>" +
                (summary.definition->overTime ? ColumnChart(chart) : BarChart(chart)) +
                TableOf(summary) + "</section>\n";
    }
    return html + "</body></html>\n";
}
