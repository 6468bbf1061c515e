// Decoding of a member on a worker thread, ahead of the caller. Inflating is
// half of an extraction's work and needs nothing from the rest: a second
// processor can decode while the calling thread writes, checks the CRC and
// raises the events.
//
// The worker runs the decoder over its own input refill and output flush,
// which read the archive and hand over each 16000-byte output chunk. It never
// raises an event, processes messages, opens a volume or touches the user
// interface: it records, in order, every point where the caller's refill
// would have done so (each new input chunk), every output chunk, a volume
// whose end the data reached, a message box a decoder asked for, and the end
// of decoding (with the exception that ended it, if any). The caller replays
// these items in their order on its own thread, doing there exactly what the
// member extraction does at each of them, so events, messages, cancel
// requests, volume requests and errors come in the same order as without the
// worker. When the caller stops early (a cancel, a full disk, output past the
// declared size), it stops the worker, whose next step then unwinds.
//
// Ownership: from Start until the end item is taken or Stop returns, the
// stream, the unzipper's work buffers and the member's record belong to the
// worker, except while it waits after a volume item: then the caller reads
// the missing bytes into place and calls Resume.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

#include "archive/decoder_io.h"
#include "archive/job_thread.h"
#include "platform/platform.h"

namespace archive {

class TUnZipper;

class TDecodeAhead : private TJobThread {
 public:
  using TDecoder = std::function<void(TDecoderIO&)>;

  // Output chunks the worker may hold ahead of the caller.
  static constexpr int kSlots = 16;

  struct Item {
    enum Kind { Refill, Output, Volume, Box, End };
    explicit Item(Kind k = End) : kind(k) {}
    Kind kind;
    // Output: the chunk and compressedLeft when it was flushed.
    const uint8_t* data = nullptr;
    uint32_t count = 0;
    int32_t compressedLeft = 0;
    // Volume: where count more bytes from the next volumes belong.
    uint8_t* to = nullptr;
    // Box: the message box a decoder asked for.
    platform::MessageBoxRequest box;
    // End: what ended decoding, if it did not end by itself.
    std::exception_ptr error;
  };

  explicit TDecodeAhead(TUnZipper& owner) : z_(owner) {}
  // Stops the worker and waits for its thread.
  ~TDecodeAhead() override;
  TDecodeAhead(const TDecodeAhead&) = delete;
  TDecodeAhead& operator=(const TDecodeAhead&) = delete;

  // Lets the worker run decode over the current member, whose data the
  // stream's position starts; io holds the member's facts and buffers as the
  // member extraction set them up, but the decoder's output buffer is a slot
  // of the worker, a new one after every flush. False when no thread can be
  // created.
  bool Start(const TDecoderIO& io, TDecoder decode);
  // Waits for the next item. The chunk of an output item stays valid until
  // the next call.
  Item Next();
  // After a volume item: the missing bytes are in place.
  void Resume();
  // Ends the decoding, if it runs, and waits until the worker is idle; the
  // items not taken yet are dropped, and Next then reports the end.
  void Stop() noexcept;

 private:
  class WorkerIO;
  struct Stopped {};

  void RunJob() override;
  // The worker's side: posts an item, waiting for room; raises Stopped when
  // the caller stopped the job.
  void Post(Item item);
  uint8_t* NextSlot();
  uint8_t* SlotFor(uint64_t index) { return slots_.get() + index % kSlots * kBufferAlloc; }

  TUnZipper& z_;
  std::unique_ptr<uint8_t[]> slots_;  // kSlots output chunks
  static constexpr int kItems = 64;
  // How long the caller waits awake for the next item before it sleeps.
  static constexpr std::chrono::microseconds kSpinFor{100};
  Item queue_[kItems];  // items posted and not yet taken

  // ---- the job: written by Start while the worker is idle
  std::unique_ptr<TDecoderIO> io_;
  TDecoder decode_;

  // ---- guarded by mutex_
  bool resumed_ = false;
  std::atomic<uint64_t> posted_{0};         // items posted (read unlocked while spinning)
  uint64_t taken_ = 0;                      // items taken
  uint64_t outputs_ = 0, outputsFree_ = 0;  // output chunks posted, and released
  bool holdsOutput_ = false;                // the caller holds the last output taken
};

}  // namespace archive
