// Buffered streams: TS_BufferStream puts an 8192-byte buffer in front of any
// other stream; TLFNFileStream is a buffered stream over a file stream that it
// opens by name and owns. The archive engine reads archives and writes
// extracted files only through TLFNFileStream.
//
// Buffer states:
//   0  empty: nothing buffered; the logical position is the inner stream's;
//   1  reading: [pos, end) holds read-ahead bytes not yet consumed; the inner
//      stream stands at end, so the logical position is inner - (end - pos);
//   2  writing: [buffer, pos) holds bytes not yet written; the inner stream
//      stands where they belong, so the logical position is inner + (pos - buffer).
// A Seek that keeps the logical position leaves the buffer alone; any other
// Seek writes pending bytes, drops read-ahead and repositions the inner stream.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "support/stream.h"

namespace support {

// Size of the buffer of every buffered stream.
constexpr int32_t kStreamBufferSize = 8192;

class TS_BufferStream : public TStream {
 public:
  using Hook = std::function<void(TObject* sender)>;

  // The inner stream is not owned and must outlive this stream. The buffer
  // holds kStreamBufferSize bytes unless the caller asks for another size.
  explicit TS_BufferStream(TStream* inner, int32_t bufferSize = kStreamBufferSize);
  // Writes pending bytes (state 2); the inner stream is left alone.
  ~TS_BufferStream() override;

  std::string ClassName() const override { return "TS_BufferStream"; }

  using TStream::Seek;
  int32_t Read(void* buffer, int32_t count) override;
  // Returns the bytes accepted: those written to the inner stream or still
  // buffered. When a flush fails, the bytes of this call that were in the
  // failed buffer are not counted, so WriteBuffer reports the loss.
  int32_t Write(const void* buffer, int32_t count) override;
  // Origin 0, 1 or 2; from the end, both -n and n mean n bytes before the end.
  int32_t Seek(int32_t offset, uint16_t origin) override;
  // The same with 64-bit offsets, so that files of 2 to 4 GB (archives) can
  // be read past their first 2 GB.
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

  // Reads the next block of the inner stream; false when it had no more data.
  virtual bool FillBuffer();
  // Writes the pending bytes; false when the inner stream took fewer. The
  // buffer is emptied either way.
  virtual bool FlushBuffer();
  // Steps back one byte in the read buffer and stores the byte there, so the
  // next read returns it; raises EStreamError "Putback overflow" at the start.
  virtual void PutBack(uint8_t byte);
  // Called after each fill / flush; call the hooks when set.
  virtual void AfterFill();
  virtual void AfterFlush();

  Hook OnAfterFill;
  Hook OnAfterFlush;

  uint8_t State() const { return state_; }
  TStream* InnerStream() const { return inner_; }
  int32_t BufferSize() const { return size_; }

 protected:
  // Writes pending bytes without letting an exception escape; for destructors,
  // which run while the inner stream still exists.
  void FlushPending() noexcept;

 private:
  // Bytes between the inner stream's position and the logical position.
  int64_t BufferedOffset() const;

  TStream* inner_;
  std::unique_ptr<uint8_t[]> buffer_;
  uint8_t* pos_ = nullptr;  // none: the buffer is not set up
  uint8_t* end_ = nullptr;
  int32_t size_;
  uint8_t state_ = 0;
  bool putBack_ = false;  // a byte was put back into the read buffer
};

class TLFNFileStream : public TS_BufferStream {
 public:
  // Opens or creates the file; raises the file stream's EFOpenError or
  // EFCreateError, and then no object exists.
  TLFNFileStream(const std::string& fileName, platform::OpenMode mode,
                 int32_t bufferSize = kStreamBufferSize);
  // Buffers a file stream opened already.
  TLFNFileStream(std::unique_ptr<TFileStream> file, int32_t bufferSize);
  // Writes pending bytes, then closes the file.
  ~TLFNFileStream() override;

  std::string ClassName() const override { return "TLFNFileStream"; }

  TFileStream& FileStream() { return *file_; }
  // The open file, e.g. for its last-write time.
  platform::File& Handle() { return file_->Handle(); }

 private:
  std::unique_ptr<TFileStream> file_;
};

}  // namespace support
