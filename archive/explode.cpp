// Implode decoder (compression method 6, PKWARE's "imploding").
//
// The member's flags choose the variant: bit 1 an 8K dictionary (7 low
// distance bits, distance base 1 + 128 x code) instead of 4K (6 bits, base
// 1 + 64 x code); bit 2 a literal tree (three trees, minimum match 3) instead
// of raw 8-bit literals (two trees, minimum match 2).
//
// The trees come first, each as a compressed list of code lengths read byte by
// byte from the input refill, and are built with the shared table builder.
// Implode's codes are the complements of the canonical codes for the same
// lengths, so lookups index the tables with the complement of the buffered
// bits. Decoding then runs until the output cap (the declared uncompressed
// size) is reached, through the first kDictSize bytes of the window as a
// circular dictionary (TCircularOutput).
//
// A bad tree description or table stops before any output; an invalid code
// while decoding stops with the output buffer flushed but the unflushed part
// of the window lost.
#include <cstring>

#include "archive/decoders.h"
#include "archive/huffman.h"
#include "archive/inflate_bits.h"

namespace archive {

namespace {

// Compressed sizes above this use 8 lookup bits for the distance tree.
constexpr int32_t kLargeMemberBytes = 200000;
constexpr unsigned kLiteralCodes = 256;                          // a code per byte value
constexpr unsigned kTreeCodes = 64;                              // length and distance trees
constexpr uint32_t kMaxDistance = 128 * (kTreeCodes - 1) + 128;  // 8K dictionary
static_assert(kMaxDistance <= kDictSize);

struct TImplodeTables {
  uint16_t lengthBase2[kTreeCodes], lengthBase3[kTreeCodes], distBase4k[kTreeCodes],
      distBase8k[kTreeCodes];
  uint8_t extra[kTreeCodes];
  constexpr TImplodeTables() : lengthBase2(), lengthBase3(), distBase4k(), distBase8k(), extra() {
    for (unsigned c = 0; c < kTreeCodes; ++c) {
      lengthBase2[c] = static_cast<uint16_t>(2 + c);
      lengthBase3[c] = static_cast<uint16_t>(3 + c);
      distBase4k[c] = static_cast<uint16_t>(1 + 64 * c);
      distBase8k[c] = static_cast<uint16_t>(1 + 128 * c);
      extra[c] = c == kTreeCodes - 1 ? 8 : 0;
    }
  }
};
constexpr TImplodeTables kTables;

class TExploder {
 public:
  explicit TExploder(TDecoderIO& io)
      : io_(io),
        br_(io),
        out_(io),
        bigDict_((io.flags & 0x02) != 0),
        literalTree_((io.flags & 0x04) != 0) {}
  TDecodeStatus Run();

 private:
  TDecodeStatus ReadTrees();
  TDecodeStatus ReadTree(uint8_t* lengths, unsigned size);
  TDecodeStatus ReadAndBuild(unsigned size, unsigned s, const uint16_t* base, unsigned lookupBits,
                             THuffTable& table);
  TDecodeStatus Decode();
  const THuffEntry* Code(const THuffTable& table) {
    return DecodeA<true>(br_, table.Root(), table.LookupBits());
  }

  TDecoderIO& io_;
  TBitReaderA br_;
  TCircularOutput<kDictSize> out_;
  const bool bigDict_;
  const bool literalTree_;
  THuffTable lit_, len_, dist_;
};

// Reads one compressed tree description of `size` code lengths. Done, or why
// not: the lengths overrun the tree or do not fill it exactly.
TDecodeStatus TExploder::ReadTree(uint8_t* lengths, unsigned size) {
  uint8_t b = br_.last;
  io_.ReadByte(b);
  br_.last = b;
  unsigned bytes = b + 1u;
  unsigned filled = 0;
  while (bytes-- > 0) {
    io_.ReadByte(b);
    br_.last = b;
    unsigned repeat = (b >> 4) + 1u;
    uint8_t length = static_cast<uint8_t>((b & 0x0F) + 1);
    if (filled + repeat > size) return TDecodeStatus::TreeOverrun;
    std::memset(lengths + filled, length, repeat);
    filled += repeat;
  }
  return filled == size ? TDecodeStatus::Done : TDecodeStatus::TreeShort;
}

TDecodeStatus TExploder::ReadAndBuild(unsigned size, unsigned s, const uint16_t* base,
                                      unsigned lookupBits, THuffTable& table) {
  uint8_t lengths[kLiteralCodes];
  TDecodeStatus read = ReadTree(lengths, size);
  if (read != TDecodeStatus::Done) return read;
  switch (BuildHuffTable(lengths, size, s, base, kTables.extra, lookupBits, table)) {
    case THuffStatus::Complete:
      return TDecodeStatus::Done;
    case THuffStatus::Incomplete:
      return TDecodeStatus::IncompleteTable;
    case THuffStatus::OutOfMemory:
      return TDecodeStatus::OutOfMemory;
    default:
      return TDecodeStatus::InvalidTable;
  }
}

// The literal tree (when the member has one), then the length and distance
// trees.
TDecodeStatus TExploder::ReadTrees() {
  const unsigned distLookup = io_.compressedLeft > kLargeMemberBytes ? 8 : 7;
  TDecodeStatus status = TDecodeStatus::Done;
  if (literalTree_) status = ReadAndBuild(kLiteralCodes, kLiteralCodes, nullptr, 9, lit_);
  if (status == TDecodeStatus::Done)
    status = ReadAndBuild(kTreeCodes, 0, literalTree_ ? kTables.lengthBase3 : kTables.lengthBase2,
                          7, len_);
  if (status == TDecodeStatus::Done)
    status = ReadAndBuild(kTreeCodes, 0, bigDict_ ? kTables.distBase8k : kTables.distBase4k,
                          distLookup, dist_);
  return status;
}

// Literals and matches up to the output cap. An invalid code stops at once.
TDecodeStatus TExploder::Decode() {
  const unsigned lowDistBits = bigDict_ ? 7 : 6;
  while (!out_.CapReached()) {
    if (br_.Take(1) != 0) {
      uint8_t literal;
      if (literalTree_) {
        const THuffEntry* e = Code(lit_);
        if (e == nullptr) return TDecodeStatus::InvalidCode;
        literal = static_cast<uint8_t>(e->value);
      } else {
        literal = static_cast<uint8_t>(br_.Take(8));
      }
      out_.Put(literal);
      continue;
    }
    uint32_t low = br_.Take(lowDistBits);
    const THuffEntry* e = Code(dist_);
    if (e == nullptr) return TDecodeStatus::InvalidCode;
    uint32_t distance = low + e->value;
    e = Code(len_);
    if (e == nullptr) return TDecodeStatus::InvalidCode;
    uint32_t length = e->value;
    if (e->op != 0) length += br_.Take(e->op);
    out_.Copy(distance, length);
  }
  return TDecodeStatus::Done;
}

TDecodeStatus TExploder::Run() {
  TDecodeStatus status = ReadTrees();
  if (status != TDecodeStatus::Done) return status;
  status = Decode();
  // An invalid code loses what the dictionary holds since its last flush.
  if (status == TDecodeStatus::Done) out_.Drain();
  lit_.Release();
  len_.Release();
  dist_.Release();
  io_.FlushOutput();
  return status;
}

}  // namespace

TDecodeStatus Explode(TDecoderIO& io) {
  TExploder decoder(io);
  return decoder.Run();
}

}  // namespace archive
