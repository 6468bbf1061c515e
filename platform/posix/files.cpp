// Files of the posix platform: Linux files behind Windows paths, with the
// Windows rules that callers rely on simulated where Linux differs: sharing
// modes of open handles, read-only files that cannot be written or deleted
// (even by root), MoveFile failing on an existing target, attribute bits and
// MS-DOS times in local time.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <map>
#include <utility>

#include "platform/codepage.h"
#include "platform/find_mask.h"
#include "platform/posix/file_state.h"
#include "platform/posix/files_internal.h"
#include "platform/posix/paths.h"
#include "platform/posix/posix.h"
#include "support/cp1251.h"

namespace platform::posix {

namespace {

// The last failure of the files below on this thread (see Files::LastError).
thread_local FileError lastFailure;

bool Fail(const std::string& text, bool diskFull = false) {
  lastFailure.text = text;
  lastFailure.diskFull = diskFull;
  return false;
}

bool FailErrno(int err, const std::string& linuxPath) {
  return Fail(ErrorText(err, linuxPath), err == ENOSPC);
}

bool DiskFull() { return Fail(ErrorText(ENOSPC, ""), true); }

void SyncFolderOf(const std::string& linuxPath) {
  const size_t slash = linuxPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : linuxPath.substr(0, slash + 1);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The volume of a Windows path as Windows sees it: its drive letter or its
// UNC share; empty for a Linux path, whose volume the file system decides.
std::string VolumeOf(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])))
    return std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(path[0]))));
  if (path.size() > 2 && (path[0] == '\\' || path[0] == '/') && path[1] == path[0]) {
    size_t end = path.find_first_of("\\/", 2);
    if (end != std::string::npos) end = path.find_first_of("\\/", end + 1);
    return "unc:" + codepage::UpperCase(path.substr(2, end == std::string::npos ? end : end - 2));
  }
  return std::string();
}

// An open file. The handle keeps its own position and reads and writes with
// pread / pwrite, so that seeks and position queries cost no system call. A
// handle whose sharing keeps other writers out (everything but WriteShared
// and Append) also knows the file's size, as nobody else can change it
// meanwhile. An append handle (O_APPEND) writes with write(2), which puts
// the data at the file's end as it is at that moment, in one step.
class PosixFile : public File {
 public:
  PosixFile(int fd, const struct stat& st, bool writable, bool sizeKnown, bool append = false)
      : fd_(fd),
        id_(IdOf(st)),
        writable_(writable),
        append_(append),
        mode_(st.st_mode & 07777),
        size_(static_cast<int64_t>(st.st_size)),
        sizeKnown_(sizeKnown) {}
  ~PosixFile() override {
    ::close(fd_);
    auto range = table().open.equal_range(id_);
    for (auto it = range.first; it != range.second; ++it) {
      if (it->second.access == record_.access && it->second.share == record_.share) {
        table().open.erase(it);
        break;
      }
    }
  }
  void SetRecord(OpenRecord r) { record_ = r; }

