// Reduce decoder (compression methods 2 to 5, compression factor 1 to 4).
//
// The data starts with 256 follower sets (for characters 255 down to 0: a
// 6-bit size, then that many 8-bit followers), kept at window offset 16384 as
// 64-byte slots, with their sizes in `setSize`. Each following byte is either
// 8 raw bits or, after a 0 bit, a follower of the previous byte, chosen by
// B(set size) bits. The bytes run through a small state machine around the
// marker byte 144 (DLE): 144 0 is a literal 144; 144 V [N] D copies
// (V & length mask) [+ N] + 3 bytes from distance
// ((V >> shift) & distance mask) x 256 + D + 1.
//
// Output goes through a 16384-byte circular dictionary at window offset 0
// (TCircularOutput). Decoding runs until the output cap (the declared
// uncompressed size) is reached; invalid data only gives garbage bytes, which
// the size guard of the output flush and the CRC check bound.
#include <cstring>

#include "archive/decoders.h"
#include "archive/inflate_bits.h"

namespace archive {

namespace {

constexpr uint32_t kReduceDict = 16384;  // circular dictionary (distances reach 4096)
constexpr unsigned kSets = 256;          // a follower set per byte value
constexpr uint32_t kFollowerSlot = 64;   // a set's 6-bit size is below this
constexpr uint8_t kMarker = 144;
constexpr int kMinFactor = 1, kMaxFactor = 4;
static_assert(kReduceDict + kSets * kFollowerSlot <= kWindowSize);

struct TFollowerBits {
  uint8_t bits[kFollowerSlot];
  constexpr TFollowerBits() : bits() {
    bits[0] = 8;
    for (unsigned n = 1; n < kFollowerSlot; ++n) {
      unsigned b = 1;
      while ((1u << b) < n) ++b;  // bits to write n - 1, at least 1
      bits[n] = static_cast<uint8_t>(b);
    }
  }
};
constexpr TFollowerBits kFollowerBits;
static_assert(kFollowerBits.bits[1] == 1 && kFollowerBits.bits[2] == 1 &&
              kFollowerBits.bits[3] == 2 && kFollowerBits.bits[4] == 2 &&
              kFollowerBits.bits[5] == 3 && kFollowerBits.bits[33] == 6 &&
              kFollowerBits.bits[63] == 6);

constexpr uint8_t kLengthMask[kMaxFactor] = {127, 63, 31, 15};
constexpr uint8_t kDistShift[kMaxFactor] = {7, 6, 5, 4};
constexpr uint8_t kDistMask[kMaxFactor] = {1, 3, 7, 15};

class TUnreducer {
 public:
  TUnreducer(TDecoderIO& io, int factor)
      : io_(io),
        br_(io),
        out_(io),
        followers_(io.window + kReduceDict),
        lengthMask_(kLengthMask[factor - kMinFactor]),
        distShift_(kDistShift[factor - kMinFactor]),
        distMask_(kDistMask[factor - kMinFactor]) {}
  TDecodeStatus Run();

 private:
  void ReadFollowerSets();
  uint8_t NextByte();
  void Expand(uint8_t b);

  TDecoderIO& io_;
  TBitReaderB br_;
  TCircularOutput<kReduceDict> out_;
  uint8_t* const followers_;
  uint8_t setSize_[kSets];
  const uint8_t lengthMask_, distShift_, distMask_;
  uint8_t last_ = 0;  // the byte before, whose follower set applies
  int state_ = 0;     // 0 plain, 1 after the marker, 2 length byte, 3 distance byte
  uint32_t v_ = 0, length_ = 0;
};

// 256 sets, for byte values 255 down to 0.
void TUnreducer::ReadFollowerSets() {
  std::memset(followers_, 0, kSets * kFollowerSlot);
  for (int c = kSets - 1; c >= 0; --c) {
    setSize_[c] = static_cast<uint8_t>(br_.Read(6));
    for (unsigned i = 0; i < setSize_[c]; ++i)
      followers_[c * kFollowerSlot + i] = static_cast<uint8_t>(br_.Read(8));
  }
}

// The next byte: 8 raw bits, or after a 0 bit a follower of the byte before.
uint8_t TUnreducer::NextByte() {
  const unsigned size = setSize_[last_];
  if (size == 0 || br_.Read(1) != 0) {
    last_ = static_cast<uint8_t>(br_.Read(8));
  } else {
    last_ = followers_[last_ * kFollowerSlot + br_.Read(kFollowerBits.bits[size])];
  }
  return last_;
}

// The marker state machine: plain bytes, a literal marker, or a copy.
void TUnreducer::Expand(uint8_t b) {
  switch (state_) {
    case 0:
      if (b != kMarker) {
        out_.Put(b);
      } else {
        state_ = 1;
      }
      break;
    case 1:
      if (b == 0) {
        out_.Put(kMarker);
        state_ = 0;
      } else {
        v_ = b;
        length_ = v_ & lengthMask_;
        state_ = length_ == lengthMask_ ? 2 : 3;
      }
      break;
    case 2:
      length_ += b;
      state_ = 3;
      break;
    default: {
      uint32_t distance = ((v_ >> distShift_) & distMask_) * 256 + b + 1;
      out_.Copy(distance, length_ + 3);
      state_ = 0;
      break;
    }
  }
}

TDecodeStatus TUnreducer::Run() {
  ReadFollowerSets();
  while (!out_.CapReached()) Expand(NextByte());
  out_.Drain();
  io_.FlushOutput();
  return TDecodeStatus::Done;
}

}  // namespace

TDecodeStatus Unreduce(TDecoderIO& io, int factor) {
  if (factor < kMinFactor || factor > kMaxFactor) {
    io.FlushOutput();
    return TDecodeStatus::BadFactor;
  }
  TUnreducer decoder(io, factor);
  return decoder.Run();
}

}  // namespace archive
