// Listings of folders kept current by the kernel's change notices (inotify),
// so that looking a path up without regard to letter case costs no system
// call per folder. Every folder on the way from "/" is watched, so a folder
// that is renamed, removed or created by anyone, this process or another, is
// seen at the next lookup: nothing is taken on trust from an earlier look.
// Without change notices (the kernel refuses them, or they are switched off)
// callers look on the disk instead.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::posix {

// What a listing knows of an entry without asking the disk: a folder (never
// a link to one), a plain file, or something else or not yet known (a link,
// a device, or a new entry whose kind the notice did not say).
enum class EntryKind : uint8_t { Missing, File, Folder, Unknown };

struct FolderEntry {
  std::string name;  // the Linux (UTF-8) name
  EntryKind kind;
};

// The entries of one folder by their folded (upper-case Windows-1251) names;
// names that differ only in case share a key.
struct FolderListing {
  std::unordered_map<std::string, std::vector<FolderEntry>> byFolded;
  // The entry named exactly utf8Name, or else the first one that folds to
  // folded; nullptr when there is none.
  const FolderEntry* Find(const std::string& utf8Name, const std::string& folded) const;
};

// Applies every change reported since the last call. False when the
// listings cannot be used: the caller looks on the disk.
bool RefreshWatchedFolders();

// The listing of linuxFolder (absolute, without "." or ".." components and
// without a trailing "/", or "/"), read and watched on first use; nullptr when
// it cannot be watched or read. Valid until the next call of either function.
const FolderListing* WatchedListing(const std::string& linuxFolder);

// Turns the watched listings on or off (on by default); off, every lookup
// reads the disk. Tests compare both ways.
void SetFolderWatch(bool on);

}  // namespace platform::posix
