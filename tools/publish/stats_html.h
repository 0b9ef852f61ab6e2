// The statistics as one page to look at: a chart of each summary, drawn here as SVG, with its
// numbers in a table below. The page stands alone: no script, no outside style, font or image,
// and a content security policy that forbids loading any.
#pragma once

#include <string>
#include <vector>

#include "tools/publish/report_summaries.h"

struct PageTotals {
    long long malformed = 0;  // malformed lines kept in the store
};

std::string StatsPage(const std::vector<Summary>& summaries, const PageTotals& totals);

// Text for a page: markup characters as entities, control characters as "\xNN".
std::string HtmlText(const std::string& text);
