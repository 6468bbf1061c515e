// The abstract stream and the plain file stream.
//
// TStream is the interface every stream of the program offers: Read and Write
// move bytes and report how many moved, Seek repositions. There are two Seeks:
// the 32-bit one with a numeric origin (0 from the beginning, 1 from the
// current position, 2 from the end), which concrete streams implement, and a
// 64-bit one with an enumerated origin, which by default forwards to the
// 32-bit one. Position and Size are built on the 64-bit Seek.
//
// TFileStream reads and writes an open platform file directly, unbuffered.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "support/object.h"

namespace support {

using TSeekOrigin = platform::SeekOrigin;

// Numeric origins of the 32-bit Seek.
constexpr uint16_t soFromBeginning = 0;
constexpr uint16_t soFromCurrent = 1;
constexpr uint16_t soFromEnd = 2;

class TStream : public TObject {
 public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  std::string ClassName() const override { return "TStream"; }

  // Returns the bytes read; fewer than count means the data ran out.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Returns the bytes accepted.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Returns the new position.
  virtual int32_t Seek(int32_t offset, uint16_t origin) = 0;
  // Forwards to the 32-bit Seek; an offset outside its range raises.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin);

  int64_t Position() { return Seek(int64_t{0}, TSeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Begin); }
  // Seeks to the end and back to where the stream stood.
  virtual int64_t Size();

  // Read and Write that raise EReadError / EWriteError when fewer than count
  // bytes move.
  void ReadBuffer(void* buffer, int32_t count);
  void WriteBuffer(const void* buffer, int32_t count);
};

// A stream over a file opened by name through the platform. Modes:
// ReadShareRead (others may read, not write), ReadExclusive (no sharing) and
// Create (creates the file or empties an existing one), CreateNew (creates a
// file that does not exist yet).
class TFileStream : public TStream {
 public:
  // Raises EFOpenError "Cannot open file "name". reason" or, in the modes
  // that create, EFCreateError "Cannot create file "name". reason".
  TFileStream(const std::string& fileName, platform::OpenMode mode);

  std::string ClassName() const override { return "TFileStream"; }

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  int32_t Seek(int32_t offset, uint16_t origin) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

  const std::string& FileName() const { return fileName_; }
  // The open file, e.g. for its last-write time.
  platform::File& Handle() { return *file_; }

 private:
  std::string fileName_;
  std::unique_ptr<platform::File> file_;
};

}  // namespace support
