// Windows paths on Linux: translation, case-insensitive lookup and the
// conversions of names between Windows-1251 and UTF-8.
#pragma once

#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/posix/folder_watch.h"

namespace platform::posix {

// The Linux (UTF-8) path of a Windows-1251 path, resolved without regard to
// letter case as far as it exists.
std::string Resolve(const std::string& windowsPath);

// The same, with the entry's stat (links followed) when it exists, so that
// callers need not look it up again.
struct ResolvedPath {
  std::string path;
  bool found = false;
  struct stat st {};
};
ResolvedPath ResolveEntry(const std::string& windowsPath);

// Whether a path names a folder, something else (File: a file, or a link
// to one, or a device) or nothing, answered from the watched listings where
// they know (see folder_watch.h), else from the disk. Never Unknown.
// linuxPath, when given, receives the resolved path.
EntryKind KindOf(const std::string& windowsPath, std::string* linuxPath = nullptr);

// False when a path cannot name a new Windows file or folder: a character
// that Windows forbids in names (< > : " | ? * and control characters) after
// the drive prefix.
bool ValidNewPath(const std::string& windowsPath);

// Keeps the lookup cache current after this platform added or removed the
// entry at linuxPath.
void NoteEntry(const std::string& linuxPath, bool added);

// True when two Windows paths name the same thing by their text ("/" and "\"
// alike, letter case ignored by the code page).
bool SamePathText(const std::string& a, const std::string& b);

// Whether a path is listed (see Faults).
bool Listed(const std::vector<std::string>& paths, const std::string& path);

}  // namespace platform::posix
