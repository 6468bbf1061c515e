// Shrink decoder on arbitrary input.
#include "archive/decoders.h"
#include "tests/fuzz/fuzz_decoder_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  fuzz::TFuzzMember m = fuzz::SplitInput(bytes, size);
  decoder_test::TMemoryIO io(m.data, m.declaredSize);
  fuzz::RunDecoder(io, [](decoder_test::TMemoryIO& d) { archive::Unshrink(d); });
  return 0;
}
