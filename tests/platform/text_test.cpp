#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/platform.h"
#include "support/cp1251.h"

namespace {

using platform::text;
using support::Cp1251;

TEST(Text, OemCyrillicBecomesAnsi) {
  // "Привет, Ёж ё!" in code page 866, with an embedded NUL kept in place.
  const std::string oem("\x8F\xE0\xA8\xA2\xA5\xE2, \xF0\xA6 \xF1!\0z", 15);
  const std::string expected = Cp1251("Привет, Ёж ё!") + std::string("\0z", 2);
  EXPECT_EQ(text().OemToAnsi(oem), expected);
  EXPECT_EQ(text().OemToAnsi("plain ASCII 123"), "plain ASCII 123");
  EXPECT_EQ(text().OemToAnsi("\xFC"), Cp1251("№"));
}

TEST(Text, Utf8BecomesAnsiWithUnderscoresForWhatItCannotHold) {
  struct Case {
    std::string utf8;
    std::string ansi;
  };
  const Case cases[] = {
      {"Урок 1.txt", Cp1251("Урок 1.txt")},
      {"Ёж №5 «a»", Cp1251("Ёж №5 «a»")},
      {"日本.txt", "__.txt"},
      {"café", "caf_"},             // no best fit to "e"
      {"..／..／x", ".._.._x"},     // no best fit to "/"
      {"\xF0\x9F\x98\x80!", "_!"},  // beyond 16 bits: one character
      {"a\xFF"
       "b\xC0\x80"
       "c\xD0",
       "a_b__c_"},  // malformed bytes, each on its own
  };
  for (const Case& c : cases) EXPECT_EQ(text().Utf8ToAnsi(c.utf8), c.ansi) << c.utf8;
}

TEST(Text, UpperAndLowerCaseFollowTheCodePage) {
  const std::string lower = Cp1251("абвгдеёжзийклмнопрстуфхцчшщъыьэюя abc ў є ї і");
  const std::string upper = Cp1251("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ ABC Ў Є Ї І");
  EXPECT_EQ(text().UpperCase(lower), upper);
  EXPECT_EQ(text().LowerCase(upper), lower);
  EXPECT_EQ(text().UpperCase(Cp1251("ё")), Cp1251("Ё"));
  EXPECT_EQ(text().UpperCase(Cp1251("№ 12 «x»")), Cp1251("№ 12 «X»"));
  EXPECT_EQ(text().UpperCase(std::string("a\0b", 3)), std::string("A\0B", 3));
}

struct CompareCase {
  const char* a;  // UTF-8
  const char* b;
  bool ignoreCase;
  int sign;
};

TEST(Text, CompareIsLocaleAware) {
  const CompareCase cases[] = {
      {"apple", "APPLE", true, 0}, {"ёлка", "ЁЛКА", true, 0},   {"Учебник", "учебник", true, 0},
      {"a", "B", true, -1},    // byte order would put "B" first
      {"Ёж", "Дом", true, 1},  // Ё sorts beside Е, not before А
      {"еж", "ёж", true, -1},  // then accents
      {"ёж", "ель", true, -1},     {"zeta", "альфа", true, -1}, {"abc", "abcd", true, -1},
      {"9", "a", true, -1},        {"a", "A", false, -1},  // lower case first
      {"", "", false, 0},
  };
  for (const auto& c : cases) {
    const int r = text().Compare(Cp1251(c.a), Cp1251(c.b), c.ignoreCase);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " / " << c.b;
    const int back = text().Compare(Cp1251(c.b), Cp1251(c.a), c.ignoreCase);
    EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.b << " / " << c.a;
  }
}

#ifdef _WIN32
// The tables that the posix platform uses agree with the system's conversions.
TEST(Text, BuiltTablesAgreeWithTheSystem) {
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    EXPECT_EQ(static_cast<uint8_t>(text().OemToAnsi(one)[0]),
              platform::codepage::OemToAnsiByte(static_cast<uint8_t>(b)))
        << "OEM byte " << b;
    EXPECT_EQ(static_cast<uint8_t>(text().UpperCase(one)[0]),
              platform::codepage::UpperByte(static_cast<uint8_t>(b)))
        << "byte " << b;
    EXPECT_EQ(static_cast<uint8_t>(text().LowerCase(one)[0]),
              platform::codepage::LowerByte(static_cast<uint8_t>(b)))
        << "byte " << b;
  }
}

// The posix approximation of CompareStringA orders words as the system does.
TEST(Text, BuiltComparisonAgreesWithTheSystem) {
  const char* words[] = {"apple",    "Apple",     "APPLE",      "b",         "B",       "zeta",
                         "Zeta",     "10",        "9",          "1a",        "a1",      "_x",
                         "x_",       "a b",       "ab",         "a.b",       "файл",    "Файл",
                         "ФАЙЛ",     "ёж",        "Ёж",         "еж",        "Еж",      "ель",
                         "жук",      "дом",       "яма",        "Я",         "а",       "file.txt",
                         "file.TXT", "file1.txt", "file10.txt", "file2.txt", "учебник", "Учебники",
                         "co-op",    "coop",      "it's",       "its",       "a-b",     "a_b",
                         "Ґ",        "г",         "д",          "і",         "и",       "й",
                         "+x",       "{x",        "=x",         "~x",        "№ 5",     "No 5",
                         "«a»",      "a\u00ADb" /* soft hyphen */};
  for (const char* x : words) {
    for (const char* y : words) {
      for (bool ignoreCase : {true, false}) {
        const std::string a = Cp1251(x), b = Cp1251(y);
        const int system = text().Compare(a, b, ignoreCase);
        const int built = platform::codepage::Compare(a, b, ignoreCase);
        EXPECT_EQ((system > 0) - (system < 0), built)
            << x << " / " << y << " ignoreCase " << ignoreCase;
      }
    }
  }
}
#endif

}  // namespace
