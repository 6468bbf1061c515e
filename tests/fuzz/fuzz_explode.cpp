// Implode decoder on arbitrary input with every dictionary and tree count.
#include "archive/decoders.h"
#include "tests/fuzz/fuzz_decoder_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  fuzz::TFuzzMember m = fuzz::SplitInput(bytes, size);
  decoder_test::TMemoryIO io(m.data, m.declaredSize, m.params & 0x06);
  fuzz::RunDecoder(io, [](decoder_test::TMemoryIO& d) { archive::Explode(d); });
  return 0;
}