  int32_t Read(void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    int32_t done = 0;
    while (done < count) {
      const ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + done,
                                static_cast<size_t>(count - done), static_cast<off_t>(pos_));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<int32_t>(n);
      pos_ += n;
    }
    return done;
  }

  // Writes of this file do not use up the simulated free space.
  void Uncounted() { counted_ = false; }

  int32_t Write(const void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    if (!writable_) {
      Fail(kAccessDenied);
      return 0;
    }
    if (counted_ && (faults().fullDisk || faults().freeBytes == 0)) {
      DiskFull();
      return 0;
    }
    const int32_t wanted = count;
    if (counted_ && faults().freeBytes > 0 && count > faults().freeBytes)
      count = static_cast<int32_t>(faults().freeBytes);
    int32_t done = 0;
    while (done < count) {
      const char* from = static_cast<const char*>(buffer) + done;
      const auto left = static_cast<size_t>(count - done);
      const ssize_t n =
          append_ ? ::write(fd_, from, left) : ::pwrite(fd_, from, left, static_cast<off_t>(pos_));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        FailErrno(n < 0 ? errno : ENOSPC, "");
        break;
      }
      done += static_cast<int32_t>(n);
      pos_ += n;
    }
    if (pos_ > size_) size_ = pos_;
    if (counted_ && faults().freeBytes > 0) faults().freeBytes -= done;
    if (done == count && count < wanted) DiskFull();
    return done;
  }

  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    int64_t base = 0;
    if (origin == SeekOrigin::Current) base = pos_;
    if (origin == SeekOrigin::End) {
      base = Size();
      if (base < 0) return -1;
    }
    const int64_t target = SeekPosition(base, offset);
    if (target >= 0) pos_ = target;
    return target;
  }

  int64_t Size() override {
    if (sizeKnown_) return size_;
    struct stat st;
    return ::fstat(fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
  }

  bool GetDosTime(uint32_t& dosDateTime) override {
    struct stat st;
    return ::fstat(fd_, &st) == 0 && DosFromTime(st.st_mtime, dosDateTime);
  }

  bool SetDosTime(uint32_t dosDateTime) override {
    time_t t;
    if (!writable_ || !TimeFromDos(dosDateTime, t)) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = t;
    times[1].tv_nsec = 0;
    return ::futimens(fd_, times) == 0;
  }

  // The same rules as setting them by path, without looking the path up
  // again: the permission bits this handle gave the file are its own.
  bool SetAttributes(uint32_t attributes) override {
    if (!writable_) return Fail(kAccessDenied);
    const mode_t mode = FileModeFor(mode_, attributes);
    if (mode != mode_) {
      if (::fchmod(fd_, mode) != 0) return FailErrno(errno, "");
      mode_ = mode;
    }
    table().attributes[id_] = attributes & kKeptBits;
    return true;
  }

  bool Flush() override { return ::fsync(fd_) == 0 || FailErrno(errno, ""); }

 private:
  int fd_;
  FileId id_;
  bool writable_;
  bool append_;  // O_APPEND: writes go to the end, pos_ only counts them
  mode_t mode_;  // the permission bits as this handle last saw or set them
  int64_t pos_ = 0;
  int64_t size_;    // the size this handle knows of (grows with its writes)
  bool sizeKnown_;  // no other handle may write, so size_ is the file's size
  bool counted_ = true;
  OpenRecord record_{};
};

