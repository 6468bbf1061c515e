#include "archive/zip_stream.h"

#include <cstring>
#include <vector>

#include "support/exceptions.h"

namespace archive {

namespace {

// A file stream with a read-ahead / write-behind buffer of 8192 bytes.
class BufferedFileStream : public ZipStream {
 public:
  explicit BufferedFileStream(std::unique_ptr<platform::File> file)
      : file_(std::move(file)), buffer_(kBufferSize) {}
  ~BufferedFileStream() override { Flush(); }

  int32_t Read(void* buffer, int32_t count) override {
    if (writing_) Flush();
    auto* out = static_cast<uint8_t*>(buffer);
    int32_t total = 0;
    while (count > 0) {
      if (pos_ == end_) {
        filePos_ += end_;
        pos_ = end_ = 0;
        int32_t n = file_->Read(buffer_.data(), kBufferSize);
        if (n <= 0) break;
        end_ = n;
      }
      int32_t n = std::min(count, end_ - pos_);
      std::memcpy(out, buffer_.data() + pos_, size_t(n));
      out += n;
      pos_ += n;
      count -= n;
      total += n;
    }
    return total;
  }

  int32_t Write(const void* buffer, int32_t count) override {
    if (!writing_) {
      Reposition(filePos_ + pos_);
      writing_ = true;
    }
    const auto* in = static_cast<const uint8_t*>(buffer);
    int32_t total = 0;
    while (count > 0) {
      int32_t n = std::min(count, kBufferSize - pos_);
      std::memcpy(buffer_.data() + pos_, in, size_t(n));
      in += n;
      pos_ += n;
      count -= n;
      total += n;
      if (pos_ == kBufferSize && !Flush()) break;
    }
    return total;
  }

  int64_t Seek(int64_t offset, platform::SeekOrigin origin) override {
    int64_t current = filePos_ + pos_;
    int64_t target = offset;
    if (origin == platform::SeekOrigin::Current) target = current + offset;
    if (origin == platform::SeekOrigin::End) {
      if (writing_) Flush();
      target = file_->Size() - (offset < 0 ? -offset : offset);
    }
    if (target == current && !writing_) return current;
    if (writing_) Flush();
    Reposition(target);
    return target;
  }

  int64_t Size() override {
    if (writing_) Flush();
    return file_->Size();
  }

  bool GetDosTime(uint32_t& dosDateTime) override { return file_->GetDosTime(dosDateTime); }

 private:
  static constexpr int32_t kBufferSize = 8192;

  bool Flush() {
    if (!writing_) return true;
    int32_t n = pos_;
    int32_t written = n > 0 ? file_->Write(buffer_.data(), n) : 0;
    filePos_ += n;
    pos_ = end_ = 0;
    writing_ = false;
    return written == n;
  }

  void Reposition(int64_t target) {
    if (target < 0) target = 0;
    file_->Seek(target, platform::SeekOrigin::Begin);
    filePos_ = target;
    pos_ = end_ = 0;
  }

  std::unique_ptr<platform::File> file_;
  std::vector<uint8_t> buffer_;
  int64_t filePos_ = 0;  // file position of buffer_[0]
  int32_t pos_ = 0;      // next byte in the buffer
  int32_t end_ = 0;      // end of valid read-ahead data
  bool writing_ = false;
};

}  // namespace

std::unique_ptr<ZipStream> OpenFileStream(const std::string& path, platform::OpenMode mode) {
  std::string error;
  auto file = platform::files().Open(path, mode, &error);
  if (!file) {
    if (mode == platform::OpenMode::Create)
      throw support::EFCreateError("Cannot create file \"" + path + "\". " + error);
    throw support::EFOpenError("Cannot open file \"" + path + "\". " + error);
  }
  return std::make_unique<BufferedFileStream>(std::move(file));
}

}  // namespace archive
