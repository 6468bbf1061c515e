// Files of the posix platform: Linux files behind Windows paths, with the
// Windows rules that callers rely on simulated where Linux differs: sharing
// modes of open handles, read-only files that cannot be written or deleted
// (even by root), MoveFile failing on an existing target, attribute bits and
// MS-DOS times in local time.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <map>
#include <utility>

#include "platform/codepage.h"
#include "platform/posix/file_state.h"
#include "platform/posix/files_internal.h"
#include "platform/posix/paths.h"
#include "platform/posix/posix.h"
#include "support/cp1251.h"

namespace platform::posix {

namespace {

// An open file. The handle keeps its own position and reads and writes with
// pread / pwrite, so that seeks and position queries cost no system call. A
// handle whose sharing keeps other writers out (everything but WriteShared)
// also knows the file's size, as nobody else can change it meanwhile.
class PosixFile : public File {
 public:
  PosixFile(int fd, FileId id, bool writable, int64_t size, bool sizeKnown)
      : fd_(fd), id_(id), writable_(writable), size_(size), sizeKnown_(sizeKnown) {}
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

  int32_t Write(const void* buffer, int32_t count) override {
    if (count <= 0 || !writable_) return 0;
    if (faults().fullDisk || faults().freeBytes == 0) return 0;
    if (faults().freeBytes > 0 && count > faults().freeBytes)
      count = static_cast<int32_t>(faults().freeBytes);
    int32_t done = 0;
    while (done < count) {
      const ssize_t n = ::pwrite(fd_, static_cast<const char*>(buffer) + done,
                                 static_cast<size_t>(count - done), static_cast<off_t>(pos_));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += static_cast<int32_t>(n);
      pos_ += n;
    }
    if (pos_ > size_) size_ = pos_;
    if (faults().freeBytes > 0) faults().freeBytes -= done;
    return done;
  }

  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    int64_t base = 0;
    if (origin == SeekOrigin::Current) base = pos_;
    if (origin == SeekOrigin::End) {
      base = Size();
      if (base < 0) return -1;
    }
    if (offset > 0 && base > INT64_MAX - offset) return -1;
    const int64_t target = base + offset;
    if (target < 0) return -1;
    pos_ = target;
    return pos_;
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

