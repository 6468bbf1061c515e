// Decoders of the compression methods other than Stored. Each reads only
// through TDecoderIO::ReadByte (or the input buffer fields under its
// invariants) and writes only through the output buffer and FlushOutput. On
// invalid data a decoder stops, and the CRC check rejects the member; the
// status each returns says why it stopped, for tests and tools (the member
// extraction does not need it). It is set only where decoding ends, never on
// the per-symbol paths.
#pragma once

#include <cstdint>

#include "archive/decoder_io.h"

namespace archive {

enum class TDecodeStatus : uint8_t {
  Done,                 // the data ended, or the declared size was produced
  BadBlockType,         // Deflate block type 3
  BadStoredLength,      // a stored block whose length check does not match
  TooManyCodes,         // HLIT above 286 or HDIST above 30
  RepeatPastEnd,        // a code-length repeat that runs past HLIT + HDIST
  IncompleteTable,      // a Huffman code that leaves bit patterns unused
  InvalidTable,         // an over-subscribed Huffman code
  OutOfMemory,          // a table block could not be allocated
  InvalidCode,          // a bit pattern that no code reaches
  TreeOverrun,          // Implode: a tree description longer than its tree
  TreeShort,            // Implode: a tree description that does not fill its tree
  EmptyBlocksAfterEnd,  // Deflate: only empty blocks followed the end of the data
  BadFactor,            // Reduce: a compression factor outside 1 to 4
};

TDecodeStatus Inflate(TDecoderIO& io);               // method 8
TDecodeStatus Unshrink(TDecoderIO& io);              // method 1
TDecodeStatus Unreduce(TDecoderIO& io, int factor);  // methods 2 to 5, factor = method - 1
TDecodeStatus Explode(TDecoderIO& io);               // method 6; dictionary and trees from io.flags

}  // namespace archive
