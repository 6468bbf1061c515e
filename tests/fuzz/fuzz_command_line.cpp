// The switch parser on arbitrary command lines, as an administrator or a
// deployment tool may write them. Checks besides the sanitizers:
//   - the parse succeeds exactly when it reports no error;
//   - /VERYSILENT implies /SILENT, /LOG names a file or the temporary folder,
//     not both, and message boxes are suppressed only in a silent run;
//   - an accepted /DIR is a full path the run can use: a drive or a share,
//     "\" separators, no character Windows forbids, no "." or ".." part,
//     within the length limit; /LOG holds no forbidden character either;
//   - /COMPONENTS names are trimmed and never empty;
//   - the switches as understood, written out again, parse to the same result.
#include <cstdint>
#include <cstring>
#include <string>

#include "installer/command_line.h"

namespace {

using installer::SetupSwitches;

bool Forbidden(char c) {
  return static_cast<unsigned char>(c) < ' ' || std::strchr("<>\"|?*", c) != nullptr;
}

void CheckPath(const std::string& path, bool full) {
  for (char c : path) {
    if (c == '/' || Forbidden(c)) __builtin_trap();
  }
  const bool drive = path.size() >= 2 && path[1] == ':';
  if (path.find(':', drive ? 2 : 0) != std::string::npos) __builtin_trap();
  if (!full) return;
  if (path.size() > installer::kMaxInstallDirLength) __builtin_trap();
  if (drive ? !(path.size() == 2 || path[2] == '\\') : path.compare(0, 2, "\\\\") != 0)
    __builtin_trap();
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part == "." || part == "..") __builtin_trap();
    start = end + 1;
  }
}

bool Same(const SetupSwitches& a, const SetupSwitches& b) {
  return a.silent == b.silent && a.verySilent == b.verySilent &&
         a.suppressMsgBoxes == b.suppressMsgBoxes && a.noIcons == b.noIcons && a.noRun == b.noRun &&
         a.noRestart == b.noRestart && a.help == b.help && a.userScope == b.userScope &&
         a.dir == b.dir && a.components == b.components && a.logFile == b.logFile &&
         a.logInTemp == b.logInTemp && a.understood == b.understood;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size > 4096) return 0;
  const std::string line(reinterpret_cast<const char*>(bytes), size);
  SetupSwitches s;
  std::string error = "stale";
  const bool ok = installer::ParseSwitches(line, s, error);
  if (ok != error.empty()) __builtin_trap();
  if (s.verySilent && !s.silent) __builtin_trap();
  if (s.logInTemp && !s.logFile.empty()) __builtin_trap();
  if (s.BoxesSuppressed() && !s.silent) __builtin_trap();
  if (s.dir) CheckPath(*s.dir, true);
  CheckPath(s.logFile, false);
  if (s.components) {
    for (const std::string& name : *s.components) {
      if (name.empty() || name.front() == ' ' || name.back() == ' ' ||
          name.find(',') != std::string::npos)
        __builtin_trap();
    }
  }
  if (!ok) return 0;

  // Written out again, with each value in quotes, the same switches.
  std::string again;
  for (std::string understood : s.understood) {
    const std::string noEffect = " (no effect)";
    if (understood.size() > noEffect.size() &&
        understood.compare(understood.size() - noEffect.size(), noEffect.size(), noEffect) == 0)
      understood.resize(understood.size() - noEffect.size());
    const size_t eq = understood.find('=');
    if (eq != std::string::npos)
      understood = understood.substr(0, eq + 1) + "\"" + understood.substr(eq + 1) + "\"";
    again += understood + " ";
  }
  SetupSwitches t;
  if (!installer::ParseSwitches(again, t, error) || !Same(s, t)) __builtin_trap();
  return 0;
}
