// An in-memory TDecoderIO for decoder tests: compressed bytes come from a
// string in chunks (16000 bytes by default), output is collected in a string.
// The refill and the flush follow the member extraction routine: the refill
// counts compressed bytes left below 0 once the data is used up, the flush
// does nothing for an empty buffer and raises TSizeExceeded instead of writing
// a chunk that would pass the declared uncompressed size.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "archive/decoder_io.h"

namespace decoder_test {

struct TSizeExceeded {};

class TMemoryIO : public archive::TDecoderIO {
 public:
  explicit TMemoryIO(std::string compressed, int32_t declaredSize = 0x7FFFFFFF,
                     uint16_t memberFlags = 0, uint32_t chunk = archive::kInputChunk)
      : data_(std::move(compressed)),
        chunk_(chunk),
        in_(archive::kBufferAlloc),
        out_(archive::kBufferAlloc),
        win_(archive::kWindowSize, 0xA5) {  // not zero: decoders must not rely on it
    outBuf = out_.data();
    window = win_.data();
    compressedLeft = static_cast<int32_t>(data_.size());
    compressedSize = compressedLeft;
    toRead_ = data_.size();
    uncompressedSize = declaredSize;
    flags = memberFlags;
  }

  uint32_t NextChunk(const uint8_t*& data) override {
    size_t n = std::min<size_t>(toRead_, chunk_);
    std::memcpy(in_.data(), data_.data() + (data_.size() - toRead_), n);
    toRead_ -= n;
    ++chunkReads;
    data = in_.data();
    return static_cast<uint32_t>(n);
  }

  void FlushOutput() override {
    if (outCount == 0) return;
    if (static_cast<int64_t>(output.size()) + outCount > uncompressedSize) throw TSizeExceeded{};
    output.append(reinterpret_cast<const char*>(outBuf), outCount);
    flushes.push_back(outCount);
    if (InputExhausted()) outputAfterEnd += outCount;
    outCount = 0;
  }

  // Bytes of the member's data the decoder has not taken.
  int32_t Unread() const { return compressedLeft; }

  std::string output;
  std::vector<uint32_t> flushes;  // size of every written chunk
  int64_t outputAfterEnd = 0;     // written once a read past the data failed, as the engine counts
  int chunkReads = 0;
  std::vector<uint8_t>& Window() { return win_; }

 private:
  std::string data_;
  size_t toRead_;
  uint32_t chunk_;
  std::vector<uint8_t> in_, out_, win_;
};

// Writes bits least significant first, as Deflate and Implode read them.
class TBitWriter {
 public:
  void Put(uint32_t value, unsigned bits) {
    for (unsigned i = 0; i < bits; ++i) PutBit((value >> i) & 1);
  }
  // A Huffman code of the given length, most significant bit first.
  void PutCode(uint32_t code, unsigned length) {
    for (unsigned i = length; i-- > 0;) PutBit((code >> i) & 1);
  }
  void AlignByte() {
    while (nbits_ != 0) PutBit(0);
  }
  void PutByte(uint8_t b) { Put(b, 8); }
  std::string Bytes() const {
    std::string s = bytes_;
    if (nbits_ != 0) s.push_back(static_cast<char>(cur_));
    return s;
  }

 private:
  void PutBit(unsigned bit) {
    cur_ |= bit << nbits_;
    if (++nbits_ == 8) {
      bytes_.push_back(static_cast<char>(cur_));
      cur_ = 0;
      nbits_ = 0;
    }
  }
  std::string bytes_;
  unsigned cur_ = 0, nbits_ = 0;
};

// Output chunks must all be kOutputChunk bytes but the last.
inline bool ChunksAreWhole(const std::vector<uint32_t>& flushes) {
  for (size_t i = 0; i + 1 < flushes.size(); ++i)
    if (flushes[i] != archive::kOutputChunk) return false;
  return true;
}

}  // namespace decoder_test
