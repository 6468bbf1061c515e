// Shared set-up of the decoder fuzz targets: the first input byte picks the
// member's parameters, the rest is the compressed data. Output is capped by
// the declared size (at most 128 KB), as the size guard caps it in a real run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/archive/decoder_test_io.h"

namespace fuzz {

struct TFuzzMember {
  uint8_t params = 0;
  std::string data;
  int32_t declaredSize = 0;
};

inline TFuzzMember SplitInput(const uint8_t* bytes, size_t size) {
  TFuzzMember m;
  if (size == 0) return m;
  m.params = bytes[0];
  m.data.assign(reinterpret_cast<const char*>(bytes + 1), size - 1);
  // Sizes from 0 to 128 KB, tied to the input so that both ends get exercised.
  m.declaredSize = static_cast<int32_t>((m.params >> 4) * 8192 + (size * 7) % 8192);
  return m;
}

// Runs a decoder; the size guard ends runaway output like the real flush.
template <typename F>
void RunDecoder(decoder_test::TMemoryIO& io, F decode) {
  try {
    decode(io);
  } catch (const decoder_test::TSizeExceeded&) {
  }
  if (io.outCount > archive::kOutputChunk) __builtin_trap();
  if (io.output.size() > static_cast<size_t>(io.uncompressedSize)) __builtin_trap();
}

}  // namespace fuzz
