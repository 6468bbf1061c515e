// The bookkeeping behind the posix files: handles open in this process with
// their sharing modes, the attribute bits Linux cannot keep, the system's
// error texts and MS-DOS times.
#include "platform/posix/file_state.h"

#include <cerrno>
#include <cstring>

#include "platform/dos_fields.h"

namespace platform::posix {

FileTable& table() {
  static FileTable t;
  return t;
}

bool StatOf(const std::string& linuxPath, struct stat& st) {
  return ::stat(linuxPath.c_str(), &st) == 0;
}

bool ReadOnly(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) {
    auto it = table().attributes.find(IdOf(st));
    return it != table().attributes.end() && (it->second & kAttrReadOnly);
  }
  return (st.st_mode & S_IWUSR) == 0;
}

mode_t FileModeFor(mode_t fileMode, uint32_t attributes) {
  const mode_t mode = (attributes & kAttrReadOnly) ? (fileMode & ~(S_IWUSR | S_IWGRP | S_IWOTH))
                                                   : (fileMode | S_IWUSR);
  return mode & 07777;
}

std::string ErrorText(int err, const std::string& linuxPath) {
  switch (err) {
    case ENOENT: {
      const size_t slash = linuxPath.rfind('/');
      struct stat st;
      if (slash != std::string::npos && slash > 0 && !StatOf(linuxPath.substr(0, slash), st)) {
        return kPathNotFound;
      }
      return kNotFound;
    }
    case ENOTDIR:
      return kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
      return kAccessDenied;
    case EEXIST:
      return kExists;
    case ENOSPC:
      return kDiskFull;
    default:
      return std::strerror(err);
  }
}

bool SharingAllows(const FileId& id, uint32_t access, uint32_t share) {
  auto range = table().open.equal_range(id);
  for (auto it = range.first; it != range.second; ++it) {
    const OpenRecord& h = it->second;
    if ((access & kAccessRead) && !(h.share & kShareRead)) return false;
    if ((access & kAccessWrite) && !(h.share & kShareWrite)) return false;
    if ((h.access & kAccessRead) && !(share & kShareRead)) return false;
    if ((h.access & kAccessWrite) && !(share & kShareWrite)) return false;
  }
  return true;
}

bool DeletionAllowed(const FileId& id) {
  auto range = table().open.equal_range(id);
  for (auto it = range.first; it != range.second; ++it) {
    if (!(it->second.share & kShareDelete)) return false;
  }
  return true;
}

bool DosFromTime(time_t t, uint32_t& dos) {
  struct tm tm;
  if (!::localtime_r(&t, &tm) || tm.tm_year < 80 || tm.tm_year > 207) return false;
  dos = DosOf(tm);
  return true;
}

bool TimeFromDos(uint32_t dos, time_t& out) {
  struct tm tm;
  if (!DosFields(dos, tm)) return false;
  // The wall-clock time read as UTC, then moved by the zone's offset at that
  // moment. localtime_r takes the zone once per process, where mktime looks
  // at the zone file again on every call (a stat per extracted file). Near a
  // change of the offset the second pass takes the offset in force then.
  const time_t wall = ::timegm(&tm);
  if (wall == static_cast<time_t>(-1)) return false;
  struct tm local;
  if (!::localtime_r(&wall, &local)) return false;
  time_t t = wall - local.tm_gmtoff;
  if (!::localtime_r(&t, &local)) return false;
  out = wall - local.tm_gmtoff;
  return true;
}

}  // namespace platform::posix
