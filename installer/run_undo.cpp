#include "installer/run_undo.h"

#include "installer/inst_f3.h"
#include "installer/profile.h"
#include "installer/run_failure.h"

namespace installer {

namespace {

const char kBackupFolderName[] = "~BACKUP";
constexpr auto kClasses = platform::RootKey::ClassesRoot;

}  // namespace

std::string TRunUndo::BackupFolder(const std::string& folder) {
  std::string& backup = backupFolders_[UpperAscii(folder)];
  if (backup.empty()) {
    backup = ClaimFolder(folder, kBackupFolderName);
    if (backup.empty()) {
      backupFolders_.erase(UpperAscii(folder));
      throw CreateFolderFailure(folder + "\\" + kBackupFolderName, platform::files().LastError());
    }
  }
  return backup;
}

bool TRunUndo::KeepAside(const std::string& path, const std::string& folder) {
  // Flat numbered names: no folders to make, no long paths.
  const std::string keptAs = BackupFolder(folder) + "\\" + std::to_string(kept_ + 1);
  if (!platform::files().MoveFile(path, keptAs)) return false;
  ++kept_;
  files_.push_back({path, keptAs});
  return true;
}

void TRunUndo::PutBack(const std::string& path) {
  for (size_t i = files_.size(); i-- > 0;) {
    if (files_[i].path != path || files_[i].keptAs.empty()) continue;
    // If it cannot go back it stays in the backup folder, which then stays too.
    platform::files().MoveFile(files_[i].keptAs, path);
    files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
}

void TRunUndo::Placed(const std::string& path) { files_.push_back({path, std::string()}); }

void TRunUndo::KeyBefore(const std::string& key) {
  auto& registry = platform::registry();
  KeyStep step;
  step.key = key;
  step.existed = registry.KeyExists(kClasses, key);
  step.hadDefault = step.existed && registry.ReadValue(kClasses, key, "", step.value);
  keys_.push_back(step);
}

void TRunUndo::Undo() {
  auto& registry = platform::registry();
  for (auto k = keys_.rbegin(); k != keys_.rend(); ++k) {
    if (!k->existed)
      registry.DeleteKey(kClasses, k->key);
    else if (k->hadDefault)
      registry.WriteValue(kClasses, k->key, "", k->value);
    else
      registry.DeleteValue(kClasses, k->key, "");
  }
  keys_.clear();

  auto& files = platform::files();
  for (auto f = files_.rbegin(); f != files_.rend(); ++f) {
    if (f->keptAs.empty()) {
      ClearReadOnly(f->path);
      files.DeleteFile(f->path);
    } else {
      // A kept file that cannot go back stays in the backup folder.
      files.MoveFile(f->keptAs, f->path);
    }
  }
  files_.clear();
  RemoveBackupFolders();
}

void TRunUndo::Commit() {
  auto& files = platform::files();
  for (const FileStep& f : files_) {
    if (f.keptAs.empty()) continue;
    ClearReadOnly(f.keptAs);
    files.DeleteFile(f.keptAs);
  }
  files_.clear();
  keys_.clear();
  RemoveBackupFolders();
}

// Only empty folders go: whatever could not be put back or deleted stays.
void TRunUndo::RemoveBackupFolders() {
  for (const auto& [parent, folder] : backupFolders_) platform::files().RemoveDir(folder);
  backupFolders_.clear();
}

}  // namespace installer
