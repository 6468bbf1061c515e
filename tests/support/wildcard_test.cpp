// Wildcard matching: result codes of the documented examples and edge cases,
// sets, qualified stars, folders, and patterns built to be expensive.
#include "support/wildcard.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace {

using support::IsMatch;
using support::Match;

struct MatchCase {
  const char* pattern;
  const char* text;
  int code;
};

void PrintTo(const MatchCase& c, std::ostream* os) {
  *os << '"' << c.pattern << "\" vs \"" << c.text << '"';
}

class MatchCodes : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatchCodes, GivesTheCode) {
  const MatchCase& c = GetParam();
  EXPECT_EQ(Match(c.pattern, c.text), c.code);
  EXPECT_EQ(IsMatch(c.pattern, c.text), c.code == 1);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, MatchCodes,
    ::testing::Values(MatchCase{"*", "", 1}, MatchCase{"*", "anything.at\\all", 1},
                      MatchCase{"*.txt", "NOTES.TXT", 1}, MatchCase{"*.TXT", "notes.txt", 1},
                      MatchCase{"a?c", "axc", 1}, MatchCase{"a?c", "ac", 3},
                      MatchCase{"<1-3>x", "2x", 1}, MatchCase{"<^1-3>x", "2x", 4},
                      MatchCase{"<!1-3>x", "5x", 1}, MatchCase{"<3-1>x", "2x", 4},
                      MatchCase{"a<", "a1", 6}, MatchCase{"a*", "a", 1}, MatchCase{"a**", "a", 3}));

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, MatchCodes,
    ::testing::Values(
        MatchCase{"", "", 1}, MatchCase{"", "x", 2}, MatchCase{"?", "", 3},
        MatchCase{"abc", "abcd", 2}, MatchCase{"abd", "abc", 5}, MatchCase{"abc", "ab", 3},
        MatchCase{"<>", "a", 6}, MatchCase{"<!>", "a", 6}, MatchCase{"<abc", "a", 6},
        MatchCase{"<a->", "a", 6}, MatchCase{"<a-", "a", 6}, MatchCase{"<a-c", "b", 6},
        MatchCase{"<-a>", "-", 1}, MatchCase{"<!-a>", "-", 4}, MatchCase{"<a-cx-z>", "y", 1},
        MatchCase{"<a-cx-z>", "m", 4}, MatchCase{"<A-C>", "b", 1}, MatchCase{"[ab]", "[ab]", 1},
        MatchCase{"[ab]", "a", 5}, MatchCase{"docs\\*", "DOCS\\guide\\intro.txt", 1},
        MatchCase{"docs\\*", "docsx\\a", 5}, MatchCase{"*\\readme.txt", "a\\b\\README.TXT", 1},
        MatchCase{"*<a-c>", "abcab", 1}, MatchCase{"*<a-c>", "abxab", 3},
        MatchCase{"*<!a-c>.txt", "xyz.txt", 1}, MatchCase{"*<!a-c>.txt", "xaz.txt", 3},
        MatchCase{"*<>x", "zzx", 1}, MatchCase{"*<", "abc", 6}, MatchCase{"*<a-", "abc", 6},
        MatchCase{"x*<a>", "x", 3}, MatchCase{"**", "abc", 1}, MatchCase{"**", "", 3},
        MatchCase{"*a*b", "xxaxxb", 1}, MatchCase{"*a*b", "xxbxxa", 3},
        MatchCase{"*<a-z>.<0-9>", "abc.5", 1}));

// A star's set constrains every character the star skips, also after an
// attempt to match the rest has failed.
INSTANTIATE_TEST_SUITE_P(
    QualifiedStar, MatchCodes,
    ::testing::Values(MatchCase{"*<1-3>x", "12zx", 3}, MatchCase{"*<1-3>x", "1xzx", 3},
                      MatchCase{"*<1-3>x", "123x", 1}, MatchCase{"*<1-3>x", "x", 1},
                      MatchCase{"*<a-z>xy", "ay", 3},
                      // "?" and "*" come after the star's run
                      MatchCase{"*<a-c>?x", "zax", 3}, MatchCase{"*<a-c>?x", "bax", 1},
                      MatchCase{"*<a-c>*x", "zzx", 1}));

// A star followed by question marks at the end needs at least as many
// characters as there are question marks, and no more than that is required.
INSTANTIATE_TEST_SUITE_P(StarThenQuestionMarks, MatchCodes,
                         ::testing::Values(MatchCase{"*?", "a", 1}, MatchCase{"*?", "ab", 1},
                                           MatchCase{"*?", "abcdef", 1}, MatchCase{"*??", "a", 3},
                                           MatchCase{"*??", "abc", 1}, MatchCase{"a*?", "abcd", 1},
                                           MatchCase{"*<a-c>?", "xy", 3},
                                           MatchCase{"*<a-c>?", "aby", 1}));

TEST(Wildcard, ArbitraryBytesNeverReadPastEitherString) {
  // Every pattern prefix against every text prefix: unterminated sets and
  // stars at every position (the address sanitizer checks the reads).
  const std::string pattern = "*<a-?*<!x-";
  const std::string text = "ab?x-";
  for (size_t p = 0; p <= pattern.size(); ++p) {
    for (size_t t = 0; t <= text.size(); ++t) {
      const int code =
          Match(std::string_view(pattern).substr(0, p), std::string_view(text).substr(0, t));
      EXPECT_GE(code, 1);
      EXPECT_LE(code, 6);
    }
  }
  EXPECT_EQ(Match(std::string("a\0b", 3), std::string("a\0b", 3)), 1);
  EXPECT_EQ(Match(std::string("<\x80-\xff>", 5), "\xe9"), 1);
}

TEST(Wildcard, ManyStarsStayFast) {
  std::string pattern;
  for (int i = 0; i < 40; ++i) pattern += "*a";
  pattern += "*b";
  const std::string text(300, 'a');
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(IsMatch(pattern, text));
  EXPECT_TRUE(IsMatch(pattern, text + "b"));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count(), 5);
  // Far more star groups than any file-list entry has: refused, not a crash.
  std::string deep;
  for (int i = 0; i < 5000; ++i) deep += "*a";
  EXPECT_FALSE(IsMatch(deep, std::string(6000, 'a')));
}

}  // namespace
