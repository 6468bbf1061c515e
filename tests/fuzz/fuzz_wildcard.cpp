// The wildcard matcher on arbitrary patterns and texts: the input is the
// pattern, a zero byte, then the text. Besides the sanitizers and the time
// limit (stars must not make the search explode), a pattern without any of
// the characters "*", "?" and "<" must match exactly the texts that equal it
// without regard to ASCII letter case, and "*" must match every text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "support/wildcard.h"

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(bytes), size);
  size_t zero = input.find('\0');
  std::string_view pattern = input.substr(0, zero);
  std::string_view text =
      zero == std::string_view::npos ? std::string_view() : input.substr(zero + 1);

  int result = support::Match(pattern, text);
  if (result < support::kMatchValid || result > support::kMatchPattern) __builtin_trap();
  if (support::IsMatch(pattern, text) != (result == support::kMatchValid)) __builtin_trap();
  if (!text.empty() && pattern.find_first_of("*?<") == std::string_view::npos &&
      support::IsMatch(pattern, text) != EqualNoCase(pattern, text))
    __builtin_trap();
  if (!support::IsMatch("*", text)) __builtin_trap();
  support::MatchAfterStar(pattern, text);
  return 0;
}
