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
// bits. Decoding then runs until the declared uncompressed size is produced,
// through the first 32768 bytes of the window as a circular dictionary
// (`pos` is the next position; a full window is flushed and writing restarts
// at 0). The window is zeroed first: a back-reference before the start of the
// output yields zero bytes.
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

struct TImplodeTables {
  uint16_t lengthBase2[64], lengthBase3[64], distBase4k[64], distBase8k[64];
  uint8_t extra[64];
  constexpr TImplodeTables() : lengthBase2(), lengthBase3(), distBase4k(), distBase8k(), extra() {
    for (int c = 0; c < 64; ++c) {
      lengthBase2[c] = static_cast<uint16_t>(2 + c);
      lengthBase3[c] = static_cast<uint16_t>(3 + c);
      distBase4k[c] = static_cast<uint16_t>(1 + 64 * c);
      distBase8k[c] = static_cast<uint16_t>(1 + 128 * c);
      extra[c] = c == 63 ? 8 : 0;
    }
  }
};
constexpr TImplodeTables kTables;

// Reads one compressed tree description of `size` code lengths. Done, or why
// not: the lengths overrun the tree or do not fill it exactly.
TDecodeStatus ReadTree(TBitReaderA& br, uint8_t* lengths, unsigned size) {
  uint8_t b = br.last;
  br.io.ReadByte(b);
  br.last = b;
  unsigned bytes = b + 1u;
  unsigned filled = 0;
  while (bytes-- > 0) {
    br.io.ReadByte(b);
    br.last = b;
    unsigned repeat = (b >> 4) + 1u;
    uint8_t length = static_cast<uint8_t>((b & 0x0F) + 1);
    if (filled + repeat > size) return TDecodeStatus::TreeOverrun;
    std::memset(lengths + filled, length, repeat);
    filled += repeat;
  }
  return filled == size ? TDecodeStatus::Done : TDecodeStatus::TreeShort;
}

TDecodeStatus ReadAndBuild(TBitReaderA& br, unsigned size, unsigned s, const uint16_t* base,
                           unsigned lookupBits, THuffTable& table) {
  uint8_t lengths[256];
  TDecodeStatus read = ReadTree(br, lengths, size);
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

}  // namespace

TDecodeStatus Explode(TDecoderIO& io) {
  const bool bigDict = (io.flags & 0x02) != 0;
  const bool literalTree = (io.flags & 0x04) != 0;
  const unsigned lowDistBits = bigDict ? 7 : 6;
  const unsigned distLookup = io.compressedLeft > kLargeMemberBytes ? 8 : 7;

  TBitReaderA br(io);
  THuffTable lit, len, dist;
  TDecodeStatus status = TDecodeStatus::Done;
  if (literalTree) status = ReadAndBuild(br, 256, 256, nullptr, 9, lit);
  if (status == TDecodeStatus::Done)
    status =
        ReadAndBuild(br, 64, 0, literalTree ? kTables.lengthBase3 : kTables.lengthBase2, 7, len);
  if (status == TDecodeStatus::Done)
    status = ReadAndBuild(br, 64, 0, bigDict ? kTables.distBase8k : kTables.distBase4k, distLookup,
                          dist);
  if (status != TDecodeStatus::Done) return status;

  uint8_t* const win = io.window;
  std::memset(win, 0, kDictSize);
  uint32_t pos = 0;
  int64_t left = io.uncompressedSize;
  while (left > 0) {
    if (br.Take(1) != 0) {
      uint8_t literal;
      if (literalTree) {
        const THuffEntry* e = DecodeA<true>(br, lit.Root(), lit.LookupBits());
        if (e == nullptr) {
          status = TDecodeStatus::InvalidCode;
          break;
        }
        literal = static_cast<uint8_t>(e->value);
      } else {
        literal = static_cast<uint8_t>(br.Take(8));
      }
      win[pos++] = literal;
      --left;
      if (pos == kDictSize) {
        WindowFlush(io, win, kDictSize);
        pos = 0;
      }
      continue;
    }
    uint32_t low = br.Take(lowDistBits);
    const THuffEntry* e = DecodeA<true>(br, dist.Root(), dist.LookupBits());
    if (e == nullptr) {
      status = TDecodeStatus::InvalidCode;
      break;
    }
    uint32_t distance = low + e->value;
    e = DecodeA<true>(br, len.Root(), len.LookupBits());
    if (e == nullptr) {
      status = TDecodeStatus::InvalidCode;
      break;
    }
    uint32_t length = e->value;
    if (e->op != 0) length += br.Take(e->op);
    left -= length;
    pos = CopyCircular<kDictSize>(io, win, pos, distance, length);
  }
  if (status == TDecodeStatus::Done) WindowFlush(io, win, pos);
  lit.Release();
  len.Release();
  dist.Release();
  io.FlushOutput();
  return status;
}

}  // namespace archive
