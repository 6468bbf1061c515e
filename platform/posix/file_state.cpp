// The bookkeeping behind the posix files: handles open in this process with
// their sharing modes, the attribute bits Linux cannot keep, the system's
// error texts and MS-DOS times.
#include "platform/posix/file_state.h"

#include <cerrno>
#include <cstring>

namespace platform::posix {

FileTable& table() {
  static FileTable t;
  return t;
}

const char* const kNotFound = "The system cannot find the file specified";
const char* const kPathNotFound = "The system cannot find the path specified";
const char* const kAccessDenied = "Access is denied";
const char* const kSharing =
    "The process cannot access the file because it is being used by another process";
const char* const kExists = "The file exists";
const char* const kNotSameDevice = "The system cannot move the file to a different disk drive";
const char* const kInvalidName =
    "The filename, directory name, or volume label syntax is incorrect";

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
      return "There is not enough space on the disk";
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
  dos = (static_cast<uint32_t>(tm.tm_year - 80) << 25) |
        (static_cast<uint32_t>(tm.tm_mon + 1) << 21) | (static_cast<uint32_t>(tm.tm_mday) << 16) |
        (static_cast<uint32_t>(tm.tm_hour) << 11) | (static_cast<uint32_t>(tm.tm_min) << 5) |
        static_cast<uint32_t>(tm.tm_sec / 2);
  return true;
}

bool TimeFromDos(uint32_t dos, time_t& out) {
  struct tm tm {};
  tm.tm_year = static_cast<int>(dos >> 25) + 80;
  tm.tm_mon = static_cast<int>((dos >> 21) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>((dos >> 16) & 0x1F);
  tm.tm_hour = static_cast<int>((dos >> 11) & 0x1F);
  tm.tm_min = static_cast<int>((dos >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>(dos & 0x1F) * 2;
  if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 ||
      tm.tm_sec > 59) {
    return false;
  }
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
