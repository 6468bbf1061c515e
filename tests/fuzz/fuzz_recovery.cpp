// Recovery at start-up on an arbitrary journal over a small installed tree:
// the journal of a run whose process ended, possibly cut mid-line, damaged
// or made up. With bit 0 of the first input byte clear, each further input
// line is one record ("kind TAB field TAB ..."), written with valid check
// sums after the header so that the undo itself is reached; with bit 1 the
// file then loses its last bytes. With bit 0 set the rest is the file as it
// is. Bit 2 makes the product's files read-only, bit 3 holds Lectorn.exe
// open as a running program would. Checks besides the sanitizers:
//   - nothing changes outside the roots that the journal names (but the
//     journal itself), on any drive;
//   - a recovery that reports nothing left over leaves no journal recorded;
//   - a second recovery, as the next start makes, changes nothing but the
//     journal, which it may finish with.
#include <cstdint>
#include <string>
#include <vector>

#include "installer/run_journal.h"
#include "installer/run_recovery.h"
#include "installer/run_undo.h"
#include "platform/posix/posix.h"
#include "tests/fuzz/memory_machine.h"

namespace {

using fuzz_support::Inside;
using fuzz_support::Put;
using fuzz_support::TreeSnapshot;
using fuzz_support::Violated;

const std::string kProduct = "Volmar";
const std::string kDir = "C:\\Program Files\\Volmar";
const std::string kJournal = kDir + "\\UNINST\\setup.journal";

const char* const kTree[][2] = {
    {"C:\\Program Files\\Volmar\\Lectorn.exe", "lectorn v2"},
    {"C:\\Program Files\\Volmar\\readme.txt", "readme v2"},
    {"C:\\Program Files\\Volmar\\DOC\\guide.hlp", "guide"},
    {"C:\\Program Files\\Volmar\\~BACKUP\\1", "lectorn v1"},
    {"C:\\Program Files\\Volmar\\~BACKUP\\2", "readme v1"},
    {"C:\\Program Files\\Volmar\\TEMP\\x.dat", "staged"},
    {"C:\\Program Files\\Volmar\\UNINST\\mtxvlm.log", "log"},
    {"C:\\WINDOWS\\system32\\vlmctl.dll", "control v2"},
    {"C:\\WINDOWS\\system32\\~BACKUP\\1", "control v1"},
    {"C:\\WINDOWS\\system32\\kernel32.dll", "system"},
    {"C:\\Other\\secret.txt", "not ours"},
    {"D:\\Data\\x.txt", "not ours either"},
};

std::string JournalBytes(const uint8_t options, const std::string& input) {
  if (options & 1) return input;
  std::string bytes = installer::JournalLine({installer::journal::kHeader, {"1"}});
  size_t start = 0;
  while (start < input.size()) {
    size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    installer::JournalRecord record;
    size_t at = start;
    for (bool first = true; at <= end; first = false) {
      size_t tab = input.find('\t', at);
      if (tab == std::string::npos || tab > end) tab = end;
      (first ? record.kind : record.fields.emplace_back()) = input.substr(at, tab - at);
      at = tab + 1;
    }
    bytes += installer::JournalLine(record);
    start = end + 1;
  }
  if ((options & 2) && bytes.size() > 5) bytes.resize(bytes.size() - 5);
  return bytes;
}

TreeSnapshot Machine() {
  TreeSnapshot all = fuzz_support::Snapshot("C:");
  for (const auto& [path, what] : fuzz_support::Snapshot("D:")) all[path] = what;
  return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 1 || size > 8192) return 0;
  const uint8_t options = bytes[0];
  const std::string input(reinterpret_cast<const char*>(bytes) + 1, size - 1);
  fuzz_support::MemoryMachine();
  const fuzz_support::ClearFilesAtEnd clearFiles;
  platform::posix::ClearRegistry();
  for (const auto& [path, data] : kTree)
    Put(path, data,
        (options & 4) && Inside(platform::text().UpperCase(path), kDir) ? platform::kAttrReadOnly
                                                                        : platform::kAttrArchive);
  const std::string journal = JournalBytes(options, input);
  Put(kJournal, journal, platform::kAttrArchive);
  installer::SetRecordedJournals(kProduct, {kJournal});
  std::unique_ptr<platform::File> running;
  if (options & 8)
    running =
        platform::files().Open(kDir + "\\Lectorn.exe", platform::OpenMode::ReadShareRead, nullptr);

  std::vector<std::string> roots;
  for (const auto& r : installer::ReadJournal(journal).records) {
    if (r.kind == installer::journal::kRoot && r.fields.size() == 1) roots.push_back(r.fields[0]);
  }
  const TreeSnapshot before = Machine();
  const installer::RecoveryReport report = installer::RecoverInterruptedRuns(kProduct);
  const TreeSnapshot after = Machine();

  const std::string journalKey = platform::text().UpperCase(kJournal);
  for (const std::string& path : fuzz_support::Differences(before, after)) {
    if (path == journalKey) continue;
    bool inside = false;
    for (const std::string& root : roots)
      inside = inside || (root.size() >= 4 && Inside(path, root));
    if (!inside) Violated("changed outside the journal's roots:", path);
  }
  if (report.left.empty() && !installer::RecordedJournals(kProduct).empty())
    Violated("a journal stays recorded though everything was put back");

  installer::RecoverInterruptedRuns(kProduct);
  // It may finish with the journal (an undo step that a made-up journal
  // left undone may turn out done), but changes nothing else.
  for (const std::string& path : fuzz_support::Differences(after, Machine())) {
    if (path != journalKey) Violated("the next start changed", path);
  }
  return 0;
}
