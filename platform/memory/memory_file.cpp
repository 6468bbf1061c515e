// An open handle of an in-memory file: its own position over the file's
// bytes, which its names and the other handles share.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/memory/memory_tree.h"

namespace platform::memory {

namespace {

class MemoryFile : public File {
 public:
  MemoryFile(std::shared_ptr<Tree> tree, std::shared_ptr<FileData> file, OpenRecord record,
             bool append)
      : tree_(std::move(tree)), file_(std::move(file)), record_(record), append_(append) {}
  ~MemoryFile() override {
    std::lock_guard<std::recursive_mutex> hold(tree_->lock);
    auto& open = file_->open;
    for (auto it = open.begin(); it != open.end(); ++it) {
      if (it->access == record_.access && it->share == record_.share) {
        open.erase(it);
        break;
      }
    }
  }

  int32_t Read(void* buffer, int32_t count) override {
    std::lock_guard<std::recursive_mutex> hold(tree_->lock);
    const std::string& bytes = file_->bytes;
    if (count <= 0 || !(record_.access & kAccessRead) || pos_ >= int64_t(bytes.size())) return 0;
    const auto n = static_cast<int32_t>(std::min<int64_t>(count, int64_t(bytes.size()) - pos_));
    std::memcpy(buffer, bytes.data() + pos_, size_t(n));
    pos_ += n;
    return n;
  }

  int32_t Write(const void* buffer, int32_t count) override {
    std::lock_guard<std::recursive_mutex> hold(tree_->lock);
    if (count <= 0) return 0;
    if (!(record_.access & kAccessWrite)) {
      Fail(kAccessDenied);
      return 0;
    }
    std::string& bytes = file_->bytes;
    if (append_) pos_ = int64_t(bytes.size());
    const int64_t end = pos_ + count;
    const int64_t grows = end > int64_t(bytes.size()) ? end - int64_t(bytes.size()) : 0;
    const int64_t room = TakeRoom(*tree_, grows);
    const auto done = static_cast<int32_t>(count - (grows - room));
    if (pos_ + done > int64_t(bytes.size())) bytes.resize(size_t(pos_ + done));
    std::memcpy(bytes.data() + pos_, buffer, size_t(done));
    pos_ += done;
    file_->dosTime = DosNow();
    if (done < count) Fail(kDiskFull);
    return done;
  }

  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    std::lock_guard<std::recursive_mutex> hold(tree_->lock);
    int64_t base = 0;
    if (origin == SeekOrigin::Current) base = pos_;
    if (origin == SeekOrigin::End) base = int64_t(file_->bytes.size());
    const int64_t target = SeekPosition(base, offset);
    if (target >= 0) pos_ = target;
    return target;
  }

  int64_t Size() override {
    std::lock_guard<std::recursive_mutex> hold(tree_->lock);
    return int64_t(file_->bytes.size());
  }

  bool GetDosTime(uint32_t& dosDateTime) override {
    std::lock_guard<std::recursive_mutex> hold(tree_->lock);
    dosDateTime = file_->dosTime;
    return true;
  }

  bool SetDosTime(uint32_t dosDateTime) override {
    std::lock_guard<std::recursive_mutex> hold(tree_->lock);
    uint32_t stamp = 0;
    if (!(record_.access & kAccessWrite) || !NormalDos(dosDateTime, stamp)) return false;
    file_->dosTime = stamp;
    return true;
  }

  bool SetAttributes(uint32_t attributes) override {
    std::lock_guard<std::recursive_mutex> hold(tree_->lock);
    if (!(record_.access & kAccessWrite)) return Fail(kAccessDenied);
    file_->attributes = attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive);
    return true;
  }

  bool Flush() override { return true; }

 private:
  std::shared_ptr<Tree> tree_;
  std::shared_ptr<FileData> file_;
  OpenRecord record_;
  bool append_;
  int64_t pos_ = 0;
};

}  // namespace

std::unique_ptr<File> MakeHandle(std::shared_ptr<Tree> tree, std::shared_ptr<FileData> file,
                                 OpenRecord record, bool append) {
  file->open.push_back(record);
  return std::make_unique<MemoryFile>(std::move(tree), std::move(file), record, append);
}

}  // namespace platform::memory
