// Reading a run's journal: what a reader trusts of a file that may be cut
// mid-line or damaged, and which paths an undo may touch.
#include "installer/run_journal.h"

#include <gtest/gtest.h>

#include "installer/journal_undo.h"

namespace {

using installer::JournalLine;
using installer::JournalRecord;
using installer::ReadJournal;

const JournalRecord kHeader{"journal", {"1"}};
const JournalRecord kRoot{"root", {"C:\\Program Files\\Volmar"}};
// Fields with every character the format escapes.
const JournalRecord kOdd{"replace", {"C:\\Program Files\\Volmar\\a%20b\tc", "x\r\ny%"}};
const JournalRecord kCommit{"commit", {}};

std::string Lines(const std::vector<JournalRecord>& records) {
  std::string bytes;
  for (const JournalRecord& r : records) bytes += JournalLine(r);
  return bytes;
}

TEST(RunJournal, AReaderTrustsTheLinesUpToTheFirstItCannot) {
  const std::string whole = Lines({kHeader, kRoot, kOdd, kCommit});
  std::string flipped = whole;
  flipped[Lines({kHeader, kRoot}).size() + 15] ^= 0x20;  // a letter of the third line's path
  const std::string unknown = Lines({kHeader, kRoot, {"rename", {"a"}}, kCommit});
  const std::string tooMany = Lines({kHeader, {"new", {"a", "b"}}, kRoot});
  struct Row {
    const char* name;
    std::string bytes;
    std::vector<JournalRecord> records;
    bool whole, committed;
  } rows[] = {
      {"whole", whole, {kRoot, kOdd, kCommit}, true, true},
      {"cut in its last line", whole.substr(0, whole.size() - 3), {kRoot, kOdd}, false, false},
      {"cut before a line end", whole.substr(0, whole.size() - 1), {kRoot, kOdd}, false, false},
      {"a damaged line", flipped, {kRoot}, false, false},
      {"an unknown kind", unknown, {kRoot}, false, false},
      {"a field too many", tooMany, {}, false, false},
      {"another version", Lines({{"journal", {"2"}}, kRoot}), {}, false, false},
      {"no header", Lines({kRoot, kCommit}), {}, false, false},
      {"empty", "", {}, false, false},
  };
  for (const Row& row : rows) {
    const installer::JournalText text = ReadJournal(row.bytes);
    EXPECT_EQ(text.records, row.records) << row.name;
    EXPECT_EQ(text.whole, row.whole) << row.name;
    EXPECT_EQ(text.committed, row.committed) << row.name;
  }
}

TEST(RunJournal, KeyStatesComeBackAsTheyWere) {
  platform::RegistryValue binary{3, std::string("\0\x01\xFF%\t", 5)};
  platform::RegistryValue text{1, std::string("OtherApp.vmv\0", 13)};
  struct Row {
    bool existed, hadDefault;
    platform::RegistryValue value;
  } rows[] = {{false, false, {}}, {true, false, {}}, {true, true, binary}, {true, true, text}};
  for (const Row& row : rows) {
    bool existed = !row.existed, hadDefault = !row.hadDefault;
    platform::RegistryValue value{99, "stale"};
    const std::string field = installer::KeyStateField(row.existed, row.hadDefault, row.value);
    ASSERT_TRUE(installer::ParseKeyState(field, existed, hadDefault, value)) << field;
    EXPECT_EQ(existed, row.existed) << field;
    EXPECT_EQ(hadDefault, row.hadDefault) << field;
    EXPECT_EQ(value.type, row.hadDefault ? row.value.type : 0u) << field;
    EXPECT_EQ(value.data, row.value.data) << field;
  }
  for (const char* bad : {"1:0", "1:0G", ":00", "x:00", "99999999999:00"}) {
    bool existed = false, hadDefault = false;
    platform::RegistryValue value;
    EXPECT_FALSE(installer::ParseKeyState(bad, existed, hadDefault, value)) << bad;
  }
}

TEST(RunJournal, AnUndoTouchesOnlyPathsInsideItsRoots) {
  const std::vector<std::string> roots = {"C:\\Program Files\\Volmar", "D:\\WINDOWS\\system32"};
  struct Row {
    const char* path;
    bool mayBeRoot, inside;
  } rows[] = {
      {"C:\\Program Files\\Volmar\\Lectorn.exe", false, true},
      {"c:\\program files\\VOLMAR\\UNINST\\mtxvlm.log", false, true},
      {"D:\\WINDOWS\\system32\\~BACKUP\\1", false, true},
      {"C:\\Program Files\\Volmar", true, true},
      {"C:\\Program Files\\Volmar", false, false},
      {"C:\\Program Files\\VolmarX\\a", false, false},
      {"C:\\Program Files\\Volmar\\..\\..\\Windows\\a.dll", false, false},
      {"C:\\Program Files\\Volmar\\.\\a", false, false},
      {"C:\\Program Files\\Volmar\\\\a", false, false},
      {"C:\\Program Files\\Volmar/../a", false, false},
      {"Program Files\\Volmar\\a", false, false},
      {"C:\\Windows\\a.dll", false, false},
  };
  for (const Row& row : rows)
    EXPECT_EQ(installer::InsideRoots(row.path, roots, row.mayBeRoot), row.inside) << row.path;
}

}  // namespace
