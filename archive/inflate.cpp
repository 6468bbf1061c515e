// Deflate decoder (compression method 8, RFC 1951).
//
// Output goes into the first 32768 bytes of the shared window, used as a
// circular dictionary: `pos_` is the next position to write (0..32767); when
// it reaches 32768 the whole window is moved into the output buffer (window
// flush) and writing restarts at 0. The window is zeroed when a member starts,
// so that a back-reference before the start of the member's output yields
// zero bytes instead of whatever an earlier member left behind.
//
// Each block builds its own tables (released at the end of the block, also
// when an exception from the output flush or the input refill passes).
// Invalid data stops decoding at once: neither the window nor the output
// buffer is flushed, and the CRC check of the caller rejects the member.
//
// The code loop has a fast path that runs while the input buffer holds at
// least kFastInput bytes and the window has room for a maximal match plus an
// 16-byte overrun (entry contract of FastCodes); elsewhere every step reads bits
// exactly as needed.
#include <cstring>

#include "archive/decoders.h"
#include "archive/huffman.h"
#include "archive/inflate_bits.h"

namespace archive {

namespace {

constexpr uint32_t kDictSize = 32768;
constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kFastPosLimit = kDictSize - kMaxMatch - 16;
constexpr uint32_t kFastInput = 8;  // one 8-byte load per refill
// Blocks started after the input ran out that may produce nothing before the
// decoder gives up (the repeated last byte could otherwise cycle forever).
constexpr int kMaxEmptyBlocksAfterEnd = 16;

// Length codes 257..287; 286 and 287 are invalid.
constexpr uint16_t kLengthBase[31] = {3,  4,   5,   6,   7,   8,   9,   10, 11, 13, 15,
                                      17, 19,  23,  27,  31,  35,  43,  51, 59, 67, 83,
                                      99, 115, 131, 163, 195, 227, 258, 0,  0};
constexpr uint8_t kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2,  2, 2,
                                      3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
constexpr uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                          11, 4,  12, 3, 13, 2, 14, 1, 15};

class TInflater {
 public:
  explicit TInflater(TDecoderIO& io) : io_(io), br_(io), win_(io.window) {}
  TDecodeStatus Run();

 private:
  enum class TResult { Continue, EndOfBlock, Invalid };

  bool Stored();
  bool Fixed();
  bool Dynamic();
  bool Codes(const THuffTable& lit, const THuffTable& dist);
  TResult FastCodes(const THuffEntry* lit, unsigned bl, const THuffEntry* dist, unsigned bd);
  // Notes why decoding stops; returns false for the caller to pass on.
  bool Stop(TDecodeStatus why) {
    status_ = why;
    return false;
  }
  bool TableStop(THuffStatus built) {
    return Stop(built == THuffStatus::Incomplete    ? TDecodeStatus::IncompleteTable
                : built == THuffStatus::OutOfMemory ? TDecodeStatus::OutOfMemory
                                                    : TDecodeStatus::InvalidTable);
  }

  void Put(uint8_t b) {
    win_[pos_++] = b;
    if (pos_ == kDictSize) {
      WindowFlush(io_, win_, kDictSize);
      pos_ = 0;
    }
  }

