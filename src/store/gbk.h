#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lingchao {

// Text of stored files is GBK (Windows code page 936); the program works in UTF-8.

// Whole text to GBK; a character GBK cannot hold becomes "?".
std::string Utf8ToGbk(std::string_view utf8);

// Whole GBK text to UTF-8; a byte that starts no valid GBK character becomes "?", a NUL a blank.
std::string GbkToUtf8(std::string_view gbk);

// Exactly `width` bytes: the GBK text cut to the width without splitting a double-byte character
// (the cut-off half becomes a blank), then blank-padded.
std::string EncodeFixedGbk(std::string_view utf8, std::size_t width);

// Decodes a fixed field and pads it with blanks to `width` characters, as the record holds it in memory.
std::string DecodeFixedGbk(std::string_view bytes, std::size_t width);

// Length of the text in GBK bytes, as the editors' typing limits count it.
std::size_t GbkByteLength(std::string_view utf8);

}  // namespace lingchao
