#include "installer/journal_undo.h"

#include <algorithm>
#include <set>

#include "installer/inst_f3.h"
#include "platform/platform.h"
#include "support/path_text.h"

namespace installer {

namespace {

using namespace journal;
constexpr auto kClasses = platform::RootKey::ClassesRoot;
constexpr size_t kRootMin = 4;  // "C:\x": never a whole drive

bool FullPath(const std::string& path) {
  const bool drive = path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  const bool unc = path.size() > 2 && path[0] == '\\' && path[1] == '\\';
  if (!drive && !unc) return false;
  if (path.find('/') != std::string::npos || path.back() == '\\') return false;
  // Every part after the start has a name, and none is "." or "..".
  size_t start = unc ? 2 : 3;
  while (start <= path.size()) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  return true;
}

bool Pathed(const std::string& kind) {
  return kind == kFolder || kind == kStaging || kind == kNew || kind == kDrop || kind == kReplace ||
         kind == kSpare;
}

// The records that may be acted on: each path inside the roots named
// before it, each key a plain name.
std::vector<bool> Trusted(const std::vector<JournalRecord>& records) {
  std::vector<std::string> roots;
  std::vector<bool> trusted(records.size(), false);
  for (size_t i = 0; i < records.size(); ++i) {
    const JournalRecord& r = records[i];
    if (r.kind == kRoot) {
      if (FullPath(r.fields[0]) && r.fields[0].size() >= kRootMin) roots.push_back(r.fields[0]);
      continue;
    }
    if (r.kind == kKey) {
      const std::string& key = r.fields[0];
      trusted[i] = !key.empty() && key.front() != '\\' && key.find("..") == std::string::npos;
      continue;
    }
    if (!Pathed(r.kind)) continue;
    bool ok = InsideRoots(r.fields[0], roots, r.kind == kFolder);
    if (r.kind == kReplace) ok = ok && InsideRoots(r.fields[1], roots, false);
    trusted[i] = ok;
  }
  return trusted;
}

bool RestoreKey(const JournalRecord& r) {
  bool existed = false, hadDefault = false;
  platform::RegistryValue value;
  if (!ParseKeyState(r.fields[1], existed, hadDefault, value)) return false;
  auto& registry = platform::registry();
  const std::string& key = r.fields[0];
  if (!existed) return !registry.KeyExists(kClasses, key) || registry.DeleteKey(kClasses, key);
  if (hadDefault) return registry.WriteValue(kClasses, key, "", value);
  platform::RegistryValue now;
  return !registry.ReadValue(kClasses, key, "", now) || registry.DeleteValue(kClasses, key, "");
}

// A placed file goes; one that is not there is already gone.
bool RemovePlaced(const std::string& path) {
  auto& files = platform::files();
  if (!files.FileExists(path)) return true;
  ClearReadOnly(path);
  return files.DeleteFile(path);
}

// The kept earlier file takes its place again by replacing what is there;
// without a kept file there is nothing to put back.
bool PutKeptBack(const std::string& path, const std::string& kept) {
  auto& files = platform::files();
  if (!files.FileExists(kept)) return true;
  bool back;
  if (files.FileExists(path)) {
    ClearReadOnly(path);
    back = files.MoveOver(kept, path);
  } else {
    back = files.MoveFile(kept, path);
  }
  // A second name of the file that is already in place (the replacement
  // never happened) is left over after a rename onto itself.
  if (back && files.FileExists(kept)) files.DeleteFile(kept);
  return back;
}

void DeleteNowOrAtRestart(const std::string& path) {
  auto& files = platform::files();
  if (!files.FileExists(path)) return;
  ClearReadOnly(path);
  if (!files.DeleteFile(path)) files.DeleteAtRestart(path);
}

}  // namespace

bool InsideRoots(const std::string& path, const std::vector<std::string>& roots, bool mayBeRoot) {
  if (!FullPath(path)) return false;
  auto& text = platform::text();
  const std::string upper = text.UpperCase(path);
  for (const std::string& root : roots) {
    const std::string r = text.UpperCase(root);
    if (mayBeRoot && upper == r) return true;
    if (upper.size() > r.size() + 1 && upper.compare(0, r.size(), r) == 0 &&
        upper[r.size()] == '\\')
      return true;
  }
  return false;
}

std::vector<std::string> UndoJournal(const std::vector<JournalRecord>& records) {
  const std::vector<bool> trusted = Trusted(records);
  std::vector<std::string> left;
  std::vector<std::string> dropped;  // files that were not placed after all
  std::vector<std::string> folders;  // folders the run made, in reverse order
  auto& text = platform::text();
  for (size_t i = records.size(); i-- > 0;) {
    if (!trusted[i]) continue;
    const JournalRecord& r = records[i];
    const std::string& path = r.fields[0];
    JournalStep("undo");
    if (r.kind == kDrop) {
      dropped.push_back(text.UpperCase(path));
    } else if (r.kind == kNew) {
      const auto d = std::find(dropped.begin(), dropped.end(), text.UpperCase(path));
      if (d != dropped.end()) {
        dropped.erase(d);
      } else if (!RemovePlaced(path)) {
        left.push_back(path);
      }
    } else if (r.kind == kReplace) {
      if (!PutKeptBack(path, r.fields[1])) left.push_back(path);
    } else if (r.kind == kSpare) {
      DeleteNowOrAtRestart(path);
    } else if (r.kind == kKey) {
      if (!RestoreKey(r)) left.push_back("HKEY_CLASSES_ROOT\\" + path);
    } else if (r.kind == kStaging) {
      RemoveTree(path);
    } else if (r.kind == kFolder) {
      folders.push_back(path);
    }
  }
  // The folders go last, deepest first, once what they held is undone: a
  // damaged journal may name a folder after the files in it.
  std::stable_sort(folders.begin(), folders.end(),
                   [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& folder : folders) platform::files().RemoveDir(folder);
  return left;
}

void RemoveJournalFolders(const std::vector<JournalRecord>& records) {
  const std::vector<bool> trusted = Trusted(records);
  std::vector<std::string> folders;
  for (size_t i = 0; i < records.size(); ++i) {
    if (trusted[i] && records[i].kind == kFolder) folders.push_back(records[i].fields[0]);
  }
  std::stable_sort(folders.begin(), folders.end(),
                   [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& folder : folders) platform::files().RemoveDir(folder);
}

void CleanUpJournal(const std::vector<JournalRecord>& records) {
  const std::vector<bool> trusted = Trusted(records);
  std::set<std::string> backups, gone;  // a kept name may also be a spare one
  auto& text = platform::text();
  for (size_t i = 0; i < records.size(); ++i) {
    if (!trusted[i]) continue;
    const JournalRecord& r = records[i];
    JournalStep("clean-up");
    const std::string& kept = r.kind == kReplace ? r.fields[1] : r.fields[0];
    if (r.kind == kReplace || r.kind == kSpare) {
      if (gone.insert(text.UpperCase(kept)).second) DeleteNowOrAtRestart(kept);
      if (r.kind == kReplace) backups.insert(support::FolderOf(kept));
    } else if (r.kind == kStaging) {
      RemoveTree(r.fields[0]);
    }
  }
  auto& files = platform::files();
  for (const std::string& folder : backups) {
    if (!files.RemoveDir(folder) && files.DirectoryExists(folder)) files.DeleteAtRestart(folder);
  }
}

}  // namespace installer
