// Deflate decoder (compression method 8, RFC 1951).
//
// Output is written in a straight line into the shared window, laid out as
//   [0, kDictSize)              history: the kDictSize bytes before the first cycle
//   [kDictSize, kOutputEnd)     cycles of kDictSize bytes, written one after another
//   [kOutputEnd, kWindowSize)   overshoot of the last symbol and copy slack
// `pos_` is the next position to write, `cycleEnd_` the end of the cycle it is
// in. Once a cycle is full it goes to the output buffer (in kOutputChunk
// pieces, each flushed) and writing goes on in the next one; after the last
// cycle, its bytes and any overshoot move to the start to become the history.
// Every back-reference (at most kDictSize back) therefore reads one straight
// run of memory, a copy may write a few bytes past its end, where nothing is
// kept yet, and the move costs one pass over a cycle per several cycles of
// output. The history starts zeroed, so that a back-reference before the start
// of the member's output yields zero bytes instead of whatever an earlier
// member left behind.
//
// Each block builds its own tables (released at the end of the block, also
// when an exception from the output flush or the input refill passes).
// Invalid data stops decoding at once: neither the current cycle nor the
// output buffer is flushed, and the CRC check of the caller rejects the member.
//
// The code loop has a fast path that runs while the input buffer holds at
// least kFastInput bytes and the current cycle is not full (entry contract of
// FastCodes), and past the end of the data, whose input is then the last
// byte repeated; elsewhere every step reads bits exactly as needed.
#include <cassert>
#include <cstring>
#include <type_traits>

#include "archive/decoders.h"
#include "archive/huffman.h"
#include "archive/inflate_bits.h"

