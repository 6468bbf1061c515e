#include "installer/settings.h"

#include <cstdint>

#include "platform/platform.h"
#include "platform/profile_string.h"
#include "support/path_text.h"

namespace installer {

namespace {

constexpr size_t kValueBuffer = 2048;  // values of up to 2047 characters
const std::string kProgramFilesMacro = "%PROGRAMFILESDIR%";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool ParseFlag(const std::string& text, bool& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool hex = false;
  if (i < text.size() && text[i] == '$') {
    hex = true;
    ++i;
  } else if (text.size() - i >= 3 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= text.size()) return false;
  uint64_t n = 0;
  for (; i < text.size(); ++i) {
    if (hex) {
      const int d = HexDigit(text[i]);
      if (d < 0) return false;
      n = n * 16 + static_cast<uint64_t>(d);
      if (n > 0xFFFFFFFFu) return false;  // more than 32 bits
    } else {
      if (text[i] < '0' || text[i] > '9') return false;
      n = n * 10 + static_cast<uint64_t>(text[i] - '0');
      if (n > (negative ? 0x80000000u : 0x7FFFFFFFu)) return false;  // outside 32-bit signed
    }
  }
  value = n != 0;
  return true;
}

std::string SettingsPath(const std::string& exePath) {
  return support::ChangeFileExt(exePath, ".ini");
}

void LoadSettings(ProductProfile& p, const std::string& iniPath) {
  p.PresetInstallDir.clear();
  p.SetupParams.clear();
  p.AutoRun = false;
  p.SelectDialog = p.FinalMessage = p.LinksStartMenu = p.LinksDesktop = p.SetupRun = true;
  p.ExcludeDirCount = 0;
  if (!platform::files().FileExists(iniPath)) return;

  auto read = [&](const char* section, const std::string& key) {
    return platform::ReadProfileString(iniPath, section, key, "", kValueBuffer);
  };

  p.PresetInstallDir = read("Main", "InstallDir");
  const size_t at = platform::text().UpperCase(p.PresetInstallDir).find(kProgramFilesMacro);
  if (at != std::string::npos) {
    p.PresetInstallDir.replace(at, kProgramFilesMacro.size(), p.ProgramFilesDir);
  }

  struct FlagKey {
    const char* section;
    const char* key;
    bool ProductProfile::*field;
  };
  static const FlagKey kFlags[] = {
      {"Main", "AutoRun", &ProductProfile::AutoRun},
      {"Main", "SelectDialog", &ProductProfile::SelectDialog},
      {"Main", "FinalMessage", &ProductProfile::FinalMessage},
      {"Links", "StartMenu", &ProductProfile::LinksStartMenu},
      {"Links", "Desktop", &ProductProfile::LinksDesktop},
      {"Setup", "Run", &ProductProfile::SetupRun},
  };
  for (const FlagKey& f : kFlags) ParseFlag(read(f.section, f.key), p.*(f.field));
  p.SetupParams = read("Setup", "Params");

  for (int k = 1; k <= kExcludeDirKeys; ++k) {
    const std::string value = read("ExcludeDir", std::to_string(k));
    if (value.empty()) break;
    p.ExcludeDirs[static_cast<size_t>(k - 1)] = value;
    p.ExcludeDirCount = k;
  }
}

}  // namespace installer
