// What an installation run changed, kept until the run ends, so that a run
// that does not complete can put the machine back as it found it: files it
// put in place, earlier files it replaced (kept aside in a backup folder of
// the run on the same volume, until the run has completed), and association
// keys as they were before the run wrote them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace installer {

class TRunUndo {
 public:
  // Moves the existing file at path into this run's backup folder inside
  // folder (made on first use; a sub-folder of the target's own root, so the
  // move is a rename on the same volume). False when the file cannot be
  // moved, as when another program holds it open. Throws ERunFailure when
  // the backup folder cannot be made.
  bool KeepAside(const std::string& path, const std::string& folder);
  // Puts back the file kept aside last for path, whose replacement could
  // not be put in place after all.
  void PutBack(const std::string& path);
  // Records a file that this run put at path.
  void Placed(const std::string& path);
  // Records a key under HKEY_CLASSES_ROOT as it is, before the run writes it.
  void KeyBefore(const std::string& key);
  // Puts back, in reverse order, the registry key values and every file:
  // what the run placed is deleted and the kept files return.
  void Undo();
  // The run has completed: the kept files and the backup folders go.
  void Commit();

 private:
  struct FileStep {
    std::string path;
    std::string keptAs;  // empty: a file the run put where nothing was
  };
  struct KeyStep {
    std::string key;
    bool existed = false;
    bool hadDefault = false;
    platform::RegistryValue value;
  };
  std::string BackupFolder(const std::string& folder);
  void RemoveBackupFolders();

  std::vector<FileStep> files_;
  std::vector<KeyStep> keys_;
  std::map<std::string, std::string> backupFolders_;  // upper-case parent -> its backup folder
  int kept_ = 0;
};

}  // namespace installer