  TDecoderIO& io_;
  TBitReaderA br_;
  uint8_t* win_;
  uint32_t pos_ = 0;
  TDecodeStatus status_ = TDecodeStatus::Done;
};

TDecodeStatus TInflater::Run() {
  std::memset(win_, 0, kDictSize);
  int emptyAfterEnd = 0;
  for (;;) {
    // A block that starts after the input ran out and changes neither the
    // window position nor the output buffer produced nothing (or a multiple of
    // 4 MB, which is garbage all the same).
    const bool startedAfterEnd = io_.compressedLeft < 0;
    const uint32_t startPos = pos_;
    const uint32_t startOut = io_.outCount;
    bool last = br_.Take(1) != 0;
    bool ok = false;
    switch (br_.Take(2)) {
      case 0:
        ok = Stored();
        break;
      case 1:
        ok = Fixed();
        break;
      case 2:
        ok = Dynamic();
        break;
      default:
        return TDecodeStatus::BadBlockType;
    }
    if (!ok) return status_;
    if (last) break;
    if (startedAfterEnd && pos_ == startPos && io_.outCount == startOut) {
      if (++emptyAfterEnd >= kMaxEmptyBlocksAfterEnd) return TDecodeStatus::EmptyBlocksAfterEnd;
    } else {
      emptyAfterEnd = 0;
    }
  }
  WindowFlush(io_, win_, pos_);
  io_.FlushOutput();
  return TDecodeStatus::Done;
}

bool TInflater::Stored() {
  br_.Drop(br_.count & 7);
  uint32_t len = br_.Take(16);
  uint32_t nlen = br_.Take(16);
  if (nlen != (~len & 0xFFFF)) return Stop(TDecodeStatus::BadStoredLength);
  while (len > 0) {
    if (br_.count >= 8) {  // whole bytes still in the bit buffer
      Put(static_cast<uint8_t>(br_.buf));
      br_.Drop(8);
      --len;
      continue;
    }
    uint32_t avail = br_.Available();
    if (avail == 0) {  // the refill's slow path, one byte at a time
      Put(static_cast<uint8_t>(br_.Take(8)));
      --len;
      continue;
    }
    uint32_t n = std::min({len, avail, kDictSize - pos_});
    std::memcpy(win_ + pos_, io_.inPos, n);
    br_.Consume(n);
    br_.last = win_[pos_ + n - 1];
    br_.buf = 0;  // the look-ahead bits no longer follow the input position
    len -= n;
    pos_ += n;
    if (pos_ == kDictSize) {
      WindowFlush(io_, win_, kDictSize);
      pos_ = 0;
    }
  }
  return true;
}

bool TInflater::Fixed() {
  uint8_t lengths[288];
  std::memset(lengths, 8, 144);
  std::memset(lengths + 144, 9, 112);
  std::memset(lengths + 256, 7, 24);
  std::memset(lengths + 280, 8, 8);
  THuffTable lit, dist;
  THuffStatus built = BuildHuffTable(lengths, 288, 257, kLengthBase, kLengthExtra, 7, lit);
  if (built != THuffStatus::Complete) return TableStop(built);
  std::memset(lengths, 5, 30);
  built = BuildHuffTable(lengths, 30, 0, kDistBase, kDistExtra, 5, dist);
  if (built != THuffStatus::Complete && built != THuffStatus::Incomplete) return TableStop(built);
  return Codes(lit, dist);
}

bool TInflater::Dynamic() {
  unsigned hlit = br_.Take(5) + 257;
  unsigned hdist = br_.Take(5) + 1;
  unsigned hclen = br_.Take(4) + 4;
  if (hlit > 286 || hdist > 30) return Stop(TDecodeStatus::TooManyCodes);

  uint8_t lengths[286 + 30] = {};
  {
    uint8_t clLengths[19] = {};
    for (unsigned i = 0; i < hclen; ++i) clLengths[kCodeLengthOrder[i]] = br_.Take(3);
    THuffTable cl;
    THuffStatus built = BuildHuffTable(clLengths, 19, 19, nullptr, nullptr, 7, cl);
    if (built != THuffStatus::Complete) return TableStop(built);
    const unsigned n = hlit + hdist;
    unsigned i = 0;
    uint8_t prev = 0;
    while (i < n) {
      const THuffEntry* e = DecodeA<false>(br_, cl.Root(), cl.LookupBits());
      if (e == nullptr) return Stop(TDecodeStatus::InvalidCode);
      unsigned v = e->value;
      unsigned repeat;
      uint8_t fill;
      if (v < 16) {
        lengths[i++] = prev = static_cast<uint8_t>(v);
        continue;
      } else if (v == 16) {
        repeat = 3 + br_.Take(2);
        fill = prev;
      } else if (v == 17) {
        repeat = 3 + br_.Take(3);
        fill = prev = 0;
      } else {
        repeat = 11 + br_.Take(7);
        fill = prev = 0;
      }
      if (i + repeat > n) return Stop(TDecodeStatus::RepeatPastEnd);
      std::memset(lengths + i, fill, repeat);
      i += repeat;
    }
  }
  THuffTable lit, dist;
  THuffStatus built = BuildHuffTable(lengths, hlit, 257, kLengthBase, kLengthExtra, 9, lit);
  if (built != THuffStatus::Complete) return TableStop(built);
  built = BuildHuffTable(lengths + hlit, hdist, 0, kDistBase, kDistExtra, 6, dist);
  if (built != THuffStatus::Complete) return TableStop(built);
  return Codes(lit, dist);
}

bool TInflater::Codes(const THuffTable& litTable, const THuffTable& distTable) {
  const THuffEntry* lit = litTable.Root();
  const THuffEntry* dist = distTable.Root();
  const unsigned bl = litTable.LookupBits();
  const unsigned bd = distTable.LookupBits();
  for (;;) {
    if (pos_ <= kFastPosLimit && br_.Available() >= kFastInput) {
      TResult r = FastCodes(lit, bl, dist, bd);
      if (r == TResult::EndOfBlock) return true;
      if (r == TResult::Invalid) return Stop(TDecodeStatus::InvalidCode);
    }
    // One code read bit-exactly (near the end of the input buffer or window).
    const THuffEntry* e = DecodeA<false>(br_, lit, bl);
    if (e == nullptr) return Stop(TDecodeStatus::InvalidCode);
    if (e->op == kOpLiteral) {
      Put(static_cast<uint8_t>(e->value));
      continue;
    }
    if (e->op == kOpEndOfBlock) return true;
    uint32_t length = e->value + br_.Take(e->op);
    e = DecodeA<false>(br_, dist, bd);
    if (e == nullptr) return Stop(TDecodeStatus::InvalidCode);
    uint32_t distance = e->value + br_.Take(e->op);
    pos_ = CopyCircular<kDictSize>(io_, win_, pos_, distance, length);
  }
}

// Entry contract: pos_ <= kFastPosLimit and at least kFastInput bytes
// available. Each round refills the bit buffer to at least 56 bits, enough for
// a length code, its extra bits, a distance code and its extra bits (at most
// 15 + 5 + 15 + 13 = 48 bits), and writes at most kMaxMatch bytes plus a
// 16-byte overrun that is restored afterwards. Returns Continue when a margin
// no longer holds.
TInflater::TResult TInflater::FastCodes(const THuffEntry* lit, unsigned bl, const THuffEntry* dist,
                                        unsigned bd) {
  uint64_t buf = br_.buf;
  unsigned count = br_.count;
  const uint8_t* const inStart = io_.inPos;
  const uint8_t* in = inStart;
  const uint8_t* const inLimit = inStart + (br_.Available() - kFastInput);
  uint8_t* const win = win_;
  uint32_t pos = pos_;
  const uint64_t lmask = kBitMask[bl];
  const uint64_t dmask = kBitMask[bd];
  TResult result = TResult::Continue;

  while (in <= inLimit && pos <= kFastPosLimit) {
    buf |= Load64(in) << count;
    in += (63 - count) >> 3;
    count |= 56;

    const THuffEntry* e = lit + (buf & lmask);
    unsigned op = e->op;
    if (op == kOpLiteral) {
      buf >>= e->bits;
      count -= e->bits;
      win[pos++] = static_cast<uint8_t>(e->value);
      // First-level codes are at most 9 bits: two more literals fit in the
      // 56 bits of the refill.
      e = lit + (buf & lmask);
      if (e->op != kOpLiteral) continue;
      buf >>= e->bits;
      count -= e->bits;
      win[pos++] = static_cast<uint8_t>(e->value);
      e = lit + (buf & lmask);
      if (e->op != kOpLiteral) continue;
      buf >>= e->bits;
      count -= e->bits;
      win[pos++] = static_cast<uint8_t>(e->value);
      continue;
    }
    if (op > kOpLiteral) {
      if (op == kOpInvalid) {
        result = TResult::Invalid;
        break;
      }
      buf >>= e->bits;
      count -= e->bits;
      e = e->link + (buf & kBitMask[op - kOpLiteral]);
      op = e->op;
      if (op == kOpInvalid) {
        result = TResult::Invalid;
        break;
      }
    }
    buf >>= e->bits;
    count -= e->bits;
    if (op == kOpLiteral) {
      win[pos++] = static_cast<uint8_t>(e->value);
      continue;
    }
    if (op == kOpEndOfBlock) {
      result = TResult::EndOfBlock;
      break;
    }
    uint32_t length = e->value + static_cast<uint32_t>(buf & kBitMask[op]);
    buf >>= op;
    count -= op;

    e = dist + (buf & dmask);
    op = e->op;
    if (op > kOpLiteral) {
      if (op == kOpInvalid) {
        result = TResult::Invalid;
        break;
      }
      buf >>= e->bits;
      count -= e->bits;
      e = e->link + (buf & kBitMask[op - kOpLiteral]);
      op = e->op;
      if (op == kOpInvalid) {
        result = TResult::Invalid;
        break;
      }
    }
    buf >>= e->bits;
    count -= e->bits;
    uint32_t distance = e->value + static_cast<uint32_t>(buf & kBitMask[op]);
    buf >>= op;
    count -= op;

    if (distance <= pos) {
      uint8_t* dst = win + pos;
      const uint8_t* src = dst - distance;
      uint8_t* const end = dst + length;
      if (distance >= 16) {
        // 16 bytes a step; each step reads only bytes already written.
        uint64_t saved[2] = {Load64(end), Load64(end + 8)};  // the overrun is restored
        do {
          uint64_t a = Load64(src), b = Load64(src + 8);
          Store64(dst, a);
          Store64(dst + 8, b);
          dst += 16;
          src += 16;
        } while (dst < end);
        Store64(end, saved[0]);
        Store64(end + 8, saved[1]);
      } else if (distance >= 8) {
        const uint64_t saved = Load64(end);
        do {
          Store64(dst, Load64(src));
          dst += 8;
          src += 8;
        } while (dst < end);
        Store64(end, saved);
      } else if (distance == 1) {
        std::memset(dst, *src, length);
      } else {
        for (uint32_t i = 0; i < length; ++i) dst[i] = src[i];
      }
      pos += length;
    } else {
      // The source wraps to the end of the window; no flush can happen here.
      pos = CopyCircular<kDictSize>(io_, win, pos, distance, length);
    }
  }

  br_.buf = buf;
  br_.count = count;
  if (in != inStart) {
    br_.Consume(static_cast<uint32_t>(in - inStart));
    br_.last = in[-1];
  }
  pos_ = pos;
  return result;
}

}  // namespace

TDecodeStatus Inflate(TDecoderIO& io) {
  TInflater inflater(io);
  return inflater.Run();
}

}  // namespace archive
