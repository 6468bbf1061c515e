// Conversions between UTF-8 and Windows-1251, the program's ANSI code page.
// Russian literals stay readable in the source as UTF-8 and are converted once
// with Cp1251(); files and displays that need UTF-8 use Utf8FromCp1251().
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace support {

// Unicode code points of the bytes 0x80 to 0xFF of Windows-1251.
extern const char16_t kCp1251High[128];

// UTF-8 to code points. A byte that does not start a well-formed sequence
// (a stray continuation byte, an overlong form, a surrogate, a value beyond
// U+10FFFF, a sequence cut short) becomes U+FFFD on its own.
std::u32string DecodeUtf8(std::string_view utf8);

// UTF-8 to Windows-1251. A character that the code page lacks, and every
// malformed byte, becomes `missing`.
std::string Cp1251(std::string_view utf8, char missing = '?');

// Windows-1251 to UTF-8.
std::string Utf8FromCp1251(std::string_view ansi);

}  // namespace support
