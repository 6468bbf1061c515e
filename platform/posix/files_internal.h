// Pieces of the posix platform shared between its files.
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace platform::posix {

std::unique_ptr<Files> MakeFiles();
std::unique_ptr<Registry> MakeRegistry();
std::unique_ptr<Shell> MakeShell();
std::unique_ptr<Text> MakeText();

// FindFirstFileA's matching of a name against a mask: "*" any run, "?" one
// character (or none at the end of the name), letter case ignored by the code
// page; "*.*" matches every name and a mask ending in "." names without an
// extension.
bool MatchesMask(const std::string& mask, const std::string& name);

}  // namespace platform::posix
