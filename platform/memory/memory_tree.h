// The bookkeeping behind the in-memory files (see memory_files.h): volumes
// of folders and files, the lookup of a path in them, open handles with
// their sharing modes, the system's error texts and MS-DOS times.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/system_texts.h"

namespace platform::memory {

// Access and sharing of a handle, as CreateFileA takes them.
constexpr uint32_t kAccessRead = 1, kAccessWrite = 2;
constexpr uint32_t kShareRead = 1, kShareWrite = 2, kShareDelete = 4;

struct OpenRecord {
  uint32_t access = 0;
  uint32_t share = 0;
};

// A file's contents, shared by its names (hard links) and its open handles.
struct FileData {
  std::string bytes;
  uint32_t attributes = kAttrArchive;  // read-only, hidden, system, archive
  uint32_t dosTime = 0;
  std::vector<OpenRecord> open;
};

struct Folder;

// One name in a folder: a file or a folder, the name as it was given.
struct Entry {
  std::string name;
  std::shared_ptr<FileData> file;
  std::unique_ptr<Folder> folder;
};

struct Folder {
  std::map<std::string, Entry> entries;  // by the name in upper case
  uint32_t attributes = 0;               // read-only, hidden, system, archive
  uint32_t dosTime = 0;
};

// Everything, behind one lock: the read-ahead of the archive engine uses
// its handle on another thread.
struct Tree {
  std::recursive_mutex lock;
  std::map<std::string, Folder> volumes;
  int64_t freeBytes = -1;
  std::vector<std::string> deletions;
  std::vector<std::pair<std::string, std::string>> replacements;
};

// Where a path leads. parent is null when a folder on the way is missing;
// entry is null when the last part is not there (and for a volume's root,
// where folder is the root itself).
struct Place {
  std::string volume;
  std::vector<std::string> parts;  // upper case, "." and ".." resolved
  std::string name;                // the last part as given
  Folder* parent = nullptr;
  Entry* entry = nullptr;
  Folder* folder = nullptr;  // the folder the path names, if it names one
  bool IsFile() const { return entry && entry->file; }
  bool Found() const { return folder || entry; }
};
Place Locate(Tree& tree, const std::string& path);
// Whether one place lies inside (or is) the folder of another.
bool Within(const Place& inner, const Place& outer);

// False when a path cannot name a new Windows file or folder: a character
// that Windows forbids in names (< > : " | ? * and controls) after the drive.
bool ValidNewPath(const std::string& path);

// Records the failure for LastError; returns false.
bool Fail(const char* text);
// The failure for a place that is not there: its file, or a folder on the way.
bool FailMissing(const Place& place);
FileError& LastFailure();

// The attributes GetAttributes reports for an entry.
uint32_t AttributesOf(const FileData& file);
uint32_t AttributesOf(const Folder& folder);

// Whether a new handle with access and share agrees with those open.
bool SharingAllows(const FileData& file, uint32_t access, uint32_t share);
// Whether the file may be deleted or renamed: every open handle shares deletion.
bool DeletionAllowed(const FileData& file);

// The MS-DOS stamp of the present moment, in local time.
uint32_t DosNow();
// The stamp that a file set to dos reports (an impossible day rolls over as
// the system's calendar moves it); false for a stamp with no such time.
bool NormalDos(uint32_t dos, uint32_t& out);

// Room for count more bytes on the disk, taken from the limit: how many fit.
int64_t TakeRoom(Tree& tree, int64_t count);

// An open handle of a file.
std::unique_ptr<File> MakeHandle(std::shared_ptr<Tree> tree, std::shared_ptr<FileData> file,
                                 OpenRecord record, bool append);

}  // namespace platform::memory
