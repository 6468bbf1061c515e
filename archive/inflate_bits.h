// Pieces shared by the decoders: bit reader A (Deflate, Implode), bit reader
// B (Shrink, Reduce), the table lookup, the window flush, the circular
// back-reference copy and the circular output (Implode, Reduce).
//
// Bit reader A holds the buffered bits least significant first. Need(n)
// appends whole bytes from the input refill until at least n bits are held,
// exactly as a byte-at-a-time reader would, so the refill's slow path (next
// chunk, message processing, volume change, premature end) runs at the same
// points as it would without any look-ahead. When the member's data is used
// up, the byte delivered last is appended again, so the reader never fails.
//
// FastRefill() may take up to 7 further bytes at once, but only bytes already
// in the input buffer: it never reaches the refill's slow path. After it, the
// bits above `count` hold the following input bytes; NeedSlow clears them
// before it appends bytes one at a time.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "archive/decoder_io.h"
#include "archive/huffman.h"

namespace archive {

static_assert(std::endian::native == std::endian::little,
              "the bit readers load little-endian words");

inline uint64_t Load64(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}
inline void Store64(uint8_t* p, uint64_t w) { std::memcpy(p, &w, sizeof w); }

struct TBitReaderA {
  explicit TBitReaderA(TDecoderIO& io) : io(io) {}

  TDecoderIO& io;
  uint64_t buf = 0;
  unsigned count = 0;  // valid bits in buf
  uint8_t last = 0;    // the byte the input refill delivered last

  // Input bytes that can be taken without the refill's slow path.
  uint32_t Available() const {
    if (io.compressedLeft <= 0) return 0;
    return std::min(static_cast<uint32_t>(io.compressedLeft), io.inCount);
  }

  void Need(unsigned n) {
    if (count < n) NeedSlow(n);
  }
  void NeedSlow(unsigned n) {
    buf &= (uint64_t{1} << count) - 1;
    if (io.compressedLeft < 0) {
      RepeatLast();
      return;
    }
    do {
      uint8_t b = last;
      io.ReadByte(b);  // leaves b unchanged when nothing comes
      last = b;
      buf |= uint64_t{b} << count;
      count += 8;
    } while (count < n);
  }
  // Once a read has failed, every further one fails too and the last byte
  // is appended again: the buffer is filled with it at once, each byte still
  // counted as a failed read. (A decoder that reads on past the end then
  // costs a call per 56 bits, not per byte.)
  void RepeatLast() {
    const unsigned bytes = (64 - count) / 8;
    buf |= (uint64_t{last} * 0x0101010101010101u) << count;
    count += 8 * bytes;
    CountFailedReads(bytes);
  }
  // Counts reads past the end of the data down to the floor of the count.
  void CountFailedReads(uint32_t n) {
    io.compressedLeft = int32_t(std::max<int64_t>(INT32_MIN, int64_t(io.compressedLeft) - n));
  }
  uint32_t Peek(unsigned n) const { return static_cast<uint32_t>(buf) & kBitMask[n]; }
  void Drop(unsigned n) {
    buf >>= n;
    count -= n;
  }
  uint32_t Take(unsigned n) {
    Need(n);
    uint32_t v = Peek(n);
    Drop(n);
    return v;
  }

