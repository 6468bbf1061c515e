// Read-ahead of the members' compressed data on a worker thread. Traditional
// decryption is one serial chain of steps per byte, and it does not depend on
// what the decoder does with the bytes: a second thread can read the archive
// and decrypt it while the calling thread decodes, checks the CRC and writes.
// The chain of one member cannot be shortened, but the chains of two members
// are independent: the worker reads the next members ahead too, and decrypts
// a chunk of the member in hand together with one of a later member, which a
// processor runs side by side.
//
// A job is the rest of the member being extracted, from the stream's current
// position, followed by a plan: the members the caller expects to extract
// next from the same volume, each read from its local header with the
// password of the run. The caller hands it encrypted members only: reading
// alone gains nothing from a second thread, while handing each chunk over
// costs. The worker fills a ring of chunk buffers, one chunk per slot, in
// exactly the sizes that the member extraction would read itself (the chunk
// size, the last one shorter), so that the caller takes the same chunks at
// the same points as without it. The worker never opens a
// volume, raises an event or touches the user interface: at the end of the
// current volume (a read that returns fewer bytes than asked) its member
// ends there and the plan with it, and the caller goes on as it would have
// at that chunk, on its own thread. An exception raised by the worker's read
// of a chunk is handed to the caller with that chunk and raised there; one
// raised while reading a member's headers ends the plan before that member,
// which the caller then reads itself (and meets the error itself).
//
// Ownership: from Start until Stop the stream belongs to the worker, and the
// caller must not use it; the keys given to Start are copied. The chunk
// returned by Next stays valid until the next call of Next, EndMember, Claim
// or Stop.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "archive/decoder_io.h"
#include "archive/job_thread.h"
#include "archive/zip_crypto.h"
#include "archive/zip_stream.h"

namespace archive {

class TReadAhead : private TJobThread {
 public:
  // Chunks the worker may hold ahead of the caller, the one the caller is
  // using included: 512 chunks of 16000 bytes (8 MB). A later member is read
  // only as far as this reaches past the caller's position, so the slots
  // bound how much of two large members is decrypted side by side (2 MB
  // gave 0.82 s on the benchmark's stored, encrypted archive, 8 MB 0.69 to
  // 0.74 s, 10 MB 0.68 s, one chain alone 1.06 s).
  static constexpr int kSlots = 512;
  // Slots that must be free again before a worker that found the ring full
  // is woken: without it the two threads hand over every chunk the caller
  // takes, one sleep and one wake-up each, once the caller is the slower.
  static constexpr int kRefill = 64;
  // Room of one slot: that of the engine's own input buffer, so that a
  // decoder finds a chunk of the worker in a buffer of the same size.
  static constexpr int32_t kChunkCapacity = int32_t(kBufferAlloc);

  // A member the caller expects to extract after the ones before it in the
  // plan: its index, its local header's offset in the current volume, its
  // recorded compressed size (the encryption header included), the chunk
  // size its extraction reads and whether it is encrypted.
  struct Planned {
    int index = 0;
    int64_t headerOffset = 0;
    int64_t compressedSize = 0;
    int32_t chunk = 0;
    bool encrypted = false;
  };

  // Whether a worker can run beside the caller: more than one processor.
  static bool Worthwhile();

  TReadAhead() = default;
  // Stops the worker and waits for its thread.
  ~TReadAhead() override;
  TReadAhead(const TReadAhead&) = delete;
  TReadAhead& operator=(const TReadAhead&) = delete;

