// The bookkeeping behind the posix files (see files.cpp).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "platform/system_texts.h"

namespace platform::posix {

// Access and sharing of a handle, as CreateFileA takes them.
constexpr uint32_t kAccessRead = 1, kAccessWrite = 2;
constexpr uint32_t kShareRead = 1, kShareWrite = 2, kShareDelete = 4;

using FileId = std::pair<dev_t, ino_t>;

struct OpenRecord {
  uint32_t access;
  uint32_t share;
};

// Handles open in this process and the attribute bits Linux cannot keep.
struct FileTable {
  std::multimap<FileId, OpenRecord> open;
  std::map<FileId, uint32_t> attributes;  // hidden, system, archive (and read-only of folders)
};
FileTable& table();

// The attribute bits kept in the table.
constexpr uint32_t kKeptBits = kAttrHidden | kAttrSystem | kAttrArchive;

bool StatOf(const std::string& linuxPath, struct stat& st);
inline FileId IdOf(const struct stat& st) { return {st.st_dev, st.st_ino}; }
// Files keep read-only as the write permission; folders in the table, since a
// read-only folder on Windows still takes new files.
bool ReadOnly(const struct stat& st);
// The permission bits of a plain file of mode fileMode once attributes are
// set: read-only takes every write permission away, its absence gives the
// owner's back.
mode_t FileModeFor(mode_t fileMode, uint32_t attributes);
// The text of an errno value for the Linux path that failed.
std::string ErrorText(int err, const std::string& linuxPath);
// Whether a new handle with access and share agrees with those already open.
bool SharingAllows(const FileId& id, uint32_t access, uint32_t share);
// Whether the file may be deleted or renamed: every open handle must share deletion.
bool DeletionAllowed(const FileId& id);
// Local time to MS-DOS date (high word) and time; false for a time that the
// format cannot hold (before 1980, after 2107).
bool DosFromTime(time_t t, uint32_t& dos);
// MS-DOS date-time in local time to time_t; false for an impossible stamp.
bool TimeFromDos(uint32_t dos, time_t& out);

}  // namespace platform::posix
