#include "platform/codepage.h"

#include <algorithm>
#include <array>

#include "support/cp1251.h"

namespace platform::codepage {

// Generated with: python3 -c "print([hex(ord(c)) for c in bytes(range(128,256)).decode('cp866')])"
const char16_t kCp866High[128] = {
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,  // 80
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,  // 88
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,  // 90
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,  // 98
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,  // A0
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,  // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,  // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,  // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,  // D8
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,  // E0
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,  // E8
    0x0401, 0x0451, 0x0404, 0x0454, 0x0407, 0x0457, 0x040E, 0x045E,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x2116, 0x00A4, 0x25A0, 0x00A0,  // F8
};

namespace {

// The 1251 byte of a code point; 0 when the code page lacks it.
uint8_t AnsiOf(char32_t cp) {
  if (cp < 0x80) return static_cast<uint8_t>(cp);
  for (int i = 0; i < 128; ++i) {
    if (support::kCp1251High[i] == cp) return static_cast<uint8_t>(0x80 + i);
  }
  return 0;
}

// What the system's best-fit conversion makes of the 866 characters that 1251
// lacks. Recorded from OemToCharBuffA (ANSI 1251, OEM 866) for every such byte.
struct BestFit {
  uint8_t oem;
  uint8_t ansi;
};
constexpr BestFit kBestFit[] = {
    {0xB0, 0x2D}, {0xB1, 0x2D}, {0xB2, 0x2D}, {0xB3, 0xA6}, {0xB4, 0x2B}, {0xB5, 0xA6},
    {0xB6, 0xA6}, {0xB7, 0xAC}, {0xB8, 0xAC}, {0xB9, 0xA6}, {0xBA, 0xA6}, {0xBB, 0xAC},
    {0xBC, 0x2D}, {0xBD, 0x2D}, {0xBE, 0x2D}, {0xBF, 0xAC}, {0xC0, 0x4C}, {0xC1, 0x2B},
    {0xC2, 0x54}, {0xC3, 0x2B}, {0xC4, 0x2D}, {0xC5, 0x2B}, {0xC6, 0xA6}, {0xC7, 0xA6},
    {0xC8, 0x4C}, {0xC9, 0xE3}, {0xCA, 0xA6}, {0xCB, 0x54}, {0xCC, 0xA6}, {0xCD, 0x3D},
    {0xCE, 0x2B}, {0xCF, 0xA6}, {0xD0, 0xA6}, {0xD1, 0x54}, {0xD2, 0x54}, {0xD3, 0x4C},
    {0xD4, 0x4C}, {0xD5, 0x2D}, {0xD6, 0xE3}, {0xD7, 0x2B}, {0xD8, 0x2B}, {0xD9, 0x2D},
    {0xDA, 0x2D}, {0xDB, 0x2D}, {0xDC, 0x2D}, {0xDD, 0xA6}, {0xDE, 0xA6}, {0xDF, 0x2D},
    {0xF9, 0x95}, {0xFB, 0x76}, {0xFE, 0xA6},
};

// Simple Unicode case mapping of the letters that 1251 holds.
char32_t UpperOf(char32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 0x20;
  if (cp >= 0x0430 && cp <= 0x044F) return cp - 0x20;
  if (cp >= 0x0450 && cp <= 0x045F) return cp - 0x50;
  if (cp == 0x0491) return 0x0490;
  return cp;
}
char32_t LowerOf(char32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 0x20;
  if (cp >= 0x0410 && cp <= 0x042F) return cp + 0x20;
  if (cp >= 0x0400 && cp <= 0x040F) return cp + 0x50;
  if (cp == 0x0490) return 0x0491;
  return cp;
}

char32_t CodePointOf(uint8_t ansi) {
  return ansi < 0x80 ? ansi : support::kCp1251High[ansi - 0x80];
}

struct Tables {
  std::array<uint8_t, 256> oem{}, upper{}, lower{};
  Tables() {
    for (int b = 0; b < 256; ++b) {
      const auto byte = static_cast<uint8_t>(b);
      oem[b] = b < 0x80 ? byte : AnsiOf(kCp866High[b - 0x80]);
      const uint8_t up = AnsiOf(UpperOf(CodePointOf(byte)));
      const uint8_t low = AnsiOf(LowerOf(CodePointOf(byte)));
      upper[b] = up != 0 ? up : byte;
      lower[b] = low != 0 ? low : byte;
    }
    for (const auto& fit : kBestFit) oem[fit.oem] = fit.ansi;
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

// Collation weights of one 1251 byte: primary (which letter or sign),
// secondary (accent: "Ё" against "Е") and tertiary (1 for upper case).
struct Weight {
  int primary;
  int secondary;
  int tertiary;
};

// Cyrillic letters outside the Russian alphabet follow the Russian letter
// they resemble.
struct ExtraLetter {
  char16_t upper;
  char16_t after;  // the basic letter it follows
  int rank;
};
constexpr ExtraLetter kExtraLetters[] = {
    {0x0403, 0x0413, 1},  // Ѓ after Г
    {0x0490, 0x0413, 2},  // Ґ
    {0x0402, 0x0414, 1},  // Ђ after Д
    {0x0404, 0x0415, 1},  // Є after Е
    {0x0405, 0x0417, 1},  // Ѕ after З
    {0x0406, 0x0418, 1},  // І after И
    {0x0407, 0x0418, 2},  // Ї
    {0x0408, 0x0419, 1},  // Ј after Й
    {0x040C, 0x041A, 1},  // Ќ after К
    {0x0409, 0x041B, 1},  // Љ after Л
    {0x040A, 0x041D, 1},  // Њ after Н
    {0x040B, 0x0422, 1},  // Ћ after Т
    {0x040E, 0x0423, 1},  // Ў after У
    {0x040F, 0x0427, 1},  // Џ after Ч
};

// Signs, spaces and controls in the order CompareStringA gives them under the
// Russian locale, recorded by sorting every one-byte string with
// CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE) (ANSI code page 1251).
// The first group sorts before everything and counts only when the strings
// are otherwise equal (hyphens, apostrophes, dashes, soft hyphen, controls);
// the second group are the signs, which sort before the digits.
constexpr uint8_t kIgnorableOrder[] = {
    0xAD, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14,
    0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x7F, 0x27, 0x2D, 0x96, 0x97,
};
constexpr uint8_t kSignOrder[] = {
    0x20, 0xA0, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26,
    0x28, 0x29, 0x2A, 0x2C, 0x2E, 0x2F, 0x3A, 0x3B, 0x3F, 0x40, 0x5B, 0x5C, 0x5D,
    0x5E, 0x5F, 0x60, 0x7B, 0x7C, 0x7D, 0x7E, 0xA6, 0x91, 0x92, 0x82, 0x93, 0x94,
    0x84, 0x8B, 0x9B, 0xA4, 0x88, 0x2B, 0x3C, 0x3D, 0x3E, 0xB1, 0xAB, 0xBB, 0xA7,
    0xA9, 0xAC, 0xAE, 0xB0, 0xB5, 0xB6, 0xB7, 0x85, 0x86, 0x87, 0x95, 0x89, 0x98,
};

int RankIn(const uint8_t* order, size_t count, uint8_t byte) {
  for (size_t i = 0; i < count; ++i) {
    if (order[i] == byte) return static_cast<int>(i);
  }
  return -1;
}

// Hyphens, apostrophes and the like weigh only when the strings are otherwise equal.
bool IsIgnorable(uint8_t byte) {
  return RankIn(kIgnorableOrder, sizeof kIgnorableOrder, byte) >= 0;
}

Weight WeightOf(uint8_t byte) {
  const char32_t cp = CodePointOf(byte);
  const char32_t up = UpperOf(cp);
  const int tertiary = (up == cp && LowerOf(cp) != cp) ? 1 : 0;
  if (up >= 'A' && up <= 'Z') return {3000 + static_cast<int>(up - 'A') * 4, 0, tertiary};
  if (up >= 0x0410 && up <= 0x042F) return {4000 + static_cast<int>(up - 0x0410) * 4, 0, tertiary};
  if (up == 0x0401) return {4000 + 5 * 4, 1, tertiary};  // Ё: Е with an accent
  for (const auto& extra : kExtraLetters) {
    if (extra.upper == up) {
      return {4000 + static_cast<int>(extra.after - 0x0410) * 4 + extra.rank, 0, tertiary};
    }
  }
  if (cp == 0x2116) return {3000 + ('N' - 'A') * 4 + 1, 0, 0};  // №, as "No"
  if (cp == 0x2122) return {3000 + ('T' - 'A') * 4 + 1, 0, 0};  // ™, as "TM"
  if (cp >= '0' && cp <= '9') return {2000 + static_cast<int>(cp - '0'), 0, 0};
  const int sign = RankIn(kSignOrder, sizeof kSignOrder, byte);
  if (sign >= 0) return {1000 + sign, 0, 0};
  return {1500 + byte, 0, 0};  // anything else: after the signs, by byte
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

}  // namespace

uint8_t OemToAnsiByte(uint8_t oem) { return tables().oem[oem]; }
uint8_t UpperByte(uint8_t ansi) { return tables().upper[ansi]; }
uint8_t LowerByte(uint8_t ansi) { return tables().lower[ansi]; }

std::string OemToAnsi(const std::string& oem) {
  std::string out(oem);
  for (char& c : out) c = static_cast<char>(OemToAnsiByte(static_cast<uint8_t>(c)));
  return out;
}

std::string UpperCase(const std::string& ansi) {
  std::string out(ansi);
  for (char& c : out) c = static_cast<char>(UpperByte(static_cast<uint8_t>(c)));
  return out;
}

std::string LowerCase(const std::string& ansi) {
  std::string out(ansi);
  for (char& c : out) c = static_cast<char>(LowerByte(static_cast<uint8_t>(c)));
  return out;
}

int Compare(const std::string& rawA, const std::string& rawB, bool ignoreCase) {
  // The soft hyphen does not count at all.
  std::string a, b;
  for (char c : rawA) {
    if (static_cast<uint8_t>(c) != 0xAD) a += c;
  }
  for (char c : rawB) {
    if (static_cast<uint8_t>(c) != 0xAD) b += c;
  }
  // Levels in turn over the strings without hyphens and apostrophes: the
  // letters and signs (a prefix first), their accents, their case.
  std::string x, y;
  for (char c : a) {
    if (!IsIgnorable(static_cast<uint8_t>(c))) x += c;
  }
  for (char c : b) {
    if (!IsIgnorable(static_cast<uint8_t>(c))) y += c;
  }
  const size_t common = std::min(x.size(), y.size());
  for (size_t i = 0; i < common; ++i) {
    const int d =
        WeightOf(static_cast<uint8_t>(x[i])).primary - WeightOf(static_cast<uint8_t>(y[i])).primary;
    if (d != 0) return Sign(d);
  }
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  for (size_t i = 0; i < x.size(); ++i) {
    const int d = WeightOf(static_cast<uint8_t>(x[i])).secondary -
                  WeightOf(static_cast<uint8_t>(y[i])).secondary;
    if (d != 0) return Sign(d);
  }
  if (!ignoreCase) {
    for (size_t i = 0; i < x.size(); ++i) {
      const int d = WeightOf(static_cast<uint8_t>(x[i])).tertiary -
                    WeightOf(static_cast<uint8_t>(y[i])).tertiary;
      if (d != 0) return Sign(d);
    }
  }
  // Last, the hyphens and apostrophes: at the first difference, the string
  // that has one there comes after the string that has not.
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    const bool ia = IsIgnorable(static_cast<uint8_t>(a[i])),
               ib = IsIgnorable(static_cast<uint8_t>(b[j]));
    if (ia != ib) return ia ? 1 : -1;
    if (ia && a[i] != b[j]) {
      const int ra = RankIn(kIgnorableOrder, sizeof kIgnorableOrder, static_cast<uint8_t>(a[i]));
      const int rb = RankIn(kIgnorableOrder, sizeof kIgnorableOrder, static_cast<uint8_t>(b[j]));
      return ra < rb ? -1 : 1;
    }
    ++i, ++j;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

}  // namespace platform::codepage
