#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lingchao {

// The CSV the program writes and reads (calendar, bell log, drills): fields split at commas; a field in quotes
// may hold commas, line ends and "" for a quote.

// One field, quoted when it holds a comma, a quote, a line end or blanks at either end.
std::string CsvField(std::string_view text);

// The record starting at `pos`, which moves past it. `lines` counts the line ends consumed (a quoted field may
// run over several); `badQuote` tells of text after a closing quote or a quote never closed.
std::vector<std::string> NextCsvRecord(std::string_view text, std::size_t& pos, int& lines, bool& badQuote);

}  // namespace lingchao
