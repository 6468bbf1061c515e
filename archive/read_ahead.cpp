#include "archive/read_ahead.h"

#include <algorithm>
#include <system_error>

namespace archive {

bool TReadAhead::Worthwhile() {
  static const bool many = std::thread::hardware_concurrency() > 1;
  return many;
}

TReadAhead::~TReadAhead() {
  Stop();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

bool TReadAhead::Start(ZipStream& stream, int64_t bytes, int32_t chunk, const ZipCrypto* keys) {
  if (bytes <= 0 || chunk <= 0 || chunk > kChunkCapacity) return false;
  if (buffers_.empty()) buffers_.assign(size_t(kSlots) * kChunkCapacity, 0);
  // No job runs, so the worker does not look at these; it reads them only
  // after it has seen active_ under the lock.
  stream_ = &stream;
  left_ = bytes;
  chunk_ = chunk;
  decrypt_ = keys != nullptr;
  if (keys) keys_ = *keys;
  taken_ = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    active_ = true;
    stop_ = false;
    produced_ = 0;
    released_ = 0;
  }
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread(&TReadAhead::Work, this);
    } catch (const std::system_error&) {
      std::lock_guard<std::mutex> lock(mutex_);
      active_ = false;
      return false;
    }
  }
  changed_.notify_all();
  running_ = true;
  return true;
}

const uint8_t* TReadAhead::Next(int32_t& got) {
  std::unique_lock<std::mutex> lock(mutex_);
  // The chunk handed out before is done with: its slot may be filled again.
  released_ = taken_;
  changed_.notify_all();
  changed_.wait(lock, [this] { return produced_ > taken_ || !active_; });
  uint8_t* const buffers = buffers_.data();
  if (produced_ == taken_) {
    // The job ended before this chunk: there is nothing more to read.
    running_ = false;
    got = 0;
    return buffers;
  }
  const uint64_t index = taken_++;
  Slot& slot = slots_[index % kSlots];
  got = slot.got;
  if (slot.last) running_ = false;
  if (slot.error) {
    std::exception_ptr error = std::move(slot.error);
    slot.error = nullptr;
    lock.unlock();
    std::rethrow_exception(error);
  }
  return buffers + (index % kSlots) * kChunkCapacity;
}

void TReadAhead::Stop() noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  if (active_) {
    stop_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !active_; });
  }
  stop_ = false;
  running_ = false;
  for (Slot& slot : slots_) slot.error = nullptr;
}

void TReadAhead::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return quit_ || active_; });
    if (quit_) return;
    lock.unlock();
    RunJob();
    lock.lock();
  }
}

// One job: chunk after chunk into free slots, until the bytes are read, the
// stream ends, a read fails or the caller stops it. After the chunk that
// ends the job the worker touches neither the stream nor the keys.
void TReadAhead::RunJob() {
  for (;;) {
    uint64_t index;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stop_ || produced_ - released_ < uint64_t(kSlots); });
      if (stop_) {
        active_ = false;
        lock.unlock();
        changed_.notify_all();
        return;
      }
      index = produced_;
    }
    uint8_t* data = buffers_.data() + (index % kSlots) * kChunkCapacity;
    const int32_t size = int32_t(std::min<int64_t>(left_, chunk_));
    int32_t got = 0;
    std::exception_ptr error;
    try {
      got = stream_->Read(data, size);
    } catch (...) {
      error = std::current_exception();
    }
    if (!error && decrypt_ && got > 0) keys_.DecryptBuffer(data, size_t(got));
    left_ -= size;
    const bool last = error || got < size || left_ <= 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Slot& slot = slots_[index % kSlots];
      slot.size = size;
      slot.got = got;
      slot.last = last;
      slot.error = std::move(error);
      ++produced_;
      if (last) active_ = false;
    }
    changed_.notify_all();
    if (last) return;
  }
}

}  // namespace archive
