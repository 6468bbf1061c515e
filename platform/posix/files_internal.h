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

}  // namespace platform::posix
