#include "archive/read_ahead.h"

#include <algorithm>
#include <thread>

#include "archive/zip_constants.h"
#include "archive/zip_records.h"

namespace archive {

using platform::SeekOrigin;

namespace {

uint64_t ChunksOf(int64_t bytes, int32_t chunk) {
  return bytes > 0 ? uint64_t((bytes + chunk - 1) / chunk) : 0;
}

}  // namespace

bool TReadAhead::Worthwhile() {
  static const bool many = std::thread::hardware_concurrency() > 1;
  return many;
}

TReadAhead::~TReadAhead() { Quit(); }

bool TReadAhead::Start(ZipStream& stream, int64_t bytes, int32_t chunk, const ZipCrypto* keys,
                       std::vector<Planned> plan, const std::string& password) {
  if (chunk <= 0 || chunk > kChunkCapacity || (bytes <= 0 && plan.empty())) return false;
  for (const Planned& p : plan)
    if (p.chunk <= 0 || p.chunk > kChunkCapacity) return false;
  // Left uninitialised: the system gives the memory pages only as slots are
  // first filled, so a small archive does not cost the whole ring. Only the
  // bytes a read delivered are ever handed out.
  if (!buffers_) buffers_.reset(new uint8_t[size_t(kSlots) * kChunkCapacity]);
  // No job runs, so the worker does not look at these; it reads them only
  // after it has seen active_ under the lock.
  stream_ = &stream;
  password_ = password;
  streamAt_ = -1;
  jobs_.clear();
  jobs_.reserve(plan.size() + 1);
  Job& rest = jobs_.emplace_back();
  rest.planned.index = -1;
  rest.planned.chunk = chunk;
  rest.opened = rest.headerRead = rest.headerOk = true;
  rest.decrypt = keys != nullptr;
  if (keys) rest.keys = *keys;
  rest.pos = stream.Position();
  rest.left = std::max<int64_t>(bytes, 0);
  rest.endSeq = ChunksOf(rest.left, chunk);
  rest.done = rest.endSeq == 0;
  for (const Planned& p : plan) {
    const uint64_t from = jobs_.back().endSeq;
    Job& job = jobs_.emplace_back();
    job.planned = p;
    job.decrypt = p.encrypted;
    job.left = p.compressedSize - (p.encrypted ? zip::kEncryptionHeaderSize : 0);
    job.firstSeq = job.nextSeq = from;
    job.endSeq = from + ChunksOf(job.left, p.chunk);
  }
  for (Slot& slot : slots_) slot = Slot();
  if (!Launch([this] {
        limit_ = jobs_.size();
        current_ = 0;
        released_ = 0;
        roomWanted_ = 0;
      }))
    return false;
  started_ = true;
  taken_ = 0;
  end_ = jobs_[0].endSeq;
  running_ = end_ > 0;
  return true;
}

bool TReadAhead::Claim(int index, const std::string& password, uint8_t& check) {
  if (!started_) return false;
  std::unique_lock<TSyncMutex> lock(mutex_);
  size_t j = current_ + 1;
  while (j < limit_ && jobs_[j].planned.index != index) ++j;
  running_ = false;
  if (j >= limit_) return false;
  // The members before it are done with: the worker drops what is left.
  current_ = j;
  released_ = std::max(released_, jobs_[j].firstSeq);
  taken_ = end_ = released_;
  changed_.notify_all();
  Job& job = jobs_[j];
  changed_.wait(lock, [&] { return job.headerRead || !active_; });
  if (!job.headerRead || !job.headerOk || (job.planned.encrypted && password != password_))
    return false;
  check = job.check;
  end_ = job.endSeq;
  running_ = taken_ < end_;
  return true;
}

const uint8_t* TReadAhead::Next(int32_t& got) {
  std::unique_lock<TSyncMutex> lock(mutex_);
  // The chunk handed out before is done with: its slot may be filled again.
  released_ = std::max(released_, taken_);
  if (released_ >= roomWanted_) changed_.notify_all();
  Slot& slot = slots_[taken_ % kSlots];
  changed_.wait(lock, [&] { return slot.seq == taken_ || !active_; });
  uint8_t* const data = buffers_.get() + (taken_ % kSlots) * kChunkCapacity;
  if (slot.seq != taken_) {
    // The job ended before this chunk: there is nothing more to read.
    running_ = false;
    got = 0;
    return data;
  }
  ++taken_;
  got = slot.got;
  if (slot.last || taken_ == end_) {
    running_ = false;
    endKeys_ = jobs_[current_].endKeys;
  }
  if (slot.error) {
    std::exception_ptr error = std::move(slot.error);
    slot.error = nullptr;
    lock.unlock();
    std::rethrow_exception(error);
  }
  return data;
}

void TReadAhead::EndMember() {
  running_ = false;
  if (!started_) return;
  std::lock_guard<TSyncMutex> lock(mutex_);
  released_ = std::max(released_, end_);
  taken_ = released_;
  if (released_ >= roomWanted_) changed_.notify_all();
}

void TReadAhead::Stop() noexcept {
  // Nothing started since the last stop: no job runs and no slot holds an
  // error. The caller reading a plain member asks this for every chunk.
  if (!started_) {
    running_ = false;
    return;
  }
  StopJob();
  std::lock_guard<TSyncMutex> lock(mutex_);
  started_ = false;
  running_ = false;
  for (Slot& slot : slots_) slot.error = nullptr;
}

// One job: round after round, the headers and the next chunk of at most two
// members (the first ones not done, as far as free slots reach), decrypted
// side by side, until every member is done, a failure ends the plan or the
// caller stops it.
void TReadAhead::RunJob() {
  for (;;) {
    Step steps[2];
    size_t count = 0;
    {
      std::unique_lock<TSyncMutex> lock(mutex_);
      for (;;) {
        bool finished = false;
        uint64_t blocked = 0;
        if (!stop_) count = PickSteps(steps, finished, blocked);
        if (stop_ || finished) return;
        if (count > 0) break;
        // The ring is full up to blocked: sleep until kRefill slots are free
        // (or the caller claims, stops or ends the job, which wake it too).
        roomWanted_ = blocked >= released_ + kSlots ? blocked + kRefill - kSlots : 0;
        changed_.wait(lock);
        roomWanted_ = 0;
      }
    }
    for (size_t i = 0; i < count; ++i) {
      if (steps[i].open) OpenMember(steps[i]);
      if (steps[i].read && (!steps[i].open || steps[i].opened)) ReadChunk(steps[i]);
    }
    DecryptChunks(steps, count);
    {
      std::lock_guard<TSyncMutex> lock(mutex_);
      for (size_t i = 0; i < count; ++i) Publish(steps[i]);
    }
    changed_.notify_all();
  }
}

// Under the lock: the work of this round. finished: no member is left;
// blocked: with no step, the chunk that waits for a free slot.
size_t TReadAhead::PickSteps(Step (&steps)[2], bool& finished, uint64_t& blocked) {
  size_t count = 0;
  finished = true;
  for (size_t j = current_; j < limit_ && count < 2; ++j) {
    Job& job = jobs_[j];
    if (job.done) continue;
    // The caller went past the rest of this member.
    if (job.opened && job.nextSeq < released_) {
      job.done = true;
      continue;
    }
    finished = false;
    Step& step = steps[count];
    step = Step();
    step.job = j;
    step.open = !job.opened;
    step.seq = job.nextSeq;
    step.read = step.seq < job.endSeq && step.seq < released_ + kSlots;
    if (step.open || step.read) ++count;
    // Later members' chunks lie further out still.
    if (!step.read) {
      blocked = step.seq;
      break;
    }
  }
  return count;
}

// Reads a planned member's local header and encryption header, exactly as
// the caller would. A failure ends the plan before this member.
void TReadAhead::OpenMember(Step& step) {
  Job& job = jobs_[step.job];
  job.opened = true;
  streamAt_ = -1;
  try {
    uint8_t header[zip::kLocalHeaderSize];
    SkipLocalHeader(*stream_, job.planned.headerOffset, header);
    if (job.planned.encrypted) step.check = job.keys.ReadHeader(password_, *stream_);
    job.pos = streamAt_ = stream_->Position();
    step.opened = true;
  } catch (...) {
    step.opened = false;
  }
}

void TReadAhead::ReadChunk(Step& step) {
  Job& job = jobs_[step.job];
  step.data = buffers_.get() + (step.seq % kSlots) * kChunkCapacity;
  step.size = int32_t(std::min<int64_t>(job.left, job.planned.chunk));
  try {
    if (streamAt_ != job.pos) stream_->Seek(job.pos, SeekOrigin::Begin);
    step.got = stream_->Read(step.data, step.size);
    job.pos += step.got;
    streamAt_ = job.pos;
  } catch (...) {
    step.error = std::current_exception();
    streamAt_ = -1;
  }
}

void TReadAhead::DecryptChunks(Step (&steps)[2], size_t count) {
  bool want[2] = {};
  for (size_t i = 0; i < count; ++i)
    want[i] = steps[i].got > 0 && !steps[i].error && jobs_[steps[i].job].decrypt;
  if (want[0] && want[1]) {
    ZipCrypto::DecryptTwo(jobs_[steps[0].job].keys, steps[0].data, size_t(steps[0].got),
                          jobs_[steps[1].job].keys, steps[1].data, size_t(steps[1].got));
    return;
  }
  for (size_t i = 0; i < count; ++i)
    if (want[i]) jobs_[steps[i].job].keys.DecryptBuffer(steps[i].data, size_t(steps[i].got));
}

// Under the lock: hands the round's results to the caller, unless the
// caller has gone past them or a failure ended the plan before them.
void TReadAhead::Publish(Step& step) {
  Job& job = jobs_[step.job];
  if (step.job < current_ || step.job >= limit_) {
    job.done = true;
    return;
  }
  if (step.open) {
    job.headerRead = true;
    job.headerOk = step.opened;
    job.check = step.check;
    if (!step.opened) {
      job.done = true;
      limit_ = step.job;
      return;
    }
  }
  if (!step.read) {
    if (job.nextSeq == job.endSeq) job.done = true;
    return;
  }
  if (step.seq < released_) {
    job.done = true;
    return;
  }
  job.left -= step.size;
  job.nextSeq = step.seq + 1;
  const bool ended = step.error || step.got < step.size;
  const bool last = ended || job.left <= 0;
  Slot& slot = slots_[step.seq % kSlots];
  slot.got = step.got;
  slot.last = last;
  slot.error = std::move(step.error);
  slot.seq = step.seq;
  if (!last) return;
  job.done = true;
  job.endKeys = job.keys;
  // The volume ended inside this member, or its read failed: what follows
  // in the plan is not where the plan put it.
  if (ended) limit_ = std::min(limit_, step.job + 1);
}

}  // namespace archive
