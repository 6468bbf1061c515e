// Decoders of the compression methods other than Stored. Each reads only
// through TDecoderIO::ReadByte (or the input buffer fields under its
// invariants) and writes only through the output buffer and FlushOutput. None
// returns a status: on invalid data it stops, and the CRC check rejects the
// member.
#pragma once

#include "archive/decoder_io.h"

namespace archive {

void Inflate(TDecoderIO& io);               // method 8
void Unshrink(TDecoderIO& io);              // method 1
void Unreduce(TDecoderIO& io, int factor);  // methods 2 to 5, factor = method - 1
void Explode(TDecoderIO& io);               // method 6; dictionary and trees from io.flags

}  // namespace archive