class PosixFiles : public Files {
 public:
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode,
                             std::string* errorText) override {
    auto fail = [&](const std::string& text) -> std::unique_ptr<File> {
      Fail(text, text == ErrorText(ENOSPC, ""));
      if (errorText) *errorText = text;
      return nullptr;
    };
    const ResolvedPath entry = ResolveEntry(path);
    const std::string& lp = entry.path;
    OpenRecord rec{};
    int flags = 0;
    switch (mode) {
      case OpenMode::ReadShareRead:
        rec = {kAccessRead, kShareRead};
        flags = O_RDONLY;
        break;
      case OpenMode::ReadExclusive:
        rec = {kAccessRead, 0};
        flags = O_RDONLY;
        break;
      case OpenMode::Create:
      case OpenMode::CreateNew:
        rec = {kAccessRead | kAccessWrite, 0};
        flags = O_RDWR | O_CREAT;
        break;
      case OpenMode::WriteShared:
        rec = {kAccessWrite, kShareRead | kShareWrite | kShareDelete};
        flags = O_WRONLY;
        break;
      case OpenMode::Append:
        rec = {kAccessWrite, kShareRead | kShareWrite | kShareDelete};
        flags = O_WRONLY | O_APPEND | O_CREAT;
        break;
    }
    // Append makes a missing file too, but keeps an existing one as it is.
    const bool creating = Creates(mode) || mode == OpenMode::Append;
    struct stat st = entry.st;
    bool existed = entry.found;
    if (existed && mode == OpenMode::CreateNew) return fail(kExists);
    if (!existed && creating && !ValidNewPath(path)) return fail(kInvalidName);
    int fd = -1;
    if (!existed && creating) {
      // A new file needs no emptying; one made meanwhile by someone else is
      // treated as the existing file it now is.
      fd = ::open(lp.c_str(), flags | O_EXCL | O_CLOEXEC, 0644);
      if (fd < 0 && mode == OpenMode::CreateNew)
        return fail(errno == EEXIST ? kExists : ErrorText(errno, lp));
      if (fd < 0 && errno == EEXIST) existed = StatOf(lp, st);
    }
    if (existed) {
      if (S_ISDIR(st.st_mode)) return fail(kAccessDenied);
      if ((rec.access & kAccessWrite) && ReadOnly(st)) return fail(kAccessDenied);
      if (!SharingAllows(IdOf(st), rec.access, rec.share)) return fail(kSharing);
    }
    if (fd < 0) fd = ::open(lp.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) return fail(ErrorText(errno, lp));
    if (mode == OpenMode::Create && existed && st.st_size != 0 && ::ftruncate(fd, 0) != 0) {
      const int err = errno;
      ::close(fd);
      return fail(ErrorText(err, lp));
    }
    if (::fstat(fd, &st) != 0) {
      ::close(fd);
      return fail(kAccessDenied);
    }
    const FileId id = IdOf(st);
    if (creating && !(existed && mode == OpenMode::Append)) {
      table().attributes.erase(id);  // a created file is plain, with the archive bit
      if (!existed) NoteEntry(lp, true);
    }
    auto file =
        std::make_unique<PosixFile>(fd, st, (rec.access & kAccessWrite) != 0,
                                    (rec.share & kShareWrite) == 0, mode == OpenMode::Append);
    file->SetRecord(rec);
    const std::string& uncounted = faults().uncountedSuffix;
    if (!uncounted.empty() && path.size() >= uncounted.size() &&
        codepage::UpperCase(path.substr(path.size() - uncounted.size())) ==
            codepage::UpperCase(uncounted))
      file->Uncounted();
    table().open.emplace(id, rec);
    return file;
  }

  bool FileExists(const std::string& path) override { return KindOf(path) == EntryKind::File; }

  bool DirectoryExists(const std::string& path) override {
    return KindOf(path) == EntryKind::Folder;
  }

  bool CreateDir(const std::string& path) override {
    if (!ValidNewPath(path)) return Fail(kInvalidName);
    const std::string lp = Resolve(path);
    if (::mkdir(lp.c_str(), 0755) != 0) return FailErrno(errno, lp);
    NoteEntry(lp, true);
    return true;
  }

  bool DeleteFile(const std::string& path) override {
    if (Listed(faults().deleteFails, path)) return Fail(kSharing);
    if (Listed(faults().running, path)) return Fail(kAccessDenied);
    const ResolvedPath entry = ResolveEntry(path);
    const std::string& lp = entry.path;
    const struct stat& st = entry.st;
    if (!entry.found) return FailErrno(ENOENT, lp);
    if (S_ISDIR(st.st_mode) || ReadOnly(st)) return Fail(kAccessDenied);
    if (!DeletionAllowed(IdOf(st))) return Fail(kSharing);
    if (::unlink(lp.c_str()) != 0) return FailErrno(errno, lp);
    if (st.st_nlink <= 1) table().attributes.erase(IdOf(st));
    NoteEntry(lp, false);
    return true;
  }

  bool RemoveDir(const std::string& path) override {
    const ResolvedPath entry = ResolveEntry(path);
    const std::string& lp = entry.path;
    const struct stat& st = entry.st;
    if (!entry.found || !S_ISDIR(st.st_mode) || ReadOnly(st)) return false;
    if (::rmdir(lp.c_str()) != 0) return false;
    table().attributes.erase(IdOf(st));
    NoteEntry(lp, false);
    return true;
  }

  bool MoveFile(const std::string& from, const std::string& to) override {
    if (Listed(faults().moveFails, from) || Listed(faults().moveFails, to))
      return Fail(kAccessDenied);
    if (Listed(faults().deleteFails, from)) return Fail(kSharing);  // in use
    if (!ValidNewPath(to)) return Fail(kInvalidName);
    const ResolvedPath srcEntry = ResolveEntry(from), dstEntry = ResolveEntry(to);
    const std::string& src = srcEntry.path;
    std::string dst = dstEntry.path;
    const struct stat &st = srcEntry.st, &dstSt = dstEntry.st;
    if (!srcEntry.found) return FailErrno(ENOENT, src);
    if (dstEntry.found) {
      if (IdOf(st) != IdOf(dstSt)) return Fail(kExists);  // the target exists
      // The same entry named in another letter case: a rename to that case.
      const size_t slash = dst.rfind('/');
      const size_t sep = to.find_last_of("\\/");
      const std::string wanted =
          support::Utf8FromCp1251(sep == std::string::npos ? to : to.substr(sep + 1));
      dst = (slash == std::string::npos ? std::string() : dst.substr(0, slash + 1)) + wanted;
      if (dst == src) return true;
    }
    if (!S_ISDIR(st.st_mode) && !DeletionAllowed(IdOf(st))) return Fail(kSharing);
    // Another drive is another volume, even where Linux keeps both on one
    // file system: MoveFileA copies a file there and deletes the original.
    const std::string fromVolume = VolumeOf(from), toVolume = VolumeOf(to);
    const bool otherVolume = !fromVolume.empty() && !toVolume.empty() && fromVolume != toVolume;
    if (otherVolume || ::rename(src.c_str(), dst.c_str()) != 0) {
      if (!otherVolume && errno != EXDEV) return FailErrno(errno, dst);
      if (S_ISDIR(st.st_mode)) return Fail(kAccessDenied);
      if (!CopyFile(from, to, true)) return false;
      if (::unlink(src.c_str()) != 0) return FailErrno(errno, src);
    }
    NoteEntry(src, false);
    NoteEntry(dst, true);
    return true;
  }

  bool ReplaceFile(const std::string& from, const std::string& to) override {
    return Replace(from, to, true);
  }
  bool MoveOver(const std::string& from, const std::string& to) override {
    return Replace(from, to, false);
  }

  bool HardLink(const std::string& existing, const std::string& newName) override {
    if (!ValidNewPath(newName)) return Fail(kInvalidName);
    const std::string fromVolume = VolumeOf(existing), toVolume = VolumeOf(newName);
    if (!fromVolume.empty() && !toVolume.empty() && fromVolume != toVolume)
      return Fail(kNotSameDevice);
    const ResolvedPath srcEntry = ResolveEntry(existing), dstEntry = ResolveEntry(newName);
    if (!srcEntry.found) return FailErrno(ENOENT, srcEntry.path);
    if (S_ISDIR(srcEntry.st.st_mode)) return Fail(kAccessDenied);
    if (dstEntry.found) return Fail(kExists);
    if (::link(srcEntry.path.c_str(), dstEntry.path.c_str()) != 0)
      return FailErrno(errno, dstEntry.path);
    NoteEntry(dstEntry.path, true);
    return true;
  }

  bool DeleteAtRestart(const std::string& path) override {
    if (!ResolveEntry(path).found) return FailErrno(ENOENT, LinuxPath(path));
    ScheduledDeletions().push_back(path);
    return true;
  }

  bool ReplaceAtRestart(const std::string& from, const std::string& to) override {
    if (!ResolveEntry(from).found) return FailErrno(ENOENT, LinuxPath(from));
    if (!ValidNewPath(to)) return Fail(kInvalidName);
    ScheduledReplacements().emplace_back(from, to);
    return true;
  }

  // ReplaceFile and MoveOver; sync: the rename is on the disk before it returns.
  bool Replace(const std::string& from, const std::string& to, bool sync) {
    if (Listed(faults().moveFails, from) || Listed(faults().moveFails, to))
      return Fail(kAccessDenied);
    if (Listed(faults().deleteFails, from) || Listed(faults().deleteFails, to))
      return Fail(kSharing);
    if (Listed(faults().running, to)) return Fail(kAccessDenied);
    if (!ValidNewPath(to)) return Fail(kInvalidName);
    const std::string fromVolume = VolumeOf(from), toVolume = VolumeOf(to);
    if (!fromVolume.empty() && !toVolume.empty() && fromVolume != toVolume)
      return Fail(kNotSameDevice);
    const ResolvedPath srcEntry = ResolveEntry(from), dstEntry = ResolveEntry(to);
    const std::string &src = srcEntry.path, &dst = dstEntry.path;
    const struct stat &st = srcEntry.st, &dstSt = dstEntry.st;
    if (!srcEntry.found) return FailErrno(ENOENT, src);
    if (S_ISDIR(st.st_mode)) return Fail(kAccessDenied);
    if (!DeletionAllowed(IdOf(st))) return Fail(kSharing);
    const bool replaced = dstEntry.found;
    if (replaced) {
      if (S_ISDIR(dstSt.st_mode) || ReadOnly(dstSt)) return Fail(kAccessDenied);
      if (!DeletionAllowed(IdOf(dstSt))) return Fail(kSharing);
    }
    if (::rename(src.c_str(), dst.c_str()) != 0) return FailErrno(errno, dst);
    if (replaced && dstSt.st_nlink <= 1) table().attributes.erase(IdOf(dstSt));
    if (sync) SyncFolderOf(dst);  // the rename is on the disk once its folder is
    NoteEntry(src, false);
    if (!replaced) NoteEntry(dst, true);
    return true;
  }

  bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) override {
    if (!ValidNewPath(to)) return Fail(kInvalidName);
    const ResolvedPath srcEntry = ResolveEntry(from), dstEntry = ResolveEntry(to);
    const std::string &src = srcEntry.path, &dst = dstEntry.path;
    const struct stat &st = srcEntry.st, &dstSt = dstEntry.st;
    if (!srcEntry.found) return FailErrno(ENOENT, src);
    if (S_ISDIR(st.st_mode)) return Fail(kAccessDenied);
    const bool dstExists = dstEntry.found;
    if (dstExists) {
      if (failIfExists) return Fail(kExists);
      if (S_ISDIR(dstSt.st_mode) || ReadOnly(dstSt)) return Fail(kAccessDenied);
      if (IdOf(st) == IdOf(dstSt)) return Fail(kSharing);
      if (!SharingAllows(IdOf(dstSt), kAccessWrite, 0)) return Fail(kSharing);
    }
    if (!SharingAllows(IdOf(st), kAccessRead, kShareRead)) return Fail(kSharing);
    const int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return FailErrno(errno, src);
    const int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
      const int err = errno;
      ::close(in);
      return FailErrno(err, dst);
    }
    bool ok = true;
    char buf[65536];
    for (;;) {
      ssize_t n = ::read(in, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = FailErrno(errno, src);
      if (n <= 0) break;
      // The simulated disk takes what room it has left, as writes do.
      const int64_t room = faults().fullDisk ? 0 : faults().freeBytes;
      const bool cut = room >= 0 && n > room;
      if (cut) n = static_cast<ssize_t>(room);
      if ((n > 0 && ::write(out, buf, static_cast<size_t>(n)) != n) || cut) {
        ok = cut ? DiskFull() : FailErrno(errno, dst);
        break;
      }
      if (room > 0) faults().freeBytes -= n;
    }
    // CopyFileA keeps the last-write time and the attributes.
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(out, times);
    ::fchmod(out, st.st_mode & 07777);
    struct stat outSt;
    if (::fstat(out, &outSt) == 0) {
      auto it = table().attributes.find(IdOf(st));
      if (it != table().attributes.end()) {
        table().attributes[IdOf(outSt)] = it->second;
      } else {
        table().attributes.erase(IdOf(outSt));
      }
    }
    ::close(in);
    ::close(out);
    if (!dstExists) NoteEntry(dst, true);
    if (!ok) {
      ::unlink(dst.c_str());
      NoteEntry(dst, false);
    }
    return ok;
  }

  uint32_t GetAttributes(const std::string& path) override {
    const ResolvedPath entry = ResolveEntry(path);
    return entry.found ? AttributesOf(entry.st) : kInvalidAttributes;
  }

  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    const ResolvedPath entry = ResolveEntry(path);
    const std::string& lp = entry.path;
    const struct stat& st = entry.st;
    if (!entry.found) return false;
    if (S_ISDIR(st.st_mode)) {
      table().attributes[IdOf(st)] = attributes & (kKeptBits | kAttrReadOnly);
      return true;
    }
    const mode_t mode = FileModeFor(st.st_mode, attributes);
    if (mode != (st.st_mode & 07777) && ::chmod(lp.c_str(), mode) != 0) return false;
    table().attributes[IdOf(st)] = attributes & kKeptBits;
    return true;
  }

  bool GetDosTime(const std::string& path, uint32_t& dosDateTime) override {
    const ResolvedPath entry = ResolveEntry(path);
    return entry.found && DosFromTime(entry.st.st_mtime, dosDateTime);
  }

  bool SetDosTime(const std::string& path, uint32_t dosDateTime) override {
    const ResolvedPath entry = ResolveEntry(path);
    const std::string& lp = entry.path;
    const struct stat& st = entry.st;
    time_t t;
    if (!entry.found || ReadOnly(st) || !TimeFromDos(dosDateTime, t)) return false;
    if (!SharingAllows(IdOf(st), kAccessWrite, kShareRead | kShareWrite | kShareDelete))
      return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = t;
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, lp.c_str(), times, 0) == 0;
  }

  std::vector<FindData> Enumerate(const std::string& folder, const std::string& mask) override {
    std::vector<FindData> result;
    const std::string lp = Resolve(folder);
    DIR* dir = ::opendir(lp.c_str());
    if (!dir) return result;
    while (const dirent* e = ::readdir(dir)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      const std::string ansi = support::Cp1251(name);
      if (!MatchesMask(mask, ansi)) continue;
      struct stat st;
      if (!StatOf(lp + "/" + name, st)) continue;
      FindData d;
      d.name = ansi;
      d.attributes = AttributesOf(st);
      d.size = S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
      DosFromTime(st.st_mtime, d.dosDateTime);
      result.push_back(std::move(d));
    }
    ::closedir(dir);
    return result;
  }

  std::string TempDir() override {
    const std::string temp = "C:\\TEMP";
    if (!DirectoryExists(temp)) CreateDir(temp);
    return temp;
  }

  FileError LastError() override { return lastFailure; }

 private:
  static uint32_t AttributesOf(const struct stat& st) {
    uint32_t a = S_ISDIR(st.st_mode) ? kAttrDirectory : 0;
    auto it = table().attributes.find(IdOf(st));
    if (it != table().attributes.end()) {
      a |= it->second;
    } else if (!S_ISDIR(st.st_mode)) {
      a |= kAttrArchive;
    }
    if (ReadOnly(st)) a |= kAttrReadOnly;
    return a == 0 ? kAttrNormal : a;
  }
};

}  // namespace

std::unique_ptr<Files> MakeFiles() { return std::make_unique<PosixFiles>(); }

}  // namespace platform::posix
