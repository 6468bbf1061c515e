#include "platform/profile_string.h"

#include <vector>

#include "platform/win32/windows_api.h"

namespace platform {

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              size_t bufferSize) {
  if (bufferSize == 0) return std::string();
  std::vector<char> buffer(bufferSize, '\0');
  const DWORD n =
      GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                               static_cast<DWORD>(bufferSize), file.c_str());
  return std::string(buffer.data(), n);
}

}  // namespace platform
