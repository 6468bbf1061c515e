#include "archive/decode_ahead.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "archive/huffman.h"
#include "archive/unzipper.h"

namespace archive {

namespace {

// Tells the processor that this is a wait loop (fewer wasted cycles, and the
// other hardware thread of the core runs faster).
inline void CpuRelax() {
#if defined(__i386__) || defined(__x86_64__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

// The decoder's two ends on the worker: the refill of the member extraction
// without its caller-side steps, which become items, and a flush that hands
// the chunk over.
class TDecodeAhead::WorkerIO : public TDecoderIO {
 public:
  WorkerIO(TDecodeAhead& owner, const TDecoderIO& facts) : owner_(owner), z_(owner.z_) {
    static_cast<TDecoderIO&>(*this) = facts;
  }

  uint32_t NextChunk(const uint8_t*& data) override {
    // Where the caller processes messages and honours a cancel request.
    owner_.Post(Item(Item::Refill));
    int32_t n = std::min<int32_t>(z_.current_.CompressedSize, int32_t(kInputChunk));
    if (n < 0) n = 0;
    z_.current_.CompressedSize -= n;
    uint8_t* in = z_.inBuffer_.data();
    int32_t got = z_.stream_->Read(in, n);
    if (got < n) {
      if (!z_.CanAskForNextVolume()) throw EFatalUnzipError("Premature end of file reached");
      Item volume(Item::Volume);
      volume.to = in + got;
      volume.count = uint32_t(n - got);
      owner_.Post(std::move(volume));
      got = n;
    }
    if (got > 0) data = in;
    return uint32_t(got);
  }

  void FlushOutput() override {
    if (outCount == 0) return;
    Item output(Item::Output);
    output.data = outBuf;
    output.count = outCount;
    output.compressedLeft = compressedLeft;
    owner_.Post(std::move(output));
    // The decoder writes its next chunk into the next slot.
    outBuf = owner_.NextSlot();
    outCount = 0;
  }

 private:
  TDecodeAhead& owner_;
  TUnZipper& z_;
};

TDecodeAhead::~TDecodeAhead() { Quit(); }

bool TDecodeAhead::Start(const TDecoderIO& io, TDecoder decode) {
  if (!slots_) slots_.reset(new uint8_t[size_t(kSlots) * kBufferAlloc]);
  io_ = std::make_unique<WorkerIO>(*this, io);
  io_->outBuf = SlotFor(0);
  decode_ = std::move(decode);
  return Launch([this] {
    resumed_ = false;
    posted_ = 0;
    taken_ = 0;
    outputs_ = outputsFree_ = 0;
    holdsOutput_ = false;
  });
}

TDecodeAhead::Item TDecodeAhead::Next() {
  // The next item is usually a few microseconds away: waiting for it awake
  // costs less than being put to sleep and woken by the system.
  if (posted_.load(std::memory_order_acquire) == taken_) {
    const auto until = std::chrono::steady_clock::now() + kSpinFor;
    do {
      for (int i = 0; i < 64 && posted_.load(std::memory_order_acquire) == taken_; ++i) CpuRelax();
    } while (posted_.load(std::memory_order_acquire) == taken_ &&
             std::chrono::steady_clock::now() < until);
  }
  std::unique_lock<TSyncMutex> lock(mutex_);
  if (holdsOutput_) {
    holdsOutput_ = false;
    ++outputsFree_;
    changed_.notify_all();
  }
  changed_.wait(lock, [this] { return posted_.load() > taken_ || !active_; });
  // A job stopped from this thread's side (see Stop) has nothing more:
  // decoding ends there.
  if (posted_.load() == taken_) return Item(Item::End);
  Item item = std::move(queue_[taken_ % kItems]);
  ++taken_;
  holdsOutput_ = item.kind == Item::Output;
  changed_.notify_all();
  return item;
}

void TDecodeAhead::Resume() {
  {
    std::lock_guard<TSyncMutex> lock(mutex_);
    resumed_ = true;
  }
  changed_.notify_all();
}

void TDecodeAhead::Stop() noexcept {
  StopJob();
  std::lock_guard<TSyncMutex> lock(mutex_);
  for (Item& item : queue_) item = Item();
  taken_ = posted_.load();
}

// A message box a decoder asks for on the worker becomes an item, shown by
// the caller in its place.
void TDecodeAhead::RunJob() {
  Item end(Item::End);
  try {
    TOutOfTableMemoryReport report([this](const platform::MessageBoxRequest& box) {
      Item item(Item::Box);
      item.box = box;
      Post(std::move(item));
    });
    decode_(*io_);
  } catch (const Stopped&) {
    return;
  } catch (...) {
    end.error = std::current_exception();
  }
  try {
    Post(std::move(end));
  } catch (const Stopped&) {
  }
}

// The slot after the one posted last, once the caller no longer reads it.
uint8_t* TDecodeAhead::NextSlot() {
  std::unique_lock<TSyncMutex> lock(mutex_);
  changed_.wait(lock, [&] { return stop_ || outputs_ - outputsFree_ < uint64_t(kSlots); });
  if (stop_) throw Stopped();
  return SlotFor(outputs_);
}

void TDecodeAhead::Post(Item item) {
  std::unique_lock<TSyncMutex> lock(mutex_);
  const bool output = item.kind == Item::Output;
  changed_.wait(lock, [&] { return stop_ || posted_.load() - taken_ < uint64_t(kItems); });
  if (stop_) throw Stopped();
  if (output) ++outputs_;
  const bool volume = item.kind == Item::Volume;
  resumed_ = false;
  queue_[posted_.load() % kItems] = std::move(item);
  posted_.fetch_add(1, std::memory_order_release);
  changed_.notify_all();
  if (!volume) return;
  // The caller reads the missing bytes into the input buffer meanwhile.
  changed_.wait(lock, [this] { return stop_ || resumed_; });
  if (stop_) throw Stopped();
}

}  // namespace archive