namespace archive {

namespace {

constexpr uint32_t kMaxMatch = 258;
constexpr unsigned kMaxLitCodes = 286;  // HLIT bound: literals, end of block, length codes
constexpr unsigned kMaxDistCodes = 30;  // HDIST bound
constexpr unsigned kFixedLitCodes = 288;
constexpr unsigned kFirstLengthCode = 257;  // codes below are literals and the end of block
constexpr unsigned kFixedDistCodes = 30;
constexpr unsigned kCodeLengthCodes = 19;
constexpr uint32_t kLitLookupBits = 9;   // first-level width of dynamic literal/length tables
constexpr uint32_t kDistLookupBits = 6;  // and of their distance tables
constexpr uint32_t kMaxCodeLength = 15;  // longest Deflate code

// The fast loop's bit buffer is the machine word: 64 bits hold a whole match
// (length code, its extra bits, distance code, its extra bits) after one
// refill; 32 bits (the i686 product) refill again before the distance and
// before long distance extra bits, so that no step there shifts a register
// pair.
#if defined(SETUP_INFLATE_WORD32)
using TBitWord = uint32_t;  // lets a 64-bit build test the 32-bit loop
#else
using TBitWord = std::conditional_t<sizeof(void*) >= 8, uint64_t, uint32_t>;
#endif
constexpr unsigned kWordBits = 8 * sizeof(TBitWord);
constexpr unsigned kRefillBits = kWordBits - 8;  // bits held at least after a refill
constexpr bool kOneRefillPerMatch = kRefillBits >= 2 * kMaxCodeLength + 5 + 13;
// Literals whose codes sit in the first level, decoded per refill.
constexpr unsigned kLiteralsPerRefill = (kRefillBits - kLitLookupBits) / kLitLookupBits + 1;
// Input the fast loop may read per symbol: one refill, or three with a 32-bit
// word; each loads a word and advances by less than one.
constexpr unsigned kRefillsPerSymbol = kOneRefillPerMatch ? 1 : 3;
constexpr uint32_t kFastInput = 3 * sizeof(TBitWord) + 4;
// Match copies move 16 bytes a step (8 for distances of 8 to 15, and the
// pattern start of shorter ones), writing at most kCopySlack bytes past the
// match.
constexpr uint32_t kCopySlack = 32;

static_assert(kRefillBits >= kMaxCodeLength + 5, "a length code and its extra bits fit one refill");
static_assert(kRefillBits >= kMaxCodeLength, "a distance code fits one refill");
static_assert(kLiteralsPerRefill >= 2);
static_assert(kFastInput >= (kRefillsPerSymbol - 1) * (sizeof(TBitWord) - 1) + sizeof(TBitWord),
              "input margin of the fast loop");
// The end of the last cycle: the window's whole cycles, short of the margin
// that the fast loop needs. The loop runs while pos < the end of the cycle;
// its last symbol may write kMaxMatch bytes plus the copy slack beyond that.
constexpr uint32_t kOutputEnd = kDictSize * ((kWindowSize - kMaxMatch - kCopySlack) / kDictSize);
static_assert(kOutputEnd >= 2 * kDictSize, "history and at least one cycle");
static_assert(kOutputEnd + kMaxMatch + kCopySlack <= kWindowSize, "window margin of the fast loop");
static_assert(kLiteralsPerRefill <= kMaxMatch);

inline TBitWord LoadWord(const uint8_t* p) {
  TBitWord w;
  std::memcpy(&w, p, sizeof w);
  return w;
}
inline TBitWord LowBits(TBitWord v, unsigned n) { return v & ((TBitWord{1} << n) - 1); }

// Length codes 257..287; 286 and 287 are invalid.
constexpr uint16_t kLengthBase[kFixedLitCodes - kFirstLengthCode] = {
    3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19,  23, 27, 31,
    35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
constexpr uint8_t kLengthExtra[kFixedLitCodes - kFirstLengthCode] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
constexpr uint16_t kDistBase[kFixedDistCodes] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistExtra[kFixedDistCodes] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                 4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kCodeLengthOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};
static_assert(kDistBase[29] + (1u << kDistExtra[29]) - 1 == kDictSize,
              "the farthest distance reaches the start of the history");
static_assert(kLengthBase[28] == kMaxMatch);

// Copies a match of length bytes from distance back (1..kDictSize) within the
// window, as a byte-by-byte copy would (an overlapping copy repeats what it
// produces). May write up to kCopySlack bytes past dst + length.
inline void CopyMatch(uint8_t* dst, uint32_t distance, uint32_t length) {
  const uint8_t* src = dst - distance;
  uint8_t* const end = dst + length;
  if (distance >= 16) {
    // Every 16-byte step reads only bytes that are already final.
    do {
      uint64_t a = Load64(src), b = Load64(src + 8);
      Store64(dst, a);
      Store64(dst + 8, b);
      dst += 16;
      src += 16;
    } while (dst < end);
    return;
  }
  if (distance == 1) {
    const uint64_t run = 0x0101010101010101ull * *src;
    do {
      Store64(dst, run);
      Store64(dst + 8, run);
      dst += 16;
    } while (dst < end);
    return;
  }
  if (distance < 8) {
    // The output repeats with period `distance`, hence also with the smallest
    // multiple of it that is at least 8. Build that much of the pattern with
    // 8-byte stores that each leave `distance` more bytes final, then copy
    // from that period in whole words.
    const uint32_t period = distance * ((8 + distance - 1) / distance);
    for (uint32_t done = 0; done < period; done += distance)
      Store64(dst + done, Load64(src + done));
    if (length <= period) return;
    dst += period;
    src = dst - period;
  }
  do {
    Store64(dst, Load64(src));
    dst += 8;
    src += 8;
  } while (dst < end);
}

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
  TResult FastCodes(const THuffEntry* lit, unsigned bl, const THuffEntry* dist, unsigned bd,
                    const uint8_t*& in, const uint8_t* inLimit);
  TResult FastCodesFromInput(const THuffEntry* lit, unsigned bl, const THuffEntry* dist,
                             unsigned bd);
  TResult FastCodesPastEnd(const THuffEntry* lit, unsigned bl, const THuffEntry* dist, unsigned bd);
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

