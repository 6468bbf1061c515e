#include "support/path_text.h"

namespace support {

namespace {

template <typename IsBlank>
std::string TrimWhere(const std::string& s, IsBlank isBlank) {
  size_t first = 0, last = s.size();
  while (first < last && isBlank(static_cast<unsigned char>(s[first]))) ++first;
  while (last > first && isBlank(static_cast<unsigned char>(s[last - 1]))) --last;
  return s.substr(first, last - first);
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  const size_t slash = path.find_last_of("\\:");
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

std::string Trim(const std::string& s) {
  return TrimWhere(s, [](unsigned char c) { return c <= ' '; });
}

std::string TrimBlanks(const std::string& s) {
  return TrimWhere(s, [](unsigned char c) { return c == ' ' || c == '\t'; });
}

}  // namespace support
