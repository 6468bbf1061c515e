#include "support/stream.h"

#include <limits>

#include "support/exceptions.h"
#include "support/format.h"

namespace support {

int64_t TStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset < std::numeric_limits<int32_t>::min() ||
      offset > std::numeric_limits<int32_t>::max()) {
    throw EStreamError(Format("Seek offset out of range (%d)", {static_cast<long long>(offset)}));
  }
  return Seek(static_cast<int32_t>(offset), static_cast<uint16_t>(origin));
}

int64_t TStream::Size() {
  const int64_t position = Seek(int64_t{0}, TSeekOrigin::Current);
  const int64_t size = Seek(int64_t{0}, TSeekOrigin::End);
  Seek(position, TSeekOrigin::Begin);
  return size;
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

TFileStream::TFileStream(const std::string& fileName, platform::OpenMode mode)
    : fileName_(fileName) {
  std::string reason;
  file_ = platform::files().Open(fileName, mode, &reason);
  if (!file_) {
    if (platform::Creates(mode)) {
      throw EFCreateError(Format("Cannot create file \"%s\". %s", {fileName, reason}));
    }
    throw EFOpenError(Format("Cannot open file \"%s\". %s", {fileName, reason}));
  }
}

int32_t TFileStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const int32_t n = file_->Read(buffer, count);
  return n < 0 ? 0 : n;
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const int32_t n = file_->Write(buffer, count);
  return n < 0 ? 0 : n;
}

int32_t TFileStream::Seek(int32_t offset, uint16_t origin) {
  if (origin > soFromEnd) return -1;
  return static_cast<int32_t>(file_->Seek(offset, static_cast<TSeekOrigin>(origin)));
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  return file_->Seek(offset, origin);
}

}  // namespace support
