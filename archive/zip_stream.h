// The stream interface the archive engine reads archives and writes members
// through: read, write, seek from the beginning, the current position or the
// end, size. Files are opened as buffered long-name file streams; the directory
// readers accept any implementation (tests use memory streams).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace archive {

class ZipStream {
 public:
  virtual ~ZipStream() = default;
  // Returns the bytes read; fewer than count at the end of the data.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Returns the bytes accepted.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t offset, platform::SeekOrigin origin) = 0;
  virtual int64_t Size() = 0;
  // Last-write time of the underlying file (MS-DOS format, local time); false
  // when there is no file or the system cannot tell.
  virtual bool GetDosTime(uint32_t& dosDateTime) = 0;
  // Writes bytes still held in a buffer; false when the file took fewer
  // (a full disk). Streams without a buffer have nothing to write.
  virtual bool Flush() { return true; }
  // Sets the file's last-write time (MS-DOS format, local time) through the
  // open handle; false when there is no file or the system refuses.
  virtual bool SetDosTime(uint32_t /*dosDateTime*/) { return false; }
  // Sets the file's attribute bits through the open handle; false when there
  // is no file or the handle cannot (they are then set by path once closed).
  virtual bool SetAttributes(uint32_t /*attributes*/) { return false; }

  int64_t Position() { return Seek(0, platform::SeekOrigin::Current); }
};

// Opens (or, with OpenMode::Create or CreateNew, creates) a file as a buffered file stream.
// Created files get a buffer of kOutputBufferSize bytes, so that the system
// sees few large writes, however small the writer's own chunks.
// A failure raises the file stream's exception (EFOpenError / EFCreateError
// with the file name and the system's error text).
constexpr int32_t kOutputBufferSize = 64 * 1024;
// Archives are read through a buffer of kArchiveBufferSize bytes: one read
// takes the headers and data of many small members, and the large ones come
// in few system calls. A seek among the buffered bytes (a header's name and
// extra field skipped) keeps them.
constexpr int32_t kArchiveBufferSize = 256 * 1024;

// bufferSize, for an archive opened for reading (at least 1).
std::unique_ptr<ZipStream> OpenFileStream(const std::string& path, platform::OpenMode mode,
                                          int32_t bufferSize = kArchiveBufferSize);

}  // namespace archive
