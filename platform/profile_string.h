// Reading one value of a Windows profile (.ini) file with the semantics of
// GetPrivateProfileStringA: section and key names match without regard to
// ASCII letter case, the first matching section and key win, the value is
// trimmed of blanks and of one pair of enclosing quotes, and at most
// bufferSize - 1 characters are returned. A missing file, section or key
// gives the default value (trailing blanks removed).
#pragma once

#include <cstddef>
#include <string>

namespace platform {

std::string ReadProfileString(const std::string& file, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              size_t bufferSize = 2048);

}  // namespace platform
