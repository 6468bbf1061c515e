#include "platform/posix/folder_watch.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>

#include "platform/codepage.h"
#include "support/cp1251.h"

namespace platform::posix {

namespace {

// More watched folders than this are dropped all at once and watched again
// as they are used, which bounds memory and the kernel's watches.
constexpr size_t kMaxWatched = 4096;

constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW |
                                IN_EXCL_UNLINK;

std::string Folded(const std::string& utf8Name) {
  return codepage::UpperCase(support::Cp1251(utf8Name));
}

void Add(FolderListing& listing, const std::string& name, EntryKind kind) {
  auto& names = listing.byFolded[Folded(name)];
  for (FolderEntry& e : names) {
    if (e.name == name) {
      e.kind = kind;
      return;
    }
  }
  names.push_back({name, kind});
}

// Removes name; true when it was a folder.
bool Remove(FolderListing& listing, const std::string& name) {
  auto it = listing.byFolded.find(Folded(name));
  if (it == listing.byFolded.end()) return false;
  auto& names = it->second;
  bool folder = false;
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].name == name) {
      folder = names[i].kind == EntryKind::Folder;
      names.erase(names.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  if (names.empty()) listing.byFolded.erase(it);
  return folder;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

class Watcher {
 public:
  ~Watcher() { Close(); }

  void SetEnabled(bool on) {
    enabled_ = on;
    if (!on) Close();
  }

  bool Refresh() {
    if (!enabled_) return false;
    if (full_) Close();
    if (fd_ < 0) {
      if (unavailable_) return false;
      fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      if (fd_ < 0) {
        unavailable_ = true;  // e.g. the user's limit of instances is reached
        return false;
      }
    }
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return true;  // nothing more (EAGAIN)
      for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
        Apply(*e);
        if (fd_ < 0) return Refresh();  // every listing was dropped: start afresh
        at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      }
      // A read that left room for more events emptied the queue.
      if (static_cast<size_t>(n) < sizeof buffer / 2) return true;
    }
  }

  const FolderListing* Listing(const std::string& folder) {
    auto it = byPath_.find(folder);
    if (it != byPath_.end()) return &it->second.listing;
    if (byPath_.size() >= kMaxWatched) {
      // Dropped at the next refresh, so that every watched folder keeps
      // its parent watched; this lookup reads the disk.
      full_ = true;
      return nullptr;
    }
    const int wd = ::inotify_add_watch(fd_, folder.c_str(), kWatchMask);
    if (wd < 0) return nullptr;
    // The same folder known under another path has moved there.
    auto known = pathOf_.find(wd);
    if (known != pathOf_.end()) Drop(known->second, false);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
      ::inotify_rm_watch(fd_, wd);
      return nullptr;
    }
    pathOf_[wd] = folder;
    Node& node = byPath_[folder];
    node.wd = wd;
    // Changes made between the watch and the reading are reported too and
    // applied later in their order, which ends with the folder as it is.
    while (const dirent* d = ::readdir(dir)) {
      const std::string name = d->d_name;
      if (name == "." || name == "..") continue;
      const EntryKind kind = d->d_type == DT_DIR   ? EntryKind::Folder
                             : d->d_type == DT_REG ? EntryKind::File
                                                   : EntryKind::Unknown;
      Add(node.listing, name, kind);
    }
    ::closedir(dir);
    return &node.listing;
  }

 private:
  struct Node {
    int wd = -1;
    FolderListing listing;
  };

  void Apply(const inotify_event& e) {
    if (e.mask & IN_Q_OVERFLOW) {
      Close();  // changes were lost: nothing can be trusted
      return;
    }
    auto known = pathOf_.find(e.wd);
    if (known == pathOf_.end()) return;  // a folder dropped already
    const std::string path = known->second;
    if (e.mask & IN_IGNORED) {
      Drop(path, false);  // the watch is gone (its folder was removed)
      return;
    }
    if (e.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
      Drop(path, true);
      return;
    }
    if (e.len == 0) return;
    const std::string name = e.name;  // the kernel pads it with zero bytes
    FolderListing& listing = byPath_[path].listing;
    if (e.mask & (IN_DELETE | IN_MOVED_FROM)) {
      if (Remove(listing, name)) Drop(Join(path, name), true);
    } else if (e.mask & (IN_CREATE | IN_MOVED_TO)) {
      // An entry moved over another one replaces it, folder and all.
      if (Remove(listing, name)) Drop(Join(path, name), true);
      Add(listing, name, (e.mask & IN_ISDIR) ? EntryKind::Folder : EntryKind::Unknown);
    }
  }

  // Forgets the listing of folder and of every folder below it.
  // folder is a copy: the maps this edits may hold the caller's string.
  void Drop(std::string folder, bool unwatch) {
    const std::string below = folder == "/" ? "/" : folder + "/";
    for (auto it = byPath_.begin(); it != byPath_.end();) {
      if (it->first == folder || it->first.compare(0, below.size(), below) == 0) {
        if (unwatch) ::inotify_rm_watch(fd_, it->second.wd);
        pathOf_.erase(it->second.wd);
        it = byPath_.erase(it);
      } else {
        ++it;
      }
    }
  }

  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    byPath_.clear();
    pathOf_.clear();
    full_ = false;
  }

  int fd_ = -1;
  bool enabled_ = true;
  bool unavailable_ = false;
  bool full_ = false;  // kMaxWatched folders are watched
  std::unordered_map<std::string, Node> byPath_;
  std::unordered_map<int, std::string> pathOf_;
};

Watcher& watcher() {
  static Watcher w;
  return w;
}

}  // namespace

const FolderEntry* FolderListing::Find(const std::string& utf8Name,
                                       const std::string& folded) const {
  auto it = byFolded.find(folded);
  if (it == byFolded.end()) return nullptr;
  for (const FolderEntry& e : it->second) {
    if (e.name == utf8Name) return &e;
  }
  return &it->second.front();
}

bool RefreshWatchedFolders() { return watcher().Refresh(); }

const FolderListing* WatchedListing(const std::string& linuxFolder) {
  return watcher().Listing(linuxFolder);
}

void SetFolderWatch(bool on) { watcher().SetEnabled(on); }

}  // namespace platform::posix
