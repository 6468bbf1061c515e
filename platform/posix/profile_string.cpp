// The profile-file reader of native builds, reading the file through the
// platform's Files so that Windows paths are translated as everywhere else.
#include "platform/profile_string.h"

#include "platform/platform.h"
#include "support/path_text.h"

namespace platform {

namespace {

using support::TrimBlanks;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool SameAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::string Limit(std::string s, size_t bufferSize) {
  if (s.size() > bufferSize - 1) s.resize(bufferSize - 1);
  return s;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  auto f = files().Open(path, OpenMode::ReadShareRead, nullptr);
  if (!f) return false;
  text = ReadToEnd(*f);
  return true;
}

}  // namespace

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              size_t bufferSize) {
  if (bufferSize == 0) return std::string();
  std::string fallback = defaultValue;
  while (!fallback.empty() && IsBlank(fallback.back())) fallback.pop_back();
  fallback = Limit(fallback, bufferSize);

  std::string text;
  if (!ReadWholeFile(file, text)) return fallback;

  bool inSection = false;
  bool sectionSeen = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = TrimBlanks(line);
    if (!trimmed.empty() && trimmed[0] == '[') {
      // Only the first section of the name is searched, as Windows does.
      if (inSection) break;
      size_t close = trimmed.find(']');
      const std::string name =
          TrimBlanks(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      inSection = !sectionSeen && SameAscii(name, section);
      if (inSection) sectionSeen = true;
      continue;
    }
    if (!inSection) continue;
    const size_t eq = trimmed.find('=');
    if (eq == std::string::npos) continue;
    if (!SameAscii(TrimBlanks(trimmed.substr(0, eq)), key)) continue;
    std::string value = TrimBlanks(trimmed.substr(eq + 1));
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
      value = value.substr(1, value.size() - 2);
    }
    return Limit(value, bufferSize);
  }
  return fallback;
}

}  // namespace platform
