// The settings-file reader on arbitrary files: sections, keys, values,
// quotes, line ends and the numbers of the flags. The input is written as
// the settings file and read into a fresh profile; the excluded-folder table
// must stay within its slots and every flag must keep a value it can hold.
// The same bytes also go through the flag parser as one value.
#include <unistd.h>

#include <cstdint>
#include <string>

#include "installer/profile.h"
#include "installer/settings.h"
#include "platform/platform.h"
#include "platform/profile_string.h"

namespace {

const std::string& IniPath() {
  static const std::string path = [] {
    platform::InstallDefault();
    return "/tmp/fuzz_settings_" + std::to_string(getpid()) + ".ini";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string& path = IniPath();
  {
    std::string error;
    auto f = platform::files().Open(path, platform::OpenMode::Create, &error);
    if (!f) return 0;
    f->Write(bytes, int32_t(size));
  }
  installer::ProductProfile profile;
  profile.ProgramFilesDir = "C:\\Program Files";
  installer::LoadSettings(profile, path);
  if (profile.ExcludeDirCount < 0 || size_t(profile.ExcludeDirCount) > profile.ExcludeDirs.size())
    __builtin_trap();
  for (int i = 0; i < profile.ExcludeDirCount; ++i)
    if (profile.ExcludeDirs[size_t(i)].empty()) __builtin_trap();  // the list stops at a gap
  // Values are cut to the reader's buffer, never longer.
  std::string value = platform::ReadProfileString(path, "Main", "Folder", "", 64);
  if (value.size() > 63) __builtin_trap();

  std::string text(reinterpret_cast<const char*>(bytes), size > 64 ? 64 : size);
  bool flag = true;
  if (!installer::ParseFlag(text, flag) && !flag) __builtin_trap();  // kept its value
  return 0;
}