  // Sends the full cycle to the output and starts the next one; after the
  // last, moves that cycle and the overshoot past it to the start.
  void EndCycle() {
    WindowFlush(io_, win_ + cycleEnd_ - kDictSize, kDictSize);
    if (cycleEnd_ < kOutputEnd) {
      cycleEnd_ += kDictSize;
      return;
    }
    std::memmove(win_, win_ + kOutputEnd - kDictSize, pos_ - (kOutputEnd - kDictSize));
    pos_ -= kOutputEnd - kDictSize;
    cycleEnd_ = 2 * kDictSize;
  }
  void Put(uint8_t b) {
    win_[pos_++] = b;
    if (pos_ == cycleEnd_) EndCycle();
  }

  TDecoderIO& io_;
  TBitReaderA br_;
  uint8_t* win_;
  uint32_t pos_ = kDictSize;
  uint32_t cycleEnd_ = 2 * kDictSize;
  TDecodeStatus status_ = TDecodeStatus::Done;
};

TDecodeStatus TInflater::Run() {
  std::memset(win_, 0, kDictSize);
  int emptyAfterEnd = 0;
  for (;;) {
    // A block that starts after the input ran out and changes neither the
    // window position nor the output buffer produced nothing (or a multiple of
    // 12 MB, which is garbage all the same).
    const bool startedAfterEnd = io_.InputExhausted();
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
      if (++emptyAfterEnd >= kMaxIdleBlocksAfterEnd) return TDecodeStatus::EmptyBlocksAfterEnd;
    } else {
      emptyAfterEnd = 0;
    }
  }
  WindowFlush(io_, win_ + cycleEnd_ - kDictSize, pos_ - (cycleEnd_ - kDictSize));
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
    uint32_t n = std::min({len, avail, cycleEnd_ - pos_});
    std::memcpy(win_ + pos_, io_.inPos, n);
    br_.Consume(n);
    br_.last = win_[pos_ + n - 1];
    br_.buf = 0;  // the look-ahead bits no longer follow the input position
    len -= n;
    pos_ += n;
    if (pos_ == cycleEnd_) EndCycle();
  }
  return true;
}

bool TInflater::Fixed() {
  static_assert(kFixedLitCodes <= kMaxSymbols);
  uint8_t lengths[kFixedLitCodes];
  std::memset(lengths, 8, 144);
  std::memset(lengths + 144, 9, 112);
  std::memset(lengths + 256, 7, 24);
  std::memset(lengths + 280, 8, 8);
  THuffTable lit, dist;
  THuffStatus built =
      BuildHuffTable(lengths, kFixedLitCodes, kFirstLengthCode, kLengthBase, kLengthExtra, 7, lit);
  if (built != THuffStatus::Complete) return TableStop(built);
  std::memset(lengths, 5, kFixedDistCodes);
  built = BuildHuffTable(lengths, kFixedDistCodes, 0, kDistBase, kDistExtra, 5, dist);
  if (built != THuffStatus::Complete && built != THuffStatus::Incomplete) return TableStop(built);
  return Codes(lit, dist);
}

