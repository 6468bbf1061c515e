// A stream over a block of memory that grows as it is written, for building
// and reading data without a file.
#pragma once

#include <cstdint>
#include <string>

#include "support/stream.h"

namespace support {

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string data) : data_(std::move(data)) {}

  std::string ClassName() const override { return "TMemoryStream"; }

  int32_t Read(void* buffer, int32_t count) override;
  // Writing past the end fills the gap with zero bytes.
  int32_t Write(const void* buffer, int32_t count) override;
  // Returns -1 for an unknown origin or a negative target.
  int32_t Seek(int32_t offset, uint16_t origin) override;

  const std::string& Data() const { return data_; }
  void SetData(std::string data) {
    data_ = std::move(data);
    position_ = 0;
  }

 private:
  std::string data_;
  int64_t position_ = 0;
};

}  // namespace support
