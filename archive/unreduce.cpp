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
// Output goes through a 16384-byte circular dictionary at window offset 0,
// flushed whenever it fills; it is zeroed first, so a back-reference before
// the start of the output yields zero bytes. Decoding runs until the declared
// uncompressed size is produced; invalid data only gives garbage bytes, which
// the size guard of the output flush and the CRC check bound.
#include <cstring>

#include "archive/decoders.h"
#include "archive/inflate_bits.h"

namespace archive {

namespace {

constexpr uint32_t kReduceDict = 16384;
constexpr uint32_t kFollowerSlot = 64;
constexpr uint8_t kMarker = 144;

struct TFollowerBits {
  uint8_t bits[64];
  constexpr TFollowerBits() : bits() {
    bits[0] = 8;
    for (unsigned n = 1; n < 64; ++n) {
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

constexpr uint8_t kLengthMask[4] = {127, 63, 31, 15};
constexpr uint8_t kDistShift[4] = {7, 6, 5, 4};
constexpr uint8_t kDistMask[4] = {1, 3, 7, 15};

}  // namespace

TDecodeStatus Unreduce(TDecoderIO& io, int factor) {
  if (factor < 1 || factor > 4) {
    io.FlushOutput();
    return TDecodeStatus::BadFactor;
  }
  const uint8_t lengthMask = kLengthMask[factor - 1];
  const uint8_t distShift = kDistShift[factor - 1];
  const uint8_t distMask = kDistMask[factor - 1];

  uint8_t* const win = io.window;
  uint8_t* const followers = win + kReduceDict;
  uint8_t setSize[256];
  std::memset(followers, 0, 256 * kFollowerSlot);
  TBitReaderB br(io);
  for (int c = 255; c >= 0; --c) {
    setSize[c] = static_cast<uint8_t>(br.Read(6));
    for (unsigned i = 0; i < setSize[c]; ++i)
      followers[c * kFollowerSlot + i] = static_cast<uint8_t>(br.Read(8));
  }

  std::memset(win, 0, kReduceDict);
  uint32_t pos = 0;
  auto put = [&](uint8_t b) {
    win[pos++] = b;
    if (pos == kReduceDict) {
      WindowFlush(io, win, kReduceDict);
      pos = 0;
    }
  };

  int64_t left = io.uncompressedSize;
  uint8_t last = 0;
  int state = 0;
  uint32_t v = 0, length = 0;
  while (left > 0) {
    uint8_t b;
    const unsigned size = setSize[last];
    if (size == 0 || br.Read(1) != 0) {
      b = static_cast<uint8_t>(br.Read(8));
    } else {
      b = followers[last * kFollowerSlot + br.Read(kFollowerBits.bits[size])];
    }
    last = b;
    switch (state) {
      case 0:
        if (b != kMarker) {
          put(b);
          --left;
        } else {
          state = 1;
        }
        break;
      case 1:
        if (b == 0) {
          put(kMarker);
          --left;
          state = 0;
        } else {
          v = b;
          length = v & lengthMask;
          state = length == lengthMask ? 2 : 3;
        }
        break;
      case 2:
        length += b;
        state = 3;
        break;
      default: {
        uint32_t distance = ((v >> distShift) & distMask) * 256 + b + 1;
        pos = CopyCircular<kReduceDict>(io, win, pos, distance, length + 3);
        left -= length + 3;
        state = 0;
        break;
      }
    }
  }
  WindowFlush(io, win, pos);
  io.FlushOutput();
  return TDecodeStatus::Done;
}

}  // namespace archive
