#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lingchao {

// Whether the bytes are well-formed UTF-8 (else they are taken for GBK or refused).
bool IsValidUtf8(std::string_view text);

// Number of characters (code points) of UTF-8 text.
std::size_t Utf8Length(std::string_view utf8);

// UTF-8 text padded with blanks on the right to `width` characters (never cut).
std::string PadRight(std::string_view utf8, std::size_t width);

// Leading and trailing blanks removed (blanks only, as the stored fixed-width fields are padded).
std::string_view Trim(std::string_view text);
std::string_view TrimRight(std::string_view text);

// UTF-8 text of at most `maxChars` characters: a longer one keeps its first maxChars - 1 and ends in "…".
std::string ClipUtf8(std::string_view utf8, std::size_t maxChars);

// How many lines of problems a label or a tooltip shows: hundreds of lines only make the window slow to open.
inline constexpr std::size_t kShownProblemLines = 20;
// For a label or a tooltip: the first `maxLines` lines, each clipped to `maxLineChars` characters, then
// "……另有 N 条" counting the non-blank lines left out. Text of up to maxLines + 1 lines keeps all of them, so
// capping again changes nothing.
std::string CapLines(std::string_view text, std::size_t maxLines, std::size_t maxLineChars = 200);

}  // namespace lingchao