  // Lets the worker read the rest of the member being extracted, bytes bytes
  // (0 or more) from the stream's current position in chunks of chunk bytes
  // (at most kChunkCapacity), decrypted with a copy of keys when keys is not
  // null; then the planned members in their order, encrypted ones with
  // password. Returns false, and nothing is started, when no thread can be
  // created; the caller then reads itself.
  bool Start(ZipStream& stream, int64_t bytes, int32_t chunk, const ZipCrypto* keys,
             std::vector<Planned> plan, const std::string& password);
  // True from Start until Stop: the stream is the worker's.
  bool Started() const { return started_; }
  // Makes the planned member index the member being extracted, when it is
  // in the plan after the current one and the plan's password is password:
  // what is left of the members before it is dropped, and once the worker
  // has read its headers, check is the encryption header's last byte,
  // decrypted. False when the member is not planned, its headers could not be
  // read or the password differs: the caller then stops the worker and reads
  // the member itself.
  bool Claim(int index, const std::string& password, uint8_t& check);
  // True while the member being extracted has chunks the caller has not
  // taken.
  bool Running() const { return running_; }
  // Waits for the member's next chunk and returns its bytes, decrypted; got
  // is their number, fewer than the chunk's size only where the stream ended
  // inside it. After such a chunk the member's data is over and Keys() stand
  // behind its bytes. Raises the exception of the worker's read of this
  // chunk, if it had one.
  const uint8_t* Next(int32_t& got);
  // The keys behind the member's last chunk, once it was short.
  const ZipCrypto& Keys() const { return endKeys_; }
  // The caller is done with the member being extracted: the chunks it did
  // not take are dropped, and the worker goes on with the plan.
  void EndMember();
  // Ends the job, if one runs, and waits until the worker no longer uses
  // the stream. The stream's position is then anywhere.
  void Stop() noexcept;

 private:
  struct Slot {
    uint64_t seq = ~uint64_t(0);  // the chunk it holds, once filled
    int32_t got = 0;              // bytes read
    bool last = false;            // its member's data ends with it
    std::exception_ptr error;
  };
  // A member of the job: the rest of the one being extracted (the first),
  // or a planned one.
  struct Job {
    Planned planned;
    uint64_t firstSeq = 0, endSeq = 0;  // the numbers of its chunks
    // ---- the worker's own while the job runs
    bool opened = false;  // its headers are read
    bool decrypt = false;
    int64_t pos = 0;   // where its next chunk is read
    int64_t left = 0;  // bytes still to read
    uint64_t nextSeq = 0;
    ZipCrypto keys;
    // ---- guarded by mutex_
    bool headerRead = false;  // its headers were read, or failed
    bool headerOk = false;
    uint8_t check = 0;
    bool done = false;  // every chunk produced, or its data ended
    ZipCrypto endKeys;
  };
  // What the worker does for one member in one round: read its headers,
  // one chunk, or both.
  struct Step {
    size_t job = 0;
    bool open = false;
    bool opened = false;  // the headers could be read
    uint8_t check = 0;
    bool read = false;
    uint64_t seq = 0;
    uint8_t* data = nullptr;
    int32_t size = 0, got = 0;
    std::exception_ptr error;
  };

  void RunJob() override;
  size_t PickSteps(Step (&steps)[2], bool& finished, uint64_t& blocked);
  void OpenMember(Step& step);
  void ReadChunk(Step& step);
  void DecryptChunks(Step (&steps)[2], size_t count);
  void Publish(Step& step);

  std::unique_ptr<uint8_t[]> buffers_;  // kSlots chunks of kChunkCapacity bytes
  Slot slots_[kSlots];

  // ---- the job: written by Start while the worker is idle; the members'
  // own fields as Job says
  ZipStream* stream_ = nullptr;
  std::string password_;
  std::vector<Job> jobs_;
  int64_t streamAt_ = -1;  // the stream's position as the worker left it, or -1

  // ---- guarded by mutex_
  size_t limit_ = 0;       // members of the job still valid (a failure ends it)
  size_t current_ = 0;     // the member the caller extracts; earlier ones are dropped
  uint64_t released_ = 0;  // chunks before this one are done with
  // The worker waits for room until released_ reaches this (0: it does
  // not), and the caller wakes it no sooner.
  uint64_t roomWanted_ = 0;

  // ---- the caller's own
  bool started_ = false;
  bool running_ = false;
  uint64_t taken_ = 0;  // the next chunk to hand to the caller
  uint64_t end_ = 0;    // the end of the current member's chunks
  ZipCrypto endKeys_;
};

}  // namespace archive
