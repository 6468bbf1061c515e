// The matcher walks pattern and text with positions counted from 1; At()
// answers -1 for a position outside a string, so no step can read past either
// one. A star hands the rest of the pattern to AfterStar, which tries to match
// that rest at every text position where it could start (the rest's first
// character equals the text's, or it is a set, a "?" or a star), skipping the
// characters in between; a qualified star checks every character it skips
// against its set.
//
// Each attempt is a fresh Match of a pattern suffix against a text suffix:
// Match empties the star set on entry and the caller's set is restored after
// the attempt, so an attempt's result depends on the two suffixes only. The
// results are memoised by the suffix lengths, which keeps patterns with many
// stars polynomial; nesting depth and total steps are capped for hostile
// patterns far beyond any file-list entry.
#include "support/wildcard.h"

#include <bitset>
#include <cstdint>
#include <string>
#include <unordered_map>

namespace support {

namespace {

// Deepest nesting of star searches (one level per star group of the pattern).
constexpr int kMaxDepth = 512;
// Steps of all loops of one top-level match.
constexpr int64_t kMaxSteps = int64_t{1} << 24;

std::string AsciiLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

// Byte at 1-based position i, or -1 outside the string.
inline int At(std::string_view s, int i) {
  return (i >= 1 && i <= static_cast<int>(s.size())) ? static_cast<unsigned char>(s[i - 1]) : -1;
}

struct StarSet {
  std::bitset<256> bits;
  bool negated = false;

  void Clear() {
    bits.reset();
    negated = false;
  }
  // True when skipping c breaks the set.
  bool Breaks(int c) const {
    const bool in = bits.test(static_cast<size_t>(c));
    return negated ? in : !in;
  }
};

class Matcher {
 public:
  int Match(std::string_view p, std::string_view t);
  int AfterStar(std::string_view p, std::string_view t);

 private:
  int Attempt(std::string_view p, std::string_view t);
  int MatchSet(std::string_view p, int& pi, int c);
  bool Step() { return ++steps_ <= kMaxSteps; }

