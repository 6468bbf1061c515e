// File routines of the installation run: clearing the read-only attribute,
// deleting a folder tree, making folders of the run's own.
#include <algorithm>

#include "installer/inst_f3.h"
#include "installer/profile.h"
#include "platform/platform.h"

namespace installer {

void ClearReadOnly(const std::string& path) {
  auto& files = platform::files();
  const uint32_t attributes = files.GetAttributes(path);
  if (attributes == platform::kInvalidAttributes) return;
  if (attributes & platform::kAttrReadOnly)
    files.SetAttributes(path, attributes & ~platform::kAttrReadOnly);
}

void RemoveTree(const std::string& folder) {
  auto& files = platform::files();
  for (const platform::FindData& entry : files.Enumerate(folder, "*.*")) {
    if (entry.name == "." || entry.name == "..") continue;
    const std::string path = folder + "\\" + entry.name;
    if (entry.attributes & platform::kAttrDirectory) {
      RemoveTree(path);
    } else {
      // Only the staging folder is removed this way, and everything in it
      // came from this run: read-only members go as well.
      ClearReadOnly(path);
      files.DeleteFile(path);
    }
  }
  files.RemoveDir(folder);
}

std::string ClaimFolder(const std::string& parent, const std::string& name) {
  constexpr int kNames = 999;  // leftovers of that many killed runs
  auto& files = platform::files();
  for (int n = 1; n <= kNames; ++n) {
    const std::string folder = parent + "\\" + name + (n == 1 ? "" : std::to_string(n));
    if (files.CreateDir(folder)) return folder;
    // Only a name that is taken is worth another try.
    if (!files.DirectoryExists(folder) && !files.FileExists(folder)) break;
  }
  return std::string();
}

void TInstF3::MakeFolder(const std::string& dir) {
  auto& files = platform::files();
  std::vector<std::string> missing;
  for (std::string d = dir; !d.empty() && !files.DirectoryExists(d);) {
    missing.push_back(d);
    const size_t slash = d.rfind('\\');
    if (slash == std::string::npos || slash == 0) break;
    d.resize(slash);
    if (d.size() == 2 && d[1] == ':') break;  // a drive root
  }
  if (missing.empty()) return;
  for (auto d = missing.rbegin(); d != missing.rend(); ++d) undo_.FolderBefore(*d);
  files.ForceDirectories(dir);
  for (const std::string& d : missing) {
    if (!files.DirectoryExists(d)) continue;
    createdFolders_.push_back(d);
    freshFolders_.insert(UpperAscii(d));
  }
}

std::string LinkBackupRoot(const std::string& linkDir) {
  const size_t slash = linkDir.rfind('\\');
  // A folder right under a drive root keeps its own backups.
  if (slash == std::string::npos || slash < 3) return linkDir;
  return linkDir.substr(0, slash);
}

void TInstF3::RemoveCreatedFolders() {
  std::stable_sort(createdFolders_.begin(), createdFolders_.end(),
                   [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& d : createdFolders_) platform::files().RemoveDir(d);
  createdFolders_.clear();
}

}  // namespace installer
