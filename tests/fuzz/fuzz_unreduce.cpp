// Reduce decoder on arbitrary input with every compression factor.
#include "archive/decoders.h"
#include "tests/fuzz/fuzz_decoder_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  fuzz::TFuzzMember m = fuzz::SplitInput(bytes, size);
  decoder_test::TMemoryIO io(m.data, m.declaredSize);
  const int factor = 1 + (m.params & 3);
  fuzz::RunDecoder(io, [factor](decoder_test::TMemoryIO& d) { archive::Unreduce(d, factor); });
  return 0;
}
