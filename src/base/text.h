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

}  // namespace lingchao
