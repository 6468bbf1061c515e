#include "archive/member_io.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "archive/crc32.h"
#include "archive/zip_constants.h"

namespace archive {

namespace {

int RoundedPercent(int64_t done, int64_t total) {
  if (total <= 0) return 0;
  double p = std::nearbyint(double(done) * 100.0 / double(total));
  return p > 100 ? 100 : int(p);
}

}  // namespace

TMemberExtractor::TMemberExtractor(TUnZipper& owner, ZipStream& output)
    : z_(owner), out_(output), ahead_(owner.readAhead_.get()) {
  window = z_.window_.get();
  outBuf = z_.outBuffer_.data();
  flags = uint16_t(z_.current_.Flags);
  uncompressedSize = z_.current_.UncompressedSize;
  compressedSize = z_.current_.CompressedSize;
  compressedLeft = z_.current_.CompressedSize;
}

TMemberExtractor::~TMemberExtractor() {
  if (ahead_) ahead_->EndMember();
}

uint32_t TMemberExtractor::NextChunk(const uint8_t*& data) {
  ProcessMessages();
  int32_t n = std::min<int32_t>(z_.current_.CompressedSize, int32_t(kInputChunk));
  if (n < 0) n = 0;
  z_.current_.CompressedSize -= n;
  uint8_t* in = z_.inBuffer_.data();
  int32_t got = 0;
  const uint8_t* chunk = TakeChunk(in, n, got);
  if (got < n) {
    if (!MultiVolume()) throw EFatalUnzipError("Premature end of file reached");
    ReadFromNextVolumes(in + got, n - got);
    got = n;
  }
  ReadRestAhead(kInputChunk);
  if (got > 0) data = chunk;
  return uint32_t(got);
}

// Before each input chunk the user interface gets its turn, and a cancel
// request ends the extraction.
void TMemberExtractor::ProcessMessages() {
  if (!z_.DoProcessMessages) return;
  platform::ui().ProcessMessages();
  if (z_.Cancel) {
    z_.Cancel = false;
    throw EUserCanceled("User Aborted Operation");
  }
}

// Lets the worker decode and does here, in their order, the steps of the
// refill and flush that the worker left to this thread.
void TMemberExtractor::DecodeOnWorker(TDecodeAhead& ahead, const TDecodeAhead::TDecoder& decode) {
  if (!ahead.Start(*this, decode)) {
    decode(*this);
    return;
  }
  struct Guard {
    TMemberExtractor& io;
    TDecodeAhead& ahead;
    ~Guard() {
      ahead.Stop();
      io.outBuf = io.z_.outBuffer_.data();
    }
  } guard{*this, ahead};
  for (;;) {
    TDecodeAhead::Item item = ahead.Next();
    switch (item.kind) {
      case TDecodeAhead::Item::Refill:
        ProcessMessages();
        break;
      case TDecodeAhead::Item::Output:
        outBuf = const_cast<uint8_t*>(item.data);
        outCount = item.count;
        compressedLeft = item.compressedLeft;
        FlushOutput();
        break;
      case TDecodeAhead::Item::Volume:
        ReadFromNextVolumes(item.to, int32_t(item.count));
        ahead.Resume();
        break;
      case TDecodeAhead::Item::Box:
        platform::ui().MessageBox(item.box);
        break;
      case TDecodeAhead::Item::End:
        if (item.error) std::rethrow_exception(item.error);
        return;
    }
  }
}

void TMemberExtractor::FlushOutput() {
  if (outCount == 0) return;
  if (out_.Position() + int64_t(outCount) > int64_t(uncompressedSize))
    throw EBiggerThanUncompressed("File is larger than uncompressed size!");
  // Reduce and Implode decode up to the declared size even when the data
  // has run out. Once the decoder has asked for bytes past the end, a real
  // stream has at most its bit buffer and its window left to write; output
  // far beyond that is made from nothing, and it is stopped like output
  // past the declared size, so that a size of 2 GB cannot fill the disk.
  if (compressedLeft < 0) {
    outputAfterInputEnd_ += outCount;
    if (outputAfterInputEnd_ > kMaxOutputAfterInputEnd)
      throw EBiggerThanUncompressed("File is larger than uncompressed size!");
  }
  // A full disk takes fewer bytes: the file would be cut short while the CRC
  // of the buffer still matched, so a short write ends the run.
  if (out_.Write(outBuf, int32_t(outCount)) != int32_t(outCount))
    throw support::EWriteError("Stream write error");
  z_.runningCrc_ = Crc32Update(z_.runningCrc_, outBuf, outCount);
  bytesWritten_ += int32_t(outCount);
  if (z_.OnFilePercentDone)
    z_.OnFilePercentDone(&z_, RoundedPercent(bytesWritten_, uncompressedSize));
  if (z_.OnTotalPercentDone) {
    z_.runOutputTotal_ += outCount;
    z_.OnTotalPercentDone(&z_, RoundedPercent(z_.runOutputTotal_, z_.totalBytes_));
  }
  outCount = 0;
}

// In a split archive a member may continue on the next volume, which is then
// opened as for the other methods; in a single file a short read leaves stale
// bytes (those of the chunk before) that the CRC check rejects, and ends the
// copy.
void TMemberExtractor::StoredCopy() {
  while (z_.current_.CompressedSize > 0) {
    int32_t n = std::min<int32_t>(z_.current_.CompressedSize, int32_t(kOutputChunk));
    int32_t got = 0;
    const uint8_t* chunk = TakeChunk(outBuf, n, got);
    // The chunk goes through the output buffer even when the worker read
    // it, so that a short read leaves the same stale bytes behind it.
    if (chunk != outBuf) std::memcpy(outBuf, chunk, size_t(got));
    if (got < n) {
      if (MultiVolume())
        ReadFromNextVolumes(outBuf + got, n - got);
      else
        Decrypt(outBuf + got, n - got);
    }
    z_.current_.CompressedSize -= n;
    // Past the end of a single file every further chunk would be stale
    // bytes too: a compressed size of 2 GB must not write 2 GB of them.
    if (got < n && !MultiVolume()) z_.current_.CompressedSize = 0;
    ReadRestAhead(kOutputChunk);
    outCount = uint32_t(n);
    FlushOutput();
  }
}

void TMemberExtractor::Decrypt(uint8_t* data, int32_t count) {
  if (z_.current_.IsEncrypted() && count > 0) z_.crypto_.DecryptBuffer(data, size_t(count));
}

// The next n bytes of the member's data from the current volume, decrypted:
// the worker's chunk while it reads ahead, or else read here into own. got
// is their number, fewer than n only where the volume ended inside the
// chunk; the bytes are then in own, and the keys stand behind them, ready for
// the rest of the chunk.
const uint8_t* TMemberExtractor::TakeChunk(uint8_t* own, int32_t n, int32_t& got) {
  if (ahead_ && ahead_->Running()) {
    const uint8_t* chunk = ahead_->Next(got);
    if (got == n) return chunk;
    std::memcpy(own, chunk, size_t(got));
    if (z_.current_.IsEncrypted()) z_.crypto_ = ahead_->Keys();
    return own;
  }
  // The stream is the caller's again (the worker's part of this member is
  // over).
  if (ahead_) ahead_->Stop();
  got = z_.stream_->Read(own, n);
  Decrypt(own, got);
  return own;
}

// Hands the rest of an encrypted member's data, from the current position
// of the current volume, and the encrypted members that follow it there to
// the worker, when there is one and the stream is the caller's.
void TMemberExtractor::ReadRestAhead(uint32_t chunkSize) {
  if (!ahead_ || ahead_->Started() || !z_.current_.IsEncrypted()) return;
  ahead_->Start(*z_.stream_, std::max<int64_t>(z_.current_.CompressedSize, 0), int32_t(chunkSize),
                &z_.crypto_, PlanAfterMember(), z_.Password);
}

// The members after this one that the run will extract from the current
// volume, in their order, as far as the current volume holds them: each
// begins with its local header there. A member elsewhere ends the plan (its
// volume must be opened by the caller), as does one that is not encrypted.
std::vector<TReadAhead::Planned> TMemberExtractor::PlanAfterMember() const {
  constexpr size_t kMostPlanned = 4096;
  std::vector<TReadAhead::Planned> plan;
  const int64_t size = z_.stream_->Size();
  const bool split = z_.endRecord_.ThisDisk != 0;
  for (int i = z_.currentIndex_ + 1; i < z_.MemberCount() && plan.size() < kMostPlanned; ++i) {
    const TZipHeaderInfo& r = *z_.ViewItem(i);
    if (!z_.DoAll && !r.Selected) continue;
    if (r.FileName.empty()) continue;  // a folder entry: nothing is read
    if (!r.IsEncrypted()) break;
    if ((split && r.DiskStart != z_.currentVolume_) || int64_t(r.LocalHeaderOffset) > size) break;
    plan.push_back({i, int64_t(r.LocalHeaderOffset), r.CompressedSize,
                    int32_t(r.Method == zip::kMethodStored ? kOutputChunk : kInputChunk),
                    r.IsEncrypted()});
  }
  return plan;
}

// Reads count bytes from the volumes after the current one and decrypts them
// (OpenVolume raises when the user gives up).
void TMemberExtractor::ReadFromNextVolumes(uint8_t* to, int32_t count) {
  int32_t got = 0;
  while (got < count) {
    ZipStream* next = z_.OpenVolume(z_.currentVolume_ + 2);
    got += next->Read(to + got, count - got);
  }
  Decrypt(to, count);
}

}  // namespace archive
