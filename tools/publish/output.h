// Readable tables and JSON for the publisher's commands.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Prints rows as columns padded to their widest cell (widths counted in characters of UTF-8
// text), the first row as the heading with a rule under it.
void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows);

// A JSON string literal of UTF-8 text.
std::string Json(const std::string& text);
