#include "support/format.h"

#include <cstdio>

namespace support {

std::string Format(std::string_view pattern, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(pattern.size() + 16);
  auto next = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%' || i + 1 >= pattern.size()) {
      out += c;
      continue;
    }
    const char d = pattern[i + 1];
    if (d == '%') {
      out += '%';
      ++i;
      continue;
    }
    const bool wantsText = d == 's';
    const bool wantsNumber = d == 'd' || d == 'u' || d == 'x';
    if ((!wantsText && !wantsNumber) || next == args.end() || next->IsText() != wantsText) {
      out += c;
      continue;
    }
    if (wantsText) {
      out += next->Text();
    } else {
      char buf[32];
      const int64_t v = next->Number();
      if (d == 'd') {
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
      } else if (d == 'u') {
        std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(v));
      } else {
        std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(v));
      }
      out += buf;
    }
    ++next;
    ++i;
  }
  return out;
}

}  // namespace support
