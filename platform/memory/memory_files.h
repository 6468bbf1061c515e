// Files kept in memory behind the platform seam: folders, files with their
// bytes, attributes and MS-DOS times, hard links and open handles with their
// sharing modes, under the same Windows rules as the posix platform (names
// matched without regard to letter case by the code page, MoveFile failing
// on an existing target, read-only files that cannot be written, replaced or
// deleted, another drive letter being another volume). Fast and without a
// trace on the disk: for the fuzz targets that run whole installations and
// for any test that wants it.
//
// Paths: "X:\a\b" (every drive exists, empty at first), "\\server\share\a",
// and an absolute Linux path "/a/b", which is one more volume; "/" and "\"
// alike. "." and ".." parts are resolved by their text, as Windows does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace platform::memory {

struct Tree;  // the volumes with their folders and files (memory_tree.h)

class MemoryFiles : public Files {
 public:
  MemoryFiles();
  ~MemoryFiles() override;
  MemoryFiles(const MemoryFiles&) = delete;
  MemoryFiles& operator=(const MemoryFiles&) = delete;

  // Forgets every file, folder and scheduled restart action and ends the
  // disk limit. Handles still open keep their files' bytes to themselves.
  void Clear();
  // When not negative, the bytes that writes and copies may still add
  // before the disk is full; writes beyond it are short, as on a full disk.
  void SetFreeBytes(int64_t bytes);
  // What DeleteAtRestart and ReplaceAtRestart were given, in order.
  std::vector<std::string> ScheduledDeletions() const;
  std::vector<std::pair<std::string, std::string>> ScheduledReplacements() const;

  std::unique_ptr<File> Open(const std::string& path, OpenMode mode,
                             std::string* errorText) override;
  bool FileExists(const std::string& path) override;
  bool DirectoryExists(const std::string& path) override;
  bool CreateDir(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  bool RemoveDir(const std::string& path) override;
  bool MoveFile(const std::string& from, const std::string& to) override;
  bool ReplaceFile(const std::string& from, const std::string& to) override;
  bool MoveOver(const std::string& from, const std::string& to) override;
  bool HardLink(const std::string& existing, const std::string& newName) override;
  bool DeleteAtRestart(const std::string& path) override;
  bool ReplaceAtRestart(const std::string& from, const std::string& to) override;
  bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) override;
  uint32_t GetAttributes(const std::string& path) override;
  bool SetAttributes(const std::string& path, uint32_t attributes) override;
  bool GetDosTime(const std::string& path, uint32_t& dosDateTime) override;
  bool SetDosTime(const std::string& path, uint32_t dosDateTime) override;
  std::vector<FindData> Enumerate(const std::string& folder, const std::string& mask) override;
  std::string TempDir() override;
  FileError LastError() override;

 private:
  bool Replace(const std::string& from, const std::string& to);
  bool CopyUnlocked(const std::string& from, const std::string& to, bool failIfExists);
  std::shared_ptr<Tree> tree_;
};

}  // namespace platform::memory