  StarSet star_;
  std::unordered_map<uint64_t, int> memo_;
  int depth_ = 0;
  int64_t steps_ = 0;
  bool tooDeep_ = false;  // once set, every level gives up with code 6
};

int Matcher::Match(std::string_view p, std::string_view t) {
  star_.Clear();
  if (p == "*") return kMatchValid;
  const int plen = static_cast<int>(p.size());
  const int tlen = static_cast<int>(t.size());
  int pi = 1;
  int ti = 1;
  int result = 0;
  while (result == 0 && pi <= plen) {
    if (!Step()) return kMatchAbort;
    if (ti > tlen) {
      // A single star at the very end matches an empty rest; two do not.
      return (At(p, pi) == '*' && pi == plen) ? kMatchValid : kMatchAbort;
    }
    const int pc = At(p, pi);
    const int tc = At(t, ti);
    if (pc == '*') {
      if (At(p, pi + 1) == '<') {
        pi += 2;
        star_.Clear();
        if (At(p, pi) == '^' || At(p, pi) == '!') {
          star_.negated = true;
          ++pi;
        }
        while (At(p, pi) != '>') {
          if (pi > plen) return kMatchPattern;
          if (At(p, pi + 1) == '-') {
            if (pi + 2 > plen) return kMatchPattern;
            for (int c = At(p, pi); c <= At(p, pi + 2); ++c) star_.bits.set(static_cast<size_t>(c));
            pi += 3;
          } else {
            star_.bits.set(static_cast<size_t>(At(p, pi)));
            ++pi;
          }
        }
        ++pi;  // past ">"; the rest starts here
      } else {
        star_.Clear();  // the rest starts with the star itself
      }
      result =
          AfterStar(p.substr(static_cast<size_t>(pi - 1)), t.substr(static_cast<size_t>(ti - 1)));
    } else if (pc == '<') {
      result = MatchSet(p, pi, tc);
    } else if (pc != '?' && pc != tc) {
      result = kMatchLiteral;
    }
    ++pi;
    ++ti;
  }
  if (result == 0) result = ti > tlen ? kMatchValid : kMatchEnd;
  return result;
}

// Matches text character c against the set whose "<" is at pi. Leaves pi at
// the closing ">" and returns 0 on success, else the result code.
int Matcher::MatchSet(std::string_view p, int& pi, int c) {
  const int plen = static_cast<int>(p.size());
  ++pi;
  bool negated = false;
  if (At(p, pi) == '!' || At(p, pi) == '^') {
    negated = true;
    ++pi;
  }
  if (At(p, pi) == '>') return kMatchPattern;  // empty set
  bool member = false;
  while (At(p, pi) != '>' && !member) {
    const int first = pi;
    int last = pi;
    ++pi;
    if (pi > plen) return kMatchPattern;
    if (At(p, pi) == '-') {
      ++pi;
      last = pi;
      if (pi > plen || At(p, pi) == '>') return kMatchPattern;
      ++pi;
    }
    if (pi > plen) return kMatchPattern;
    if (first < last) {
      member = At(p, first) <= c && c <= At(p, last);
    } else {
      member = c == At(p, first);
    }
  }
  if (negated == member) return kMatchRange;
  if (member) {
    while (pi <= plen && At(p, pi) != '>') ++pi;
    if (pi > plen) return kMatchPattern;
  }
  return 0;
}

int Matcher::AfterStar(std::string_view p, std::string_view t) {
  const int plen = static_cast<int>(p.size());
  const int tlen = static_cast<int>(t.size());
  int i = 1;
  int j = 1;
  // After a plain star, further stars match anything and each "?" but a
  // final one takes one character, in any order. A qualified star's run must
  // come first, so there "?" and "*" are left to the attempts below: a
  // character taken early by a "?" would escape the star's set.
  const bool qualified = star_.bits.any();
  while (!qualified && (At(p, i) == '*' || (At(p, i) == '?' && i != plen && j <= tlen))) {
    if (At(p, i) == '?') ++j;
    ++i;
  }
  if (j > tlen) return kMatchAbort;
  if (plen > 0 && i > plen) return kMatchValid;
  const int pc = At(p, i);
  int result = 0;
  for (;;) {
    if (!Step()) return kMatchAbort;
    // A "?" or a star can start a match anywhere, like a set.
    if (plen > 0 && (pc == At(t, j) || pc == '<' || pc == '?' || pc == '*')) {
      result = Attempt(p.substr(static_cast<size_t>(i - 1)), t.substr(static_cast<size_t>(j - 1)));
      if (tooDeep_) return kMatchPattern;
    }
    if (j > tlen) return kMatchAbort;
    if (result != kMatchValid && star_.bits.any() && star_.Breaks(At(t, j))) return kMatchAbort;
    ++j;
    if (result == kMatchValid) return result;
    if (j > tlen) {
      // The text is used up: a star at the end of the pattern has taken it
      // all; otherwise no attempt matched.
      if (plen == 0) return kMatchValid;
      return result == 0 ? kMatchAbort : result;
    }
  }
}

int Matcher::Attempt(std::string_view p, std::string_view t) {
  const uint64_t key = (static_cast<uint64_t>(p.size()) << 32) | t.size();
  const auto it = memo_.find(key);
  if (it != memo_.end()) return it->second;
  if (depth_ >= kMaxDepth) {
    tooDeep_ = true;
    return kMatchPattern;
  }
  const StarSet saved = star_;
  ++depth_;
  const int result = Match(p, t);
  --depth_;
  star_ = saved;
  memo_.emplace(key, result);
  return result;
}

}  // namespace

int Match(std::string_view pattern, std::string_view text) {
  const std::string p = AsciiLower(pattern);
  const std::string t = AsciiLower(text);
  Matcher matcher;
  return matcher.Match(p, t);
}

int MatchAfterStar(std::string_view pattern, std::string_view text) {
  const std::string p = AsciiLower(pattern);
  const std::string t = AsciiLower(text);
  Matcher matcher;
  return matcher.AfterStar(p, t);
}

bool IsMatch(std::string_view pattern, std::string_view text) {
  return Match(pattern, text) == kMatchValid;
}

}  // namespace support
