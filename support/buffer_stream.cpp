#include "support/buffer_stream.h"

#include <algorithm>
#include <cstring>

#include "support/exceptions.h"
#include "support/format.h"
#include "support/string_resource.h"

namespace support {

namespace {
// Numbers of the stream messages in the "S_Stream" table.
constexpr int kMsgSeekError = 1;
constexpr int kMsgInvalidOrigin = 2;
constexpr int kMsgPutbackOverflow = 3;
}  // namespace

TS_BufferStream::TS_BufferStream(TStream* inner, int32_t bufferSize)
    : inner_(inner),
      buffer_(new uint8_t[static_cast<size_t>(std::max(bufferSize, int32_t{1}))]),
      size_(std::max(bufferSize, int32_t{1})) {
  end_ = buffer_.get() + size_;
}

TS_BufferStream::~TS_BufferStream() { FlushPending(); }

void TS_BufferStream::FlushPending() noexcept {
  if (state_ != 2) return;
  try {
    FlushBuffer();
  } catch (...) {
    // A destructor cannot report the failure; the bytes are lost.
  }
}

int64_t TS_BufferStream::BufferedOffset() const {
  if (state_ == 1) return pos_ - end_;
  if (state_ == 2) return pos_ - buffer_.get();
  return 0;
}

bool TS_BufferStream::FillBuffer() {
  int32_t n = inner_->Read(buffer_.get(), size_);
  if (n < 0) n = 0;
  pos_ = buffer_.get();
  end_ = buffer_.get() + n;
  state_ = n > 0 ? 1 : 0;
  putBack_ = false;
  AfterFill();
  return n > 0;
}

bool TS_BufferStream::FlushBuffer() {
  const int32_t n = pos_ ? static_cast<int32_t>(pos_ - buffer_.get()) : 0;
  const int32_t written = n > 0 ? inner_->Write(buffer_.get(), n) : 0;
  pos_ = buffer_.get();
  state_ = 0;
  AfterFlush();
  return written == n;
}

void TS_BufferStream::AfterFill() {
  if (OnAfterFill) OnAfterFill(this);
}

void TS_BufferStream::AfterFlush() {
  if (OnAfterFlush) OnAfterFlush(this);
}

int32_t TS_BufferStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  if (state_ != 1) {
    // Pending bytes go to the inner stream first; reading then continues at
    // the logical position with an empty buffer (never with stale bytes).
    if (state_ == 2) FlushBuffer();
    pos_ = end_ = buffer_.get();
  }
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t total = 0;
  while (count > 0) {
    if (pos_ == end_ && !FillBuffer()) break;
    const int32_t n = std::min(static_cast<int32_t>(end_ - pos_), count);
    std::memcpy(out, pos_, static_cast<size_t>(n));
    pos_ += n;
    out += n;
    count -= n;
    total += n;
  }
  return total;
}

int32_t TS_BufferStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  if (state_ != 2) {
    // Bytes are written at the logical position: unread read-ahead is dropped
    // by moving the inner stream back to it.
    if (state_ == 1 && pos_ != end_) {
      inner_->Seek(static_cast<int32_t>(pos_ - end_), soFromCurrent);
    }
    pos_ = buffer_.get();
    end_ = buffer_.get() + size_;
    state_ = 0;
  }
  const auto* in = static_cast<const uint8_t*>(buffer);
  int32_t total = 0;
  int32_t ownInBuffer = 0;  // bytes of this call in the buffer, not yet flushed
  while (count > 0) {
    const int32_t n = std::min(static_cast<int32_t>(end_ - pos_), count);
    std::memcpy(pos_, in, static_cast<size_t>(n));
    pos_ += n;
    in += n;
    count -= n;
    total += n;
    ownInBuffer += n;
    if (pos_ == end_) {
      if (!FlushBuffer()) {
        total -= ownInBuffer;
        break;
      }
      ownInBuffer = 0;
    }
  }
  if (pos_ != buffer_.get()) state_ = 2;
  return total;
}

int32_t TS_BufferStream::Seek(int32_t offset, uint16_t origin) {
  if (origin > soFromEnd) {
    throw Exception(Format(GetResourceString("S_Stream", kMsgInvalidOrigin), {int{origin}}));
  }
  return static_cast<int32_t>(Seek(int64_t{offset}, static_cast<TSeekOrigin>(origin)));
}

int64_t TS_BufferStream::Seek(int64_t offset, TSeekOrigin seekOrigin) {
  const auto origin = static_cast<uint16_t>(seekOrigin);
  const int64_t current = inner_->Position() + BufferedOffset();
  int64_t target;
  switch (origin) {
    case soFromBeginning:
      target = offset;
      break;
    case soFromCurrent:
      target = current + offset;
      break;
    case soFromEnd: {
      // The logical size includes bytes not yet written.
      const int64_t size = std::max(current, inner_->Size());
      const int64_t distance = offset < 0 ? -offset : offset;
      target = size - distance;
      break;
    }
    default:
      throw Exception(Format(GetResourceString("S_Stream", kMsgInvalidOrigin), {int{origin}}));
  }
  if (target == current) return target;
  // A target among the bytes just read (a header's name skipped, a step
  // back) moves within the buffer, so that reading on takes no system call.
  if (state_ == 1 && !putBack_) {
    const int64_t bufferEnd = current - BufferedOffset();
    if (target <= bufferEnd && target >= bufferEnd - (end_ - buffer_.get())) {
      pos_ = end_ - (bufferEnd - target);
      return target;
    }
  }
  if (state_ == 2 && !FlushBuffer()) {
    throw EStreamError(GetResourceString("S_Stream", kMsgSeekError));
  }
  inner_->Seek(target, TSeekOrigin::Begin);
  pos_ = nullptr;
  state_ = 0;
  return target;
}

void TS_BufferStream::PutBack(uint8_t byte) {
  if (pos_ == nullptr || pos_ <= buffer_.get()) {
    throw EStreamError(GetResourceString("S_Stream", kMsgPutbackOverflow));
  }
  --pos_;
  *pos_ = byte;
  putBack_ = true;  // the buffer no longer holds the file's bytes there
}

TLFNFileStream::TLFNFileStream(const std::string& fileName, platform::OpenMode mode,
                               int32_t bufferSize)
    : TLFNFileStream(std::make_unique<TFileStream>(fileName, mode), bufferSize) {}

TLFNFileStream::TLFNFileStream(std::unique_ptr<TFileStream> file, int32_t bufferSize)
    : TS_BufferStream(file.get(), bufferSize), file_(std::move(file)) {}

TLFNFileStream::~TLFNFileStream() {
  // The base destructor runs after file_ is gone, so pending bytes go now.
  FlushPending();
}

}  // namespace support
