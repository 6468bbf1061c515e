// Read-ahead of a member's compressed data on a worker thread. Traditional
// decryption is one serial chain of steps per byte, and it does not depend on
// what the decoder does with the bytes: a second thread can read the archive
// and decrypt it while the calling thread decodes, checks the CRC and writes.
//
// The worker fills a small ring of chunk buffers, one chunk per slot, in
// exactly the sizes that the member extraction would read itself (the chunk
// size, the last one shorter), so that the caller takes the same chunks at
// the same points as without it. The worker never opens a volume, raises an
// event or touches the user interface: at the end of the current volume (a
// read that returns fewer bytes than asked) it stops, and the caller goes on
// as it would have at that chunk, on its own thread. An exception raised by
// the worker's read is handed to the caller with the chunk it belongs to and
// raised there, when the caller asks for that chunk.
//
// Ownership: between Start and the chunk that ends the job (or Stop), the
// stream and the keys belong to the worker; the caller must not use them.
// The chunk returned by Next stays valid until the next call of Next or Stop.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/decoder_io.h"
#include "archive/zip_crypto.h"
#include "archive/zip_stream.h"

namespace archive {

class TReadAhead {
 public:
  // Chunks the worker may hold ahead of the caller, the one the caller is
  // using included: 8 chunks of 16000 bytes, so memory stays small.
  static constexpr int kSlots = 8;
  // Room of one slot: that of the engine's own input buffer, so that a
  // decoder finds a chunk of the worker in a buffer of the same size.
  static constexpr int32_t kChunkCapacity = int32_t(kBufferAlloc);

  // Whether a worker can run beside the caller: more than one processor.
  static bool Worthwhile();

  TReadAhead() = default;
  // Stops the worker and waits for its thread.
  ~TReadAhead();
  TReadAhead(const TReadAhead&) = delete;
  TReadAhead& operator=(const TReadAhead&) = delete;

  // Lets the worker read bytes bytes from the stream's current position in
  // chunks of chunk bytes (at most kChunkCapacity), decrypting them with a
  // copy of keys when keys is not null. Returns false, and nothing is
  // started, when no thread can be created; the caller then reads itself.
  bool Start(ZipStream& stream, int64_t bytes, int32_t chunk, const ZipCrypto* keys);
  // True from Start until the caller has taken the chunk that ended the job
  // (the last one, a short one or a failed one), or called Stop.
  bool Running() const { return running_; }
  // Waits for the next chunk and returns its bytes, decrypted; got is their
  // number, fewer than the chunk's size only where the stream ended inside
  // it. After such a chunk the job is over and Keys() stand behind its bytes.
  // Raises the exception of the worker's read of this chunk, if it had one.
  const uint8_t* Next(int32_t& got);
  // The worker's keys once the job is over by itself (not after Stop).
  const ZipCrypto& Keys() const { return keys_; }
  // Ends the job, if one runs, and waits until the worker no longer uses
  // the stream. The stream's position is then anywhere inside the member.
  void Stop() noexcept;

 private:
  struct Slot {
    int32_t size = 0;   // bytes asked for
    int32_t got = 0;    // bytes read
    bool last = false;  // the job ended with this chunk
    std::exception_ptr error;
  };

  void Work();
  void RunJob();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
  std::vector<uint8_t> buffers_;  // kSlots chunks of kChunkCapacity bytes
  Slot slots_[kSlots];

  // ---- the job; written by Start while no job runs
  ZipStream* stream_ = nullptr;
  int64_t left_ = 0;
  int32_t chunk_ = 0;
  bool decrypt_ = false;
  ZipCrypto keys_;

  // ---- guarded by mutex_
  bool active_ = false;    // the worker has a job it has not finished
  bool stop_ = false;      // the caller wants the job ended
  bool quit_ = false;      // the thread is to end
  uint64_t produced_ = 0;  // chunks filled in this job
  uint64_t released_ = 0;  // chunks the caller is done with

  // ---- the caller's own
  bool running_ = false;
  uint64_t taken_ = 0;  // chunks handed to the caller
};

}  // namespace archive
