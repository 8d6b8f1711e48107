#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace eks {

// The Windows-1250 (Central European) code page. The program keeps its texts
// in UTF-8; files meant for the platform's 8-bit tools (the report) and RTF
// text use this code page.

// The Unicode code point of a 1250 byte; 0 for the five bytes it leaves unused.
char32_t Cp1250ToUnicode(std::uint8_t b);

// UTF-8 to 1250 bytes; a character that 1250 cannot hold, and every byte of
// an invalid UTF-8 sequence, becomes "?".
std::string Utf8ToCp1250(std::string_view utf8);

// 1250 bytes to UTF-8; an unused byte becomes "?".
std::string Cp1250ToUtf8(std::string_view bytes);

// Appends a code point to a UTF-8 string.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace eks
