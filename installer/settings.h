// The optional settings file beside the installer (its own path with ".ini"):
// the preset install folder, the switches and the excluded archive folders.
#pragma once

#include <string>

#include "installer/profile.h"

namespace installer {

// Reads an integer flag as the settings file writes it: decimal, or
// hexadecimal after "$" or "0x"/"0X", with an optional sign. Returns false
// (value unchanged) for an empty, non-numeric or out-of-range text.
bool ParseFlag(const std::string& text, bool& value);

// The settings file of an installer: the path with its extension replaced by ".ini".
std::string SettingsPath(const std::string& exePath);

// Sets the settings values of the profile from the file at iniPath, or the
// defaults when it does not exist. Needs ProgramFilesDir for the folder preset.
void LoadSettings(ProductProfile& profile, const std::string& iniPath);

}  // namespace installer
