#include "platform/find_mask.h"

#include <cstdint>

#include "platform/codepage.h"

namespace platform {

namespace {

bool Match(const std::string& m, size_t i, const std::string& n, size_t j) {
  while (i < m.size()) {
    const char c = m[i];
    if (c == '*') {
      while (i < m.size() && m[i] == '*') ++i;
      if (i == m.size()) return true;
      for (size_t k = j; k <= n.size(); ++k) {
        if (Match(m, i, n, k)) return true;
      }
      return false;
    }
    if (c == '?') {
      if (j < n.size()) ++j;  // at the end of the name "?" matches nothing
      ++i;
      continue;
    }
    if (j == n.size() || codepage::UpperByte(static_cast<uint8_t>(c)) !=
                             codepage::UpperByte(static_cast<uint8_t>(n[j]))) {
      return false;
    }
    ++i, ++j;
  }
  return j == n.size();
}

}  // namespace

bool MatchesMask(const std::string& mask, const std::string& name) {
  if (mask.empty() || mask == "*" || mask == "*.*") return true;
  if (mask.size() > 1 && mask.back() == '.' && mask[mask.size() - 2] != '.') {
    // "name." or "*.": names without an extension.
    if (name.find('.') != std::string::npos) return false;
    return Match(mask.substr(0, mask.size() - 1), 0, name, 0);
  }
  return Match(mask, 0, name, 0);
}

}  // namespace platform
