// What an installation run changed, kept until the run ends, so that a run
// that does not complete can put the machine back as it found it: files it
// put in place, earlier files it replaced (kept in a backup folder of the
// run on the same volume, until the run has completed), folders it made and
// association keys as they were before the run wrote them.
//
// Each change is written to the run's journal on disk before it takes
// effect (see run_journal.h), so that the next start of the installer can
// undo a run whose process ended without its rollback. A file is replaced
// in one rename step: the earlier file keeps a second name in the backup
// folder first (a hard link), so that the target path never lacks a file.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "installer/run_journal.h"
#include "platform/platform.h"

namespace installer {

class TRunUndo {
 public:
  // Starts the journal in folder and records the folders that the run may
  // change things in (roots) and the run's identity. False when no journal
  // can be made: the run can then still be rolled back by its own process.
  bool Begin(const std::string& folder, const std::string& product, const std::string& installDir,
             const std::vector<std::string>& roots);
  // The journal's file, empty without one.
  const std::string& JournalPath() const { return journal_.Path(); }

  // A folder the run is about to make; the rollback removes it when empty.
  void FolderBefore(const std::string& path);
  // The run's staging folder, just made (so that no folder of another's can
  // be taken for it): the rollback removes it with what it holds.
  void StagingMade(const std::string& path);

  // A file is about to be put at path, where there is none; NotPlaced when
  // that failed after all.
  void NewBefore(const std::string& path);
  void NotPlaced(const std::string& path);

  // Puts the file from (on the volume of root) in place of the existing
  // file target in one step. The earlier file is kept in the run's backup
  // folder inside root until the run ends. When the earlier file cannot be
  // replaced in one step (it is read-only, or a running program's) it is
  // renamed aside first. False when the earlier file cannot be moved at
  // all, as when another program holds it open: target is then unchanged.
  // durable: the replacement is on the disk before this returns.
  // Throws ERunFailure when the backup folder cannot be made.
  bool Replace(const std::string& from, const std::string& target, const std::string& root,
               bool readOnly, bool durable = false);
  // Moves from into the backup folder inside root, a step that copies
  // when root is on another volume, so that Replace can then be one rename.
  // Returns the new path, or empty when the move failed.
  std::string BringOnto(const std::string& from, const std::string& root);
  // Keeps a copy of the existing file path (a shortcut, which is saved over
  // in place) in the backup folder inside root before the run writes it.
  bool CopyBefore(const std::string& path, const std::string& root);
  // Puts back the copy CopyBefore kept for path, when the new file could not
  // be written.
  void PutBack(const std::string& path);

  // Records a key under HKEY_CLASSES_ROOT as it is, before the run writes it.
  void KeyBefore(const std::string& key);
  // The keys recorded so far; RestoreKeysFrom(mark) gives the keys recorded
  // since the mark their earlier state at once (a half-written association).
  size_t KeyMark() const { return records_.size(); }
  void RestoreKeysFrom(size_t mark);

  // Puts back, in reverse order, the registry key values and every file:
  // what the run placed is deleted, the kept files return by replacing.
  // Returns what could not be put back; the journal then stays for the next
  // start.
  std::vector<std::string> Undo();
  // After Undo and the removal of the run's folders: the journal goes when
  // everything was put back (left is empty), and stays otherwise.
  void EndJournal(bool everythingBack);
  // The run has completed: the commit mark, then the kept files and the
  // backup folders go (a file that cannot be deleted now, at the next
  // restart), then the journal.
  void Commit();

 private:
  std::string BackupFolder(const std::string& root);
  std::string NextKeptName(const std::string& root);
  // Appends a record to the journal (and to what this process undoes)
  // before its change takes effect.
  void Note(JournalRecord record);
  // Deletes the journal file and its entry in the product's record.
  void RemoveJournal();

  TRunJournal journal_;
  std::string product_;
  std::vector<JournalRecord> records_;
  std::map<std::string, std::string> backupFolders_;  // upper-case root -> its backup folder
  int kept_ = 0;
};

// The product's registry record of journals still to be undone:
// HKEY_LOCAL_MACHINE, this key, value kJournalValue, the paths joined by "|".
std::string JournalRecordKey(const std::string& product);
inline constexpr char kJournalValue[] = "Journals";
std::vector<std::string> RecordedJournals(const std::string& product);
void SetRecordedJournals(const std::string& product, const std::vector<std::string>& paths);

}  // namespace installer
