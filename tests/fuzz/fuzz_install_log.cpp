// The install-log merge on an arbitrary earlier log: whatever an earlier
// installation, a person or a damaged disk left in the log, a run's merge
// of its own list into it. The first input byte chooses whether the earlier
// log is read-only and whether putting the new log in place fails; the rest
// is the earlier log. Checks besides the sanitizers:
//   - a log with a header line keeps its lines, in order, and gains only
//     lines of the run's list; one without becomes the run's list;
//   - every path of the run's list is in the log (any letter case), every
//     line ends with CR LF, and no ".new" file stays;
//   - a merge that cannot put the log in place leaves the earlier bytes as
//     they were, and throws;
//   - merging the same list again changes nothing.
#include <cstdint>
#include <string>
#include <vector>

#include "installer/install_log.h"
#include "installer/run_failure.h"
#include "tests/fuzz/memory_machine.h"

namespace {

const std::string kFolder = "C:\\Program Files\\Volmar\\UNINST";
const std::string kLog = kFolder + "\\mtxvlm.log";

const std::vector<std::string> kRunList = {
    "Mentorix|Uninstall|Remove Mentorix?|Done|", "C:\\Program Files\\Volmar\\Lectorn.exe",
    "C:\\Program Files\\Volmar\\readme.txt",     "C:\\Program Files\\Volmar\\DOC\\guide.hlp",
    "C:\\WINDOWS\\system32\\vlmctl.dll",
};

std::string Read(const std::string& path) {
  auto f = platform::files().Open(path, platform::OpenMode::ReadShareRead, nullptr);
  return f ? platform::ReadToEnd(*f) : std::string("<none>");
}

bool Merge(const installer::LogSwap& swap) {
  try {
    installer::WriteInstallLog(kLog, kRunList, swap);
    return true;
  } catch (const installer::ERunFailure&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 1) return 0;
  const uint8_t options = bytes[0];
  const std::string earlier(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  auto& files = fuzz_support::MemoryMachine();
  const fuzz_support::ClearFilesAtEnd clearFiles;
  files.ForceDirectories(kFolder);
  {
    auto f = files.Open(kLog, platform::OpenMode::Create, nullptr);
    if (!f || f->Write(earlier.data(), int32_t(earlier.size())) != int32_t(earlier.size()))
      __builtin_trap();
  }
  if (options & 1) files.SetAttributes(kLog, platform::kAttrReadOnly);
  auto& text = platform::text();

  if (options & 2) {
    // Putting the new log in place fails: the earlier one stays.
    if (Merge([](const std::string&, const std::string&) { return false; })) __builtin_trap();
    if (Read(kLog) != earlier || files.FileExists(kLog + ".new")) __builtin_trap();
    return 0;
  }
  if (!Merge({})) __builtin_trap();
  const std::string merged = Read(kLog);
  if (files.FileExists(kLog + ".new")) __builtin_trap();
  if (merged.size() < 2 || merged.compare(merged.size() - 2, 2, "\r\n") != 0) __builtin_trap();
  const std::vector<std::string> lines = installer::SplitLines(merged);
  for (size_t at = 0; (at = merged.find_first_of("\r\n", at)) != std::string::npos; at += 2) {
    if (merged.compare(at, 2, "\r\n") != 0) __builtin_trap();  // a bare line break
  }
  std::vector<std::string> kept;
  if (installer::HasHeaderLine(earlier)) kept = installer::SplitLines(earlier);
  if (lines.size() < kept.size() || lines.size() > kept.size() + kRunList.size()) __builtin_trap();
  for (size_t i = 0; i < kept.size(); ++i) {
    if (lines[i] != kept[i]) __builtin_trap();
  }
  if (kept.empty() && lines != kRunList) __builtin_trap();
  for (size_t i = kept.size(); i < lines.size(); ++i) {
    bool listed = false;
    for (const std::string& p : kRunList) listed = listed || p == lines[i];
    if (!listed) __builtin_trap();
  }
  for (size_t i = 1; i < kRunList.size(); ++i) {
    bool found = false;
    for (const std::string& line : lines)
      found = found || text.UpperCase(line) == text.UpperCase(kRunList[i]);
    if (!found) __builtin_trap();
  }
  if (!Merge({}) || Read(kLog) != merged) __builtin_trap();
  return 0;
}
