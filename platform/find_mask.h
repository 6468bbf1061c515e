// FindFirstFileA's matching of a name against a mask, shared by the
// implementations that list folders themselves (posix, memory).
#pragma once

#include <string>

namespace platform {

// "*" any run, "?" one character (or none at the end of the name), letter
// case ignored by the code page; "*.*" matches every name and a mask ending
// in "." names without an extension.
bool MatchesMask(const std::string& mask, const std::string& name);

}  // namespace platform
