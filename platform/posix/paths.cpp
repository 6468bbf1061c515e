#include "platform/posix/paths.h"

#include <dirent.h>
#include <ftw.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <unordered_map>

#include "platform/codepage.h"
#include "platform/posix/folder_watch.h"
#include "platform/posix/posix.h"
#include "support/cp1251.h"

namespace platform::posix {

namespace {

struct PathState {
  std::string root;
  std::string defaultRoot;  // made on first use, removed at exit
  std::set<char> drivesMade;
};

PathState& state() {
  static PathState s;
  return s;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

void RemoveDefaultRoot() {
  if (!state().defaultRoot.empty()) {
    ::nftw(state().defaultRoot.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
}

// Default folders of processes that ended without removing theirs (a crash,
// an abort under the sanitizers) are removed by the next process.
void RemoveStaleDefaultRoots() {
  DIR* dir = ::opendir("/tmp");
  if (!dir) return;
  const std::string prefix = "setup-platform-";
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      ::nftw(("/tmp/" + name).c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
  }
  ::closedir(dir);
}

const std::string& Root() {
  auto& s = state();
  if (s.root.empty()) {
    if (s.defaultRoot.empty()) {
      RemoveStaleDefaultRoots();
      s.defaultRoot = "/tmp/setup-platform-" + std::to_string(::getpid());
      std::atexit(RemoveDefaultRoot);
    }
    s.root = s.defaultRoot;
    ::mkdir(s.root.c_str(), 0755);
  }
  return s.root;
}

bool Exists(const std::string& linuxPath) {
  struct stat st;
  return ::lstat(linuxPath.c_str(), &st) == 0;
}

std::string FoldName(const std::string& ansi) { return codepage::UpperCase(ansi); }

// Without change notices (see folder_watch.h): folded names of a folder,
// kept while the folder's modification time is unchanged, so that creating
// thousands of new files in one folder does not read the folder once per
// file. The operations of this platform keep the cache current through
// NoteEntry.
struct FolderNames {
  struct timespec mtime {};
  std::unordered_map<std::string, std::string> byFolded;  // folded ANSI -> Linux name
};
std::unordered_map<std::string, FolderNames>& folderCache() {
  static std::unordered_map<std::string, FolderNames> cache;
  return cache;
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// known: the folder's stat when the caller has just taken it.
FolderNames* NamesOf(const std::string& folder, const struct stat* known = nullptr) {
  const std::string dirPath = folder.empty() ? "." : folder;
  struct stat st;
  if (known) {
    st = *known;
  } else if (::stat(dirPath.c_str(), &st) != 0) {
    return nullptr;
  }
  if (!S_ISDIR(st.st_mode)) return nullptr;
  auto& cache = folderCache();
  auto it = cache.find(dirPath);
  if (it != cache.end() && SameTime(it->second.mtime, st.st_mtim)) return &it->second;
  if (cache.size() > 512) cache.clear();
  DIR* dir = ::opendir(dirPath.c_str());
  if (!dir) return nullptr;
  FolderNames names;
  names.mtime = st.st_mtim;
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    names.byFolded.emplace(FoldName(support::Cp1251(name)), name);
  }
  ::closedir(dir);
  return &(cache[dirPath] = std::move(names));
}

// The entry of folder whose name equals component without regard to case.
bool FindFolded(const std::string& folder, const std::string& ansiComponent, std::string& found,
                const struct stat* known = nullptr) {
  FolderNames* names = NamesOf(folder, known);
  if (!names) return false;
  auto it = names->byFolded.find(FoldName(ansiComponent));
  if (it == names->byFolded.end()) return false;
  found = it->second;
  return true;
}

}  // namespace

void SetDriveRoot(const std::string& linuxDir) {
  auto& s = state();
  s.root = linuxDir;
  s.drivesMade.clear();
  while (s.root.size() > 1 && s.root.back() == '/') s.root.pop_back();
  ::mkdir(s.root.c_str(), 0755);
}

std::string DriveRoot() { return Root(); }

std::string LinuxPath(const std::string& windowsPath) { return Resolve(windowsPath); }

namespace {

// A Windows path taken apart: the Linux folder it starts from ("" for a
// relative path) and its components in Windows-1251.
struct SplitPath {
  std::string prefix;  // Linux, UTF-8; ends without "/" except for "/"
  std::vector<std::string> ansi;
};

SplitPath Split(const std::string& windowsPath) {
  SplitPath s;
  std::string p = windowsPath;
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  std::string& prefix = s.prefix;
  size_t start = 0;
  if (p.size() >= 2 && p[1] == ':' && std::isalpha(static_cast<unsigned char>(p[0]))) {
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(p[0])));
    prefix = Root() + "/" + drive;
    if (state().drivesMade.insert(drive).second) ::mkdir(prefix.c_str(), 0755);
    start = 2;
  } else if (p.size() >= 2 && p[0] == '/' && p[1] == '/') {
    prefix = Root() + "/unc";  // \\server\share\...
    if (state().drivesMade.insert('/').second) ::mkdir(prefix.c_str(), 0755);
    start = 2;
  } else if (!p.empty() && p[0] == '/') {
    prefix = "/";
    start = 1;
  }
  // On a drive, "." and ".." are resolved by the text as Windows does, and
  // ".." never climbs above the drive's root.
  const bool lexical = !prefix.empty() && prefix != "/";
  size_t i = start;
  while (i <= p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    const std::string part = p.substr(i, j - i);
    if (lexical && part == "..") {
      if (!s.ansi.empty()) s.ansi.pop_back();
    } else if (!part.empty() && !(lexical && part == ".")) {
      s.ansi.push_back(part);
    }
    i = j + 1;
  }
  return s;
}

// Adds a component in place: a path of thousands of components is built in
// time proportional to its length.
void Append(std::string& path, const std::string& name) {
  if (!path.empty() && path.back() != '/') path += '/';
  path += name;
}

std::string Join(std::string a, const std::string& b) {
  Append(a, b);
  return a;
}

// The lookup through the watched listings: every folder from "/" down, the
// prefix's names exactly, the path's own without regard to case. False when
// the listings cannot answer (no change notices, a relative path, a link or
// "." or ".." on the way, a folder that cannot be read): the disk decides.
bool FindWatched(const SplitPath& s, std::string& path, EntryKind& kind) {
  if (s.prefix.empty() || s.prefix[0] != '/' || !RefreshWatchedFolders()) return false;
  std::string cur = "/";
  for (size_t i = 1; i < s.prefix.size();) {
    size_t j = s.prefix.find('/', i);
    if (j == std::string::npos) j = s.prefix.size();
    const std::string name = s.prefix.substr(i, j - i);
    i = j + 1;
    if (name.empty()) continue;
    const FolderListing* listing = WatchedListing(cur);
    const FolderEntry* e = listing ? listing->Find(name, FoldName(support::Cp1251(name))) : nullptr;
    if (!e || e->name != name || e->kind != EntryKind::Folder) return false;
    Append(cur, name);
  }
  for (size_t k = 0; k < s.ansi.size(); ++k) {
    const std::string& part = s.ansi[k];
    if (part == "." || part == "..") return false;
    const FolderListing* listing = WatchedListing(cur);
    if (!listing) return false;
    const std::string utf8 = support::Utf8FromCp1251(part);
    const FolderEntry* e = listing->Find(utf8, FoldName(part));
    const bool last = k + 1 == s.ansi.size();
    if (e && e->kind == EntryKind::Unknown && !last) return false;  // perhaps a link
    if (!e || (!last && e->kind != EntryKind::Folder)) {
      // Missing, or a file where a folder should be: the rest as given.
      Append(cur, e ? e->name : utf8);
      for (size_t m = k + 1; m < s.ansi.size(); ++m)
        Append(cur, support::Utf8FromCp1251(s.ansi[m]));
      path = cur;
      kind = EntryKind::Missing;
      return true;
    }
    Append(cur, e->name);
    if (last) kind = e->kind;
  }
  if (s.ansi.empty()) kind = EntryKind::Folder;
  path = cur;
  return true;
}

}  // namespace

EntryKind KindOf(const std::string& windowsPath, std::string* linuxPath) {
  std::string path;
  EntryKind kind;
  struct stat st;
  if (FindWatched(Split(windowsPath), path, kind)) {
    if (kind == EntryKind::Unknown)  // a link or a new entry: its target decides
      kind = ::stat(path.c_str(), &st) != 0 ? EntryKind::Missing
             : S_ISDIR(st.st_mode)          ? EntryKind::Folder
                                            : EntryKind::File;
  } else {
    const ResolvedPath r = ResolveEntry(windowsPath);
    path = r.path;
    kind = !r.found                ? EntryKind::Missing
           : S_ISDIR(r.st.st_mode) ? EntryKind::Folder
                                   : EntryKind::File;
  }
  if (linuxPath) *linuxPath = path;
  return kind;
}

std::string Resolve(const std::string& windowsPath) {
  std::string path;
  EntryKind kind;
  if (FindWatched(Split(windowsPath), path, kind)) return path;
  return ResolveEntry(windowsPath).path;
}

ResolvedPath ResolveEntry(const std::string& windowsPath) {
  ResolvedPath r;
  const SplitPath split = Split(windowsPath);
  {
    EntryKind kind;
    if (FindWatched(split, r.path, kind)) {
      r.found = kind != EntryKind::Missing && ::stat(r.path.c_str(), &r.st) == 0;
      return r;
    }
  }
  const std::string& prefix = split.prefix;
  const std::vector<std::string>& ansi = split.ansi;
  const auto join = Join;
  std::string exact = prefix;
  for (const auto& c : ansi) Append(exact, support::Utf8FromCp1251(c));
  auto finish = [&r](std::string path, const struct stat* st) {
    r.path = path.empty() ? "." : std::move(path);
    if (st && !S_ISLNK(st->st_mode)) {
      r.st = *st;
      r.found = true;
    } else {
      r.found = ::stat(r.path.c_str(), &r.st) == 0;
    }
    return r;
  };
  struct stat st;
  if (exact.empty()) return finish(".", nullptr);
  if (::lstat(exact.c_str(), &st) == 0) return finish(exact, &st);

  // Missing, or named in another letter case. Usually the folder exists as
  // named, and one look in its names settles the last component.
  if (!ansi.empty()) {
    // The folder is the exact path without its last component.
    const std::string lastUtf8 = support::Utf8FromCp1251(ansi.back());
    std::string parent = exact.substr(0, exact.size() - lastUtf8.size());
    if (parent.size() > 1 && parent.back() == '/') parent.pop_back();
    const std::string& last = ansi.back();
    struct stat pst;
    if (::lstat(parent.empty() ? "." : parent.c_str(), &pst) == 0 && S_ISDIR(pst.st_mode)) {
      std::string found;
      if (last != "." && last != ".." && FindFolded(parent, last, found, &pst))
        return finish(join(parent, found), nullptr);
      r.path = exact;
      return r;
    }
  }

  std::string cur = prefix;
  for (size_t k = 0; k < ansi.size(); ++k) {
    const std::string utf8 = support::Utf8FromCp1251(ansi[k]);
    const std::string candidate = join(cur, utf8);
    std::string found;
    if (Exists(candidate)) {
      cur = candidate;
    } else if (ansi[k] != "." && ansi[k] != ".." && FindFolded(cur, ansi[k], found)) {
      cur = join(cur, found);
    } else {
      for (size_t m = k; m < ansi.size(); ++m) Append(cur, support::Utf8FromCp1251(ansi[m]));
      break;
    }
  }
  return finish(cur, nullptr);
}

bool ValidNewPath(const std::string& windowsPath) {
  const bool drive = windowsPath.size() >= 2 && windowsPath[1] == ':' &&
                     std::isalpha(static_cast<unsigned char>(windowsPath[0]));
  for (size_t i = drive ? 2 : 0; i < windowsPath.size(); ++i) {
    const auto c = static_cast<unsigned char>(windowsPath[i]);
    if (c < 0x20 || std::strchr("<>:\"|?*", c) != nullptr) return false;
  }
  return true;
}

void NoteEntry(const std::string& linuxPath, bool added) {
  const size_t slash = linuxPath.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : linuxPath.substr(0, slash));
  const std::string name = slash == std::string::npos ? linuxPath : linuxPath.substr(slash + 1);
  auto& cache = folderCache();
  auto it = cache.find(folder);
  if (it == cache.end()) return;
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0) {
    cache.erase(it);
    return;
  }
  const std::string folded = FoldName(support::Cp1251(name));
  if (added) {
    it->second.byFolded[folded] = name;
  } else {
    it->second.byFolded.erase(folded);
  }
  it->second.mtime = st.st_mtim;
}

bool SamePathText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto norm = [](char c) {
      return c == '/' ? '\\' : static_cast<char>(codepage::UpperByte(static_cast<uint8_t>(c)));
    };
    if (norm(a[i]) != norm(b[i])) return false;
  }
  return true;
}

bool Listed(const std::vector<std::string>& paths, const std::string& path) {
  for (const auto& p : paths) {
    if (SamePathText(p, path)) return true;
  }
  return false;
}

}  // namespace platform::posix