  // Takes n bytes straight from the input buffer; n <= Available().
  void Consume(uint32_t n) {
    io.inPos += n;
    io.inCount -= n;
    io.compressedLeft -= static_cast<int32_t>(n);
  }
};

// Looks up one code, following sub-tables, and drops its bits. Implode codes
// select their slots with the complement of the buffered bits. Returns null
// for an invalid code.
template <bool kInverted>
inline const THuffEntry* DecodeA(TBitReaderA& br, const THuffEntry* table, unsigned lookupBits) {
  br.Need(lookupBits);
  uint32_t bits = static_cast<uint32_t>(kInverted ? ~br.buf : br.buf);
  const THuffEntry* e = table + (bits & kBitMask[lookupBits]);
  while (e->op > kOpLiteral) {
    if (e->op == kOpInvalid) return nullptr;
    br.Drop(e->bits);
    unsigned k = e->op - kOpLiteral;
    br.Need(k);
    bits = static_cast<uint32_t>(kInverted ? ~br.buf : br.buf);
    e = e->link + (bits & kBitMask[k]);
  }
  br.Drop(e->bits);
  return e;
}

// Moves n window bytes into the output buffer, performing the output flush
// each time the buffer reaches kOutputChunk bytes.
inline void WindowFlush(TDecoderIO& io, const uint8_t* from, uint32_t n) {
  while (n > 0) {
    uint32_t piece = std::min(n, kOutputChunk - io.outCount);
    std::memcpy(io.outBuf + io.outCount, from, piece);
    io.outCount += piece;
    from += piece;
    n -= piece;
    if (io.outCount == kOutputChunk) io.FlushOutput();
  }
}

// Copies length bytes from distance back in a circular window of kSize bytes,
// byte for byte in effect (an overlapping copy repeats what it produces), and
// flushes the whole window each time the position reaches its end. Returns the
// new position.
template <uint32_t kSize>
inline uint32_t CopyCircular(TDecoderIO& io, uint8_t* window, uint32_t pos, uint32_t distance,
                             uint32_t length) {
  uint32_t src = (pos - distance) & (kSize - 1);
  while (length > 0) {
    uint32_t piece = std::min(length, kSize - std::max(src, pos));
    if (src < pos && pos - src < piece) {
      for (uint32_t i = 0; i < piece; ++i) window[pos + i] = window[src + i];
    } else {
      std::memmove(window + pos, window + src, piece);
    }
    pos += piece;
    src += piece;
    length -= piece;
    if (pos == kSize) {
      WindowFlush(io, window, kSize);
      pos = 0;
    }
    if (src == kSize) src = 0;
  }
  return pos;
}

// Output through a circular dictionary of kSize bytes at the start of the
// window (Implode, Reduce), counted against the output cap. The dictionary
// is zeroed first, so that a back-reference before the start of the output
// yields zero bytes; a full dictionary goes to the output buffer and writing
// restarts at its start.
template <uint32_t kSize>
class TCircularOutput {
 public:
  explicit TCircularOutput(TDecoderIO& io) : io_(io), win_(io.window), left_(io.OutputCap()) {
    static_assert(kSize <= kWindowSize);
    std::memset(win_, 0, kSize);
  }
  bool CapReached() const { return left_ <= 0; }
  void Put(uint8_t b) {
    win_[pos_++] = b;
    --left_;
    if (pos_ == kSize) {
      WindowFlush(io_, win_, kSize);
      pos_ = 0;
    }
  }
  void Copy(uint32_t distance, uint32_t length) {
    pos_ = CopyCircular<kSize>(io_, win_, pos_, distance, length);
    left_ -= length;
  }
  // Moves what the dictionary holds since its last flush to the output buffer.
  void Drain() { WindowFlush(io_, win_, pos_); }

 private:
  TDecoderIO& io_;
  uint8_t* const win_;
  uint32_t pos_ = 0;
  int64_t left_;  // output still to make up to the cap
};

// Bit reader B (Shrink and Reduce): when fewer than n bits are held it sets
// the end-of-input flag, then appends bytes while fewer than 25 bits are held
// and a byte comes, clearing the flag with each byte. The count may go below
// 0 once the data is used up; the value then holds zero bits.
struct TBitReaderB {
  explicit TBitReaderB(TDecoderIO& io) : io(io) {}

  TDecoderIO& io;
  uint32_t buf = 0;
  int count = 0;
  bool ended = false;

  uint32_t Read(unsigned n) {
    if (count < static_cast<int>(n)) {
      ended = true;
      uint8_t b;
      while (count < 25 && io.ReadByte(b) != 0) {
        if (count < 0) buf = count = 0;
        buf |= uint32_t{b} << count;
        count += 8;
        ended = false;
      }
    }
    uint32_t v = buf & kBitMask[n];
    buf >>= n;
    // Past the end of the input the count stays negative; holding it at a
    // floor keeps a decoder that reads on and on from wrapping it around.
    count =
        count - static_cast<int>(n) < kBitCountFloor ? kBitCountFloor : count - static_cast<int>(n);
    return v;
  }
};

}  // namespace archive
