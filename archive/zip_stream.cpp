#include "archive/zip_stream.h"

#include "support/buffer_stream.h"

namespace archive {

namespace {

// The engine's view of a buffered long-name file stream.
class FileZipStream : public ZipStream {
 public:
  FileZipStream(const std::string& path, platform::OpenMode mode, int32_t bufferSize)
      : FileZipStream(Open(path, mode, bufferSize)) {}

  // A read of at least a buffer's size, while the buffer holds no unread
  // bytes, goes straight to the file: one system call and no copy, where the
  // buffer would take several and copy each block again.
  int32_t Read(void* buffer, int32_t count) override {
    if (count >= stream_.BufferSize() && stream_.State() != 2) {
      support::TFileStream& file = stream_.FileStream();
      if (stream_.Position() == file.Position()) return file.Read(buffer, count);
    }
    return stream_.Read(buffer, count);
  }
  int32_t Write(const void* buffer, int32_t count) override { return stream_.Write(buffer, count); }
  int64_t Seek(int64_t offset, platform::SeekOrigin origin) override {
    return stream_.Seek(offset, origin);
  }
  // Without bytes waiting to be written, the file's size is the stream's,
  // asked of the handle: the stream's own answer seeks to the end and back,
  // which empties its buffer and costs the next read a system call.
  int64_t Size() override {
    return stream_.State() == 2 ? stream_.Size() : stream_.Handle().Size();
  }
  bool GetDosTime(uint32_t& dosDateTime) override {
    return stream_.Handle().GetDosTime(dosDateTime);
  }
  bool Flush() override { return stream_.State() != 2 || stream_.FlushBuffer(); }
  bool SetDosTime(uint32_t dosDateTime) override {
    return stream_.Handle().SetDosTime(dosDateTime);
  }
  bool SetAttributes(uint32_t attributes) override {
    return stream_.Handle().SetAttributes(attributes);
  }

 private:
  struct Opened {
    std::unique_ptr<support::TFileStream> file;
    int32_t bufferSize;
  };
  // A file read through a buffer larger than itself gets one of its own
  // size (at least a byte): it is read whole either way, and a small
  // archive, opened again for each comment asked, then does not allocate
  // the whole read buffer each time.
  static Opened Open(const std::string& path, platform::OpenMode mode, int32_t bufferSize) {
    auto file = std::make_unique<support::TFileStream>(path, mode);
    if (platform::Creates(mode)) return {std::move(file), kOutputBufferSize};
    const int64_t size = file->Handle().Size();
    if (size < bufferSize) bufferSize = size > 1 ? int32_t(size) : 1;
    return {std::move(file), bufferSize};
  }
  explicit FileZipStream(Opened opened) : stream_(std::move(opened.file), opened.bufferSize) {}

  support::TLFNFileStream stream_;
};

}  // namespace

std::unique_ptr<ZipStream> OpenFileStream(const std::string& path, platform::OpenMode mode,
                                          int32_t bufferSize) {
  return std::make_unique<FileZipStream>(path, mode, bufferSize);
}

}  // namespace archive
