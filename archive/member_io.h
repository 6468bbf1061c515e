// The decoder's two ends for one member: the input refill (compressed bytes,
// decrypted, across volume boundaries, read ahead by the worker where there
// is one) and the output flush (size guard, CRC-32, progress events), plus
// the stored copy of method 0. The member extraction creates one per member
// around the decoding step.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/decode_ahead.h"
#include "archive/decoder_io.h"
#include "archive/read_ahead.h"
#include "archive/unzipper.h"

namespace archive {

class TMemberExtractor : public TDecoderIO {
 public:
  TMemberExtractor(TUnZipper& owner, ZipStream& output);
  // Drops what the worker read of this member and the caller did not take.
  ~TMemberExtractor() override;
  TMemberExtractor(const TMemberExtractor&) = delete;
  TMemberExtractor& operator=(const TMemberExtractor&) = delete;

  uint32_t NextChunk(const uint8_t*& data) override;
  void FlushOutput() override;
  // Method 0: chunks straight from the archive into the output buffer.
  void StoredCopy();
  // Runs decode on the worker, replaying its items here.
  void DecodeOnWorker(TDecodeAhead& ahead, const TDecodeAhead::TDecoder& decode);

 private:
  bool MultiVolume() const { return z_.CanAskForNextVolume(); }
  void ProcessMessages();
  void Decrypt(uint8_t* data, int32_t count);
  const uint8_t* TakeChunk(uint8_t* own, int32_t n, int32_t& got);
  void ReadRestAhead(uint32_t chunkSize);
  std::vector<TReadAhead::Planned> PlanAfterMember() const;
  void ReadFromNextVolumes(uint8_t* to, int32_t count);

  TUnZipper& z_;
  ZipStream& out_;
  TReadAhead* const ahead_;
  int32_t bytesWritten_ = 0;
  int64_t outputAfterInputEnd_ = 0;  // flushed once the data was used up
};

}  // namespace archive
