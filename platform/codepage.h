// Code-page tables of the Russian Windows set-up, built from Unicode: the OEM
// code page 866 and the ANSI code page 1251. The posix platform converts and
// compares with them; the win32 platform asks the system instead.
#pragma once

#include <cstdint>
#include <string>

namespace platform::codepage {

// Unicode code points of the bytes 0x80 to 0xFF of code page 866.
extern const char16_t kCp866High[128];

// One OEM (866) byte as an ANSI (1251) byte, through its Unicode character.
// Characters that 1251 lacks (box drawing, shades and blocks, "∙", "√", "■")
// become what OemToCharA gives for them on a Russian system, a best-fit
// character such as "+", "-", "¦" or "¬" (see kBestFit in codepage.cpp).
uint8_t OemToAnsiByte(uint8_t oem);

// Upper and lower case of one 1251 byte by the Unicode case of its character.
uint8_t UpperByte(uint8_t ansi);
uint8_t LowerByte(uint8_t ansi);

// Converts a whole string (embedded NULs included).
std::string OemToAnsi(const std::string& oem);
std::string UpperCase(const std::string& ansi);
std::string LowerCase(const std::string& ansi);

// A locale-aware comparison of 1251 strings in the manner of CompareStringA
// for the Russian locale: letters alphabetically (Latin before Cyrillic, "Ё"
// beside "Е"), digits before letters, signs before digits in the system's
// order; then accents; then case (lower before upper) unless ignoreCase;
// hyphens, apostrophes and controls count only when all else is equal, the
// soft hyphen never. Checked against the system's CompareStringA by the Win32
// tests (and in 400,000 random pairs, without a difference). Returns -1, 0 or 1.
int Compare(const std::string& a, const std::string& b, bool ignoreCase);

}  // namespace platform::codepage
