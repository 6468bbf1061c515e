// The journal of an installation run on disk: one line for each change, put
// in the file before the change takes effect, so that a run whose process
// ends without its rollback (End task, a crash, a logoff, power loss) can be
// undone by the next start of the installer. A last line marks a run that
// completed. The file is plain text in the ANSI code page, one record per
// line:
//
//   kind TAB field TAB field ... TAB crc CRLF
//
// where a field escapes "%", tab, CR and LF as %XX, and crc is the CRC-32
// of the line before its last tab, in eight hex digits. The first record
// names the format and its version ("journal 1"). A reader takes the lines
// in order and stops at the first that is cut short, damaged or unknown:
// nothing after it is trusted.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace installer {

namespace journal {
// The kinds of record, in the words of the file.
inline constexpr char kHeader[] = "journal";   // version
inline constexpr char kRun[] = "run";          // product, install folder
inline constexpr char kRoot[] = "root";        // a folder the run may change things in
inline constexpr char kFolder[] = "folder";    // a folder about to be made
inline constexpr char kStaging[] = "staging";  // the run's own staging folder, removed whole
inline constexpr char kNew[] = "new";          // a file about to be put where none was
inline constexpr char kDrop[] = "drop";        // that file was not put there after all
inline constexpr char kReplace[] =
    "replace";  // a file about to be replaced; where the earlier one is kept
inline constexpr char kSpare[] = "spare";    // a file of the run's own in a backup folder
inline constexpr char kKey[] = "key";        // a key of HKEY_CLASSES_ROOT and its earlier state
inline constexpr char kCommit[] = "commit";  // the run completed
inline constexpr char kVersion[] = "1";
}  // namespace journal

struct JournalRecord {
  std::string kind;
  std::vector<std::string> fields;
  bool operator==(const JournalRecord&) const = default;
};

// One record as its line in the file, line end included.
std::string JournalLine(const JournalRecord& record);

// The records of a journal file's bytes, up to the first line that cannot be
// trusted; whole is false when such a line (or a file without the header)
// ended the reading.
struct JournalText {
  std::vector<JournalRecord> records;  // the header is not among them
  bool whole = true;
  bool committed = false;  // the commit mark was read
};
JournalText ReadJournal(const std::string& bytes);

// The earlier state of a registry key in a "key" record's second field:
// "absent", "empty" (no default value), or "TYPE:HEX" of the default value.
std::string KeyStateField(bool existed, bool hadDefault, const platform::RegistryValue& value);
bool ParseKeyState(const std::string& field, bool& existed, bool& hadDefault,
                   platform::RegistryValue& value);

// Writes the journal of one run.
class TRunJournal {
 public:
  // Creates a new journal file in folder (setup.journal, or setup2.journal,
  // ... beside the journals of earlier runs that are still to be undone)
  // and writes its header. False when none can be made.
  bool Open(const std::string& folder);
  bool IsOpen() const { return file_ != nullptr; }
  const std::string& Path() const { return path_; }
  // Writes one record to the file at once, so that it survives the end of
  // the process. It reaches the disk with the next Flush: the run flushes
  // once before each group of changes, never once per file.
  void Append(const JournalRecord& record);
  // Flushes the records when kBatch of them are waiting.
  void Checkpoint();
  static constexpr int kBatch = 64;
  // Puts the records written so far on the disk.
  void Flush();
  // Writes the commit mark and flushes.
  void Commit();
  // Closes the file and deletes it.
  void Remove();
  // Closes the file and leaves it for the next start.
  void Close();

 private:
  std::unique_ptr<platform::File> file_;
  std::string path_;
  int unflushed_ = 0;
};

// Called with a short name of each step before it is journaled or undone:
// tests end the process there to model a run or a recovery cut off at that
// moment. None by default.
void SetJournalStepHook(std::function<void(const char* step)> hook);
void JournalStep(const char* step);

}  // namespace installer
