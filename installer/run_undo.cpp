#include "installer/run_undo.h"

#include "installer/inst_f3.h"
#include "installer/journal_undo.h"
#include "installer/profile.h"
#include "installer/run_failure.h"

namespace installer {

namespace {

using namespace journal;

// The path of an existing file with its name as the folder spells it, which
// may differ in letter case from the name asked for.
std::string SpelledOnDisk(const std::string& path) {
  const size_t sep = path.rfind('\\');
  if (sep == std::string::npos) return path;
  const std::string name = path.substr(sep + 1);
  auto& text = platform::text();
  for (const platform::FindData& e : platform::files().Enumerate(path.substr(0, sep), name)) {
    if (text.UpperCase(e.name) == text.UpperCase(name)) return path.substr(0, sep + 1) + e.name;
  }
  return path;
}

const char kBackupFolderName[] = "~BACKUP";
constexpr int kBackupNames = 999;  // leftovers of that many killed runs
constexpr auto kMachine = platform::RootKey::LocalMachine;

}  // namespace

std::string JournalRecordKey(const std::string& product) {
  return "SOFTWARE\\" + product + " Setup";
}

std::vector<std::string> RecordedJournals(const std::string& product) {
  std::vector<std::string> paths;
  std::string value;
  if (!platform::registry().ReadString(kMachine, JournalRecordKey(product), kJournalValue, value))
    return paths;
  size_t start = 0;
  while (start <= value.size()) {
    size_t bar = value.find('|', start);
    if (bar == std::string::npos) bar = value.size();
    if (bar > start) paths.push_back(value.substr(start, bar - start));
    start = bar + 1;
  }
  return paths;
}

void SetRecordedJournals(const std::string& product, const std::vector<std::string>& paths) {
  auto& registry = platform::registry();
  const std::string key = JournalRecordKey(product);
  if (paths.empty()) {
    registry.DeleteValue(kMachine, key, kJournalValue);
    registry.DeleteKey(kMachine, key);
    return;
  }
  std::string value;
  for (const std::string& path : paths) value += (value.empty() ? "" : "|") + path;
  registry.WriteValue(kMachine, key, kJournalValue, {platform::kRegString, value + '\0'});
}

bool TRunUndo::Begin(const std::string& folder, const std::string& product,
                     const std::string& installDir, const std::vector<std::string>& roots) {
  product_ = product;
  if (!journal_.Open(folder)) return false;
  // The product's record names the journal before anything is changed.
  std::vector<std::string> recorded = RecordedJournals(product);
  recorded.push_back(journal_.Path());
  SetRecordedJournals(product, recorded);
  // What was noted before the journal existed follows the roots that make
  // it trusted.
  std::vector<JournalRecord> earlier;
  earlier.swap(records_);
  Note({kRun, {product, installDir}});
  for (const std::string& root : roots) Note({kRoot, {root}});
  for (JournalRecord& record : earlier) Note(std::move(record));
  journal_.Flush();
  return true;
}

void TRunUndo::Note(JournalRecord record) {
  journal_.Append(record);
  journal_.Checkpoint();
  records_.push_back(std::move(record));
  JournalStep(records_.back().kind.c_str());
}

void TRunUndo::FolderBefore(const std::string& path) { Note({kFolder, {path}}); }

void TRunUndo::StagingMade(const std::string& path) { Note({kStaging, {path}}); }

void TRunUndo::NewBefore(const std::string& path) { Note({kNew, {path}}); }

void TRunUndo::NotPlaced(const std::string& path) { Note({kDrop, {path}}); }

std::string TRunUndo::BackupFolder(const std::string& root) {
  std::string& backup = backupFolders_[UpperAscii(root)];
  if (!backup.empty()) return backup;
  auto& files = platform::files();
  for (int n = 1; n <= kBackupNames; ++n) {
    const std::string folder = root + "\\" + kBackupFolderName + (n == 1 ? "" : std::to_string(n));
    if (files.DirectoryExists(folder) || files.FileExists(folder)) continue;
    FolderBefore(folder);
    if (files.CreateDir(folder)) {
      // Out of sight where it is made beside a desktop or a menu group.
      files.SetAttributes(folder, platform::kAttrDirectory | platform::kAttrHidden);
      backup = folder;
      return backup;
    }
    break;
  }
  backupFolders_.erase(UpperAscii(root));
  throw CreateFolderFailure(root + "\\" + kBackupFolderName, platform::files().LastError());
}

// Flat numbered names: no folders to make, no long paths.
std::string TRunUndo::NextKeptName(const std::string& root) {
  return BackupFolder(root) + "\\" + std::to_string(++kept_);
}

bool TRunUndo::Replace(const std::string& from, const std::string& asked, const std::string& root,
                       bool readOnly, bool durable) {
  auto& files = platform::files();
  // The new file takes the earlier one's name as it is spelled, so that a
  // rollback gives the earlier file back under its own letter case.
  const std::string target = SpelledOnDisk(asked);
  std::string kept = NextKeptName(root);
  Note({kReplace, {target, kept}});
  // One step: the earlier file keeps its second name, the new one takes
  // the first. Windows refuses it for a read-only or running file.
  if (!readOnly && files.HardLink(target, kept)) {
    if (durable ? files.ReplaceFile(from, target) : files.MoveOver(from, target)) return true;
    if (!files.DeleteFile(kept)) {
      // A running program's file keeps its second name until the end.
      Note({kSpare, {kept}});
      kept = NextKeptName(root);
      Note({kReplace, {target, kept}});
    }
  }
  // Renamed aside, then the new file moves in.
  if (!files.MoveFile(target, kept)) return false;
  if (files.MoveFile(from, target)) return true;
  files.MoveFile(kept, target);  // the earlier file is not lost
  return false;
}

std::string TRunUndo::BringOnto(const std::string& from, const std::string& root) {
  const std::string near = NextKeptName(root) + ".new";
  Note({kSpare, {near}});
  if (platform::files().MoveFile(from, near)) return near;
  return std::string();
}

bool TRunUndo::CopyBefore(const std::string& path, const std::string& root) {
  const std::string kept = NextKeptName(root);
  Note({kReplace, {path, kept}});
  return platform::files().CopyFile(path, kept, true);
}

// What cannot go back now is left for the rollback, or the commit's clean-up.
void TRunUndo::PutBack(const std::string& path) {
  for (size_t i = records_.size(); i-- > 0;) {
    if (records_[i].kind != kReplace || records_[i].fields[0] != path) continue;
    auto& files = platform::files();
    const std::string& kept = records_[i].fields[1];
    if (files.FileExists(path))
      files.MoveOver(kept, path);
    else
      files.MoveFile(kept, path);
    return;
  }
}

void TRunUndo::KeyBefore(const std::string& key) {
  auto& registry = platform::registry();
  platform::RegistryValue value;
  const bool existed = registry.KeyExists(platform::RootKey::ClassesRoot, key);
  const bool hadDefault =
      existed && registry.ReadValue(platform::RootKey::ClassesRoot, key, "", value);
  Note({kKey, {key, KeyStateField(existed, hadDefault, value)}});
}

void TRunUndo::RestoreKeysFrom(size_t mark) {
  std::vector<JournalRecord> keys;
  for (size_t i = mark; i < records_.size(); ++i) {
    if (records_[i].kind == kKey) keys.push_back(records_[i]);
  }
  UndoJournal(keys);
}

std::vector<std::string> TRunUndo::Undo() {
  journal_.Flush();
  return UndoJournal(records_);
}

void TRunUndo::EndJournal(bool everythingBack) {
  if (!journal_.IsOpen()) return;
  if (!everythingBack) {
    journal_.Close();  // the next start finishes the undo
    return;
  }
  RemoveJournal();
  RemoveJournalFolders(records_);  // the journal's own folder among them
}

void TRunUndo::RemoveJournal() {
  const std::string path = journal_.Path();
  journal_.Remove();
  std::vector<std::string> recorded = RecordedJournals(product_);
  std::erase(recorded, path);
  SetRecordedJournals(product_, recorded);
}

void TRunUndo::Commit() {
  journal_.Commit();
  JournalStep(kCommit);
  CleanUpJournal(records_);
  backupFolders_.clear();
  if (journal_.IsOpen()) RemoveJournal();
  records_.clear();
}

}  // namespace installer
