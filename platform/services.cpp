#include "platform/platform.h"

namespace platform {

std::string ReadToEnd(File& file) {
  std::string bytes;
  char chunk[8192];
  for (;;) {
    const int32_t n = file.Read(chunk, sizeof chunk);
    if (n <= 0) break;
    bytes.append(chunk, static_cast<size_t>(n));
  }
  return bytes;
}

void Files::ForceDirectories(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && (p.back() == '\\' || p.back() == '/')) p.pop_back();
  if (p.empty() || DirectoryExists(p)) return;
  const size_t sep = p.find_last_of("\\/");
  if (sep != std::string::npos && sep > 0) {
    const std::string parent = p.substr(0, sep);
    // A bare drive ("C:") always exists and cannot be created.
    if (!(parent.size() == 2 && parent[1] == ':')) ForceDirectories(parent);
  }
  CreateDir(p);
}

Services& Current() {
  static Services services;
  return services;
}

}  // namespace platform
