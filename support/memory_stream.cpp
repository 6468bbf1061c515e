#include "support/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace support {

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
  const auto size = static_cast<int64_t>(data_.size());
  if (count <= 0 || position_ >= size) return 0;
  const auto n = static_cast<int32_t>(std::min<int64_t>(count, size - position_));
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const auto end = static_cast<size_t>(position_) + static_cast<size_t>(count);
  if (end > data_.size()) data_.resize(end, '\0');
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = static_cast<int64_t>(end);
  return count;
}

int32_t TMemoryStream::Seek(int32_t offset, uint16_t origin) {
  int64_t target;
  switch (origin) {
    case soFromBeginning:
      target = offset;
      break;
    case soFromCurrent:
      target = position_ + offset;
      break;
    case soFromEnd:
      target = static_cast<int64_t>(data_.size()) + offset;
      break;
    default:
      return -1;
  }
  if (target < 0) return -1;
  position_ = target;
  return static_cast<int32_t>(target);
}

}  // namespace support