 private:
  int fd_;
  FileId id_;
  bool writable_;
  int64_t pos_ = 0;
  int64_t size_;    // the size this handle knows of (grows with its writes)
  bool sizeKnown_;  // no other handle may write, so size_ is the file's size
  OpenRecord record_{};
};

class PosixFiles : public Files {
 public:
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode,
                             std::string* errorText) override {
    auto fail = [&](const std::string& text) -> std::unique_ptr<File> {
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
        rec = {kAccessRead | kAccessWrite, 0};
        flags = O_RDWR | O_CREAT;
        break;
      case OpenMode::WriteShared:
        rec = {kAccessWrite, kShareRead | kShareWrite | kShareDelete};
        flags = O_WRONLY;
        break;
    }
    struct stat st = entry.st;
    bool existed = entry.found;
    if (!existed && mode == OpenMode::Create && !ValidNewPath(path)) return fail(kInvalidName);
    int fd = -1;
    if (!existed && mode == OpenMode::Create) {
      // A new file needs no emptying; one made meanwhile by someone else is
      // treated as the existing file it now is.
      fd = ::open(lp.c_str(), flags | O_EXCL | O_CLOEXEC, 0644);
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
    if (mode == OpenMode::Create) {
      table().attributes.erase(id);  // a created file is plain, with the archive bit
      if (!existed) NoteEntry(lp, true);
    }
    auto file = std::make_unique<PosixFile>(fd, id, (rec.access & kAccessWrite) != 0,
                                            static_cast<int64_t>(st.st_size),
                                            (rec.share & kShareWrite) == 0);
    file->SetRecord(rec);
    table().open.emplace(id, rec);
    return file;
  }

  bool FileExists(const std::string& path) override {
    const ResolvedPath entry = ResolveEntry(path);
    return entry.found && !S_ISDIR(entry.st.st_mode);
  }

  bool DirectoryExists(const std::string& path) override {
    const ResolvedPath entry = ResolveEntry(path);
    return entry.found && S_ISDIR(entry.st.st_mode);
  }

  bool CreateDir(const std::string& path) override {
    if (!ValidNewPath(path)) return false;
    const std::string lp = Resolve(path);
    if (::mkdir(lp.c_str(), 0755) != 0) return false;
    NoteEntry(lp, true);
    return true;
  }

  bool DeleteFile(const std::string& path) override {
    if (Listed(faults().deleteFails, path)) return false;
    const ResolvedPath entry = ResolveEntry(path);
    const std::string& lp = entry.path;
    const struct stat& st = entry.st;
    if (!entry.found || S_ISDIR(st.st_mode) || ReadOnly(st)) return false;
    if (!DeletionAllowed(IdOf(st))) return false;
    if (::unlink(lp.c_str()) != 0) return false;
    if (st.st_nlink <= 1) table().attributes.erase(IdOf(st));
    NoteEntry(lp, false);
    return true;
  }

  bool RemoveDir(const std::string& path) override {
    const std::string lp = Resolve(path);
    struct stat st;
    if (!StatOf(lp, st) || !S_ISDIR(st.st_mode) || ReadOnly(st)) return false;
    if (::rmdir(lp.c_str()) != 0) return false;
    table().attributes.erase(IdOf(st));
    NoteEntry(lp, false);
    return true;
  }

  bool MoveFile(const std::string& from, const std::string& to) override {
    if (Listed(faults().moveFails, from) || Listed(faults().moveFails, to)) return false;
    if (!ValidNewPath(to)) return false;
    const std::string src = Resolve(from);
    std::string dst = Resolve(to);
    struct stat st, dstSt;
    if (!StatOf(src, st)) return false;
    if (StatOf(dst, dstSt)) {
      if (IdOf(st) != IdOf(dstSt)) return false;  // the target exists
      // The same entry named in another letter case: a rename to that case.
      const size_t slash = dst.rfind('/');
      const size_t sep = to.find_last_of("\\/");
      const std::string wanted =
          support::Utf8FromCp1251(sep == std::string::npos ? to : to.substr(sep + 1));
      dst = (slash == std::string::npos ? std::string() : dst.substr(0, slash + 1)) + wanted;
      if (dst == src) return true;
    }
    if (!S_ISDIR(st.st_mode) && !DeletionAllowed(IdOf(st))) return false;
    if (::rename(src.c_str(), dst.c_str()) != 0) {
      // Another file system: MoveFileA copies a file and deletes the original.
      if (errno != EXDEV || S_ISDIR(st.st_mode) || !CopyFile(from, to, true)) return false;
      if (::unlink(src.c_str()) != 0) return false;
    }
    NoteEntry(src, false);
    NoteEntry(dst, true);
    return true;
  }

  bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) override {
    if (!ValidNewPath(to)) return false;
    const std::string src = Resolve(from);
    const std::string dst = Resolve(to);
    struct stat st, dstSt;
    if (!StatOf(src, st) || S_ISDIR(st.st_mode)) return false;
    const bool dstExists = StatOf(dst, dstSt);
    if (dstExists) {
      if (failIfExists || S_ISDIR(dstSt.st_mode) || ReadOnly(dstSt)) return false;
      if (IdOf(st) == IdOf(dstSt)) return false;
      if (!SharingAllows(IdOf(dstSt), kAccessWrite, 0)) return false;
    }
    if (!SharingAllows(IdOf(st), kAccessRead, kShareRead)) return false;
    const int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    const int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
      ::close(in);
      return false;
    }
    bool ok = true;
    char buf[65536];
    for (;;) {
      const ssize_t n = ::read(in, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) ok = false;
      if (n <= 0) break;
      if (faults().fullDisk || ::write(out, buf, static_cast<size_t>(n)) != n) {
        ok = false;
        break;
      }
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
    const mode_t mode = (attributes & kAttrReadOnly) ? (st.st_mode & ~(S_IWUSR | S_IWGRP | S_IWOTH))
                                                     : (st.st_mode | S_IWUSR);
    if (::chmod(lp.c_str(), mode & 07777) != 0) return false;
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