bool TInflater::Dynamic() {
  unsigned hlit = br_.Take(5) + kFirstLengthCode;
  unsigned hdist = br_.Take(5) + 1;
  unsigned hclen = br_.Take(4) + 4;
  if (hlit > kMaxLitCodes || hdist > kMaxDistCodes) return Stop(TDecodeStatus::TooManyCodes);

  uint8_t lengths[kMaxLitCodes + kMaxDistCodes] = {};
  {
    uint8_t clLengths[kCodeLengthCodes] = {};
    // Each code length is three bits wide, so it fits a byte.
    for (unsigned i = 0; i < hclen; ++i)
      clLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(br_.Take(3));
    THuffTable cl;
    THuffStatus built =
        BuildHuffTable(clLengths, kCodeLengthCodes, kCodeLengthCodes, nullptr, nullptr, 7, cl);
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
  THuffStatus built = BuildHuffTable(lengths, hlit, kFirstLengthCode, kLengthBase, kLengthExtra,
                                     kLitLookupBits, lit);
  if (built != THuffStatus::Complete) return TableStop(built);
  built = BuildHuffTable(lengths + hlit, hdist, 0, kDistBase, kDistExtra, kDistLookupBits, dist);
  if (built != THuffStatus::Complete) return TableStop(built);
  return Codes(lit, dist);
}

bool TInflater::Codes(const THuffTable& litTable, const THuffTable& distTable) {
  const THuffEntry* lit = litTable.Root();
  const THuffEntry* dist = distTable.Root();
  const unsigned bl = litTable.LookupBits();
  const unsigned bd = distTable.LookupBits();
  // The fast loop's bit accounting (several first-level literals per refill,
  // a whole match per refill on 64-bit builds) rests on these widths. Every
  // table accepted here has them: a complete code set of at most 286 codes
  // has a code of at most 8 bits, of 30 codes one of at most 4 bits, and the
  // builder clamps the width to the shortest code. A table without them would
  // take the exact path.
  const bool fastWidths = bl <= kLitLookupBits && bd <= kDistLookupBits;
  assert(fastWidths);
  for (;;) {
    // Past the end of the data the input is the last byte over and over
    // (see the bit reader), which the fast loop can read as well; a 32-bit
    // word cannot take a bit buffer that the reader filled beyond it.
    const bool fastInput = fastWidths && br_.Available() >= kFastInput;
    const bool fastPastEnd = fastWidths && io_.InputExhausted() && br_.count < kWordBits;
    if (fastInput || fastPastEnd) {
      TResult r =
          fastInput ? FastCodesFromInput(lit, bl, dist, bd) : FastCodesPastEnd(lit, bl, dist, bd);
      if (pos_ >= cycleEnd_) EndCycle();
      if (r == TResult::EndOfBlock) return true;
      if (r == TResult::Invalid) return Stop(TDecodeStatus::InvalidCode);
    }
    // One code read bit-exactly (near the end of the input buffer).
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
    while (length-- > 0) Put(win_[pos_ - distance]);
  }
}

// Resolves a sub-table link of the entry at the bottom bits of buf, dropping
// the first-level bits. Sub-tables are one level deep: what a link leads to
// is a final entry or an invalid one.
inline const THuffEntry* FollowLink(const THuffEntry* e, TBitWord& buf, unsigned& count) {
  buf >>= e->bits;
  count -= e->bits;
  e = e->link + LowBits(buf, e->op - kOpLiteral);
  assert(e->op <= kOpLiteral || e->op == kOpInvalid);
  return e;
}

// The fast loop over the input buffer: the bytes it took are consumed.
TInflater::TResult TInflater::FastCodesFromInput(const THuffEntry* lit, unsigned bl,
                                                 const THuffEntry* dist, unsigned bd) {
  const uint8_t* const inStart = io_.inPos;
  const uint8_t* in = inStart;
  const TResult result = FastCodes(lit, bl, dist, bd, in, inStart + (br_.Available() - kFastInput));
  if (in != inStart) {
    br_.Consume(static_cast<uint32_t>(in - inStart));
    br_.last = in[-1];
  }
  return result;
}

// The fast loop past the end of the data, over a run of the repeated byte:
// each byte it took counts as a failed read, as the bit reader counts them.
TInflater::TResult TInflater::FastCodesPastEnd(const THuffEntry* lit, unsigned bl,
                                               const THuffEntry* dist, unsigned bd) {
  uint8_t repeated[256 + kFastInput];
  std::memset(repeated, br_.last, sizeof repeated);
  const uint8_t* in = repeated;
  const TResult result = FastCodes(lit, bl, dist, bd, in, repeated + sizeof repeated - kFastInput);
  br_.CountFailedReads(static_cast<uint32_t>(in - repeated));
  return result;
}

// Entry contract: pos_ < cycleEnd_, br_.count < kWordBits, and the bytes
// from in to inLimit + kFastInput follow the bit buffer's bits. Each round
// refills the bit buffer to at least kRefillBits bits, decodes up to
// kLiteralsPerRefill first-level literals or one other symbol, and writes
// at most kMaxMatch bytes plus the copy slack. Returns Continue when a
// margin no longer holds, with pos_ possibly up to kMaxMatch - 1 past
// cycleEnd_; in is then past the bytes taken.
TInflater::TResult TInflater::FastCodes(const THuffEntry* lit, unsigned bl, const THuffEntry* dist,
                                        unsigned bd, const uint8_t*& in,
                                        const uint8_t* const inLimit) {
  assert(br_.count < kWordBits);
  TBitWord buf = static_cast<TBitWord>(br_.buf);
  unsigned count = br_.count;
  uint8_t* out = win_ + pos_;
  uint8_t* const outLimit = win_ + cycleEnd_;
  const TBitWord lmask = (TBitWord{1} << bl) - 1;
  const TBitWord dmask = (TBitWord{1} << bd) - 1;
  TResult result = TResult::Continue;

  // Tops the buffer up to at least kRefillBits bits with whole bytes. The
  // bits loaded above `count` are the input bytes that follow, so the next
  // refill may OR them in again.
  auto refill = [&] {
    buf |= LoadWord(in) << count;
    in += (kWordBits - 1 - count) >> 3;
    count |= kRefillBits;
  };

  while (in <= inLimit && out < outLimit) {
    refill();
    const THuffEntry* e = lit + (buf & lmask);
    unsigned op = e->op;
    if (op == kOpLiteral) {
      // Each first-level literal takes at most kLitLookupBits bits, so the
      // refill covers kLiteralsPerRefill of them and the next lookup.
      unsigned n = 0;
      do {
        buf >>= e->bits;
        count -= e->bits;
        *out++ = static_cast<uint8_t>(e->value);
        e = lit + (buf & lmask);
      } while (e->op == kOpLiteral && ++n < kLiteralsPerRefill);
      continue;
    }
    if (op > kOpLiteral) {
      if (op == kOpInvalid) {
        result = TResult::Invalid;
        break;
      }
      e = FollowLink(e, buf, count);
      op = e->op;
      if (op == kOpInvalid) {
        result = TResult::Invalid;
        break;
      }
    }
    buf >>= e->bits;
    count -= e->bits;
    if (op == kOpLiteral) {
      *out++ = static_cast<uint8_t>(e->value);
      continue;
    }
    if (op == kOpEndOfBlock) {
      result = TResult::EndOfBlock;
      break;
    }
    const uint32_t length = e->value + static_cast<uint32_t>(LowBits(buf, op));
    buf >>= op;
    count -= op;

    if constexpr (!kOneRefillPerMatch) refill();
    e = dist + (buf & dmask);
    op = e->op;
    if (op > kOpLiteral) {
      if (op == kOpInvalid) {
        result = TResult::Invalid;
        break;
      }
      e = FollowLink(e, buf, count);
      op = e->op;
      if (op == kOpInvalid) {
        result = TResult::Invalid;
        break;
      }
    }
    buf >>= e->bits;
    count -= e->bits;
    if constexpr (!kOneRefillPerMatch) {
      if (count < op) refill();
    }
    const uint32_t distance = e->value + static_cast<uint32_t>(LowBits(buf, op));
    buf >>= op;
    count -= op;
    // The history in front of the cycle holds kDictSize bytes, as far back as
    // any distance reaches.
    assert(distance <= static_cast<uint32_t>(out - win_));
    CopyMatch(out, distance, length);
    out += length;
  }

  br_.buf = buf;
  br_.count = count;
  pos_ = static_cast<uint32_t>(out - win_);
  return result;
}

}  // namespace

TDecodeStatus Inflate(TDecoderIO& io) {
  TInflater inflater(io);
  return inflater.Run();
}

}  // namespace archive
