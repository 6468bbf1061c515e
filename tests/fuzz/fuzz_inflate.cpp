// Deflate decoder on arbitrary input, compared with zlib: whenever zlib
// decodes the stream completely within the size limit, the output must match.
// A stream that ran out of data is compared with itself followed by its last
// byte written out, which is what the decoder reads past the end: the same
// output, or a longer one where blocks that made nothing ended decoding.
#include <zlib.h>

#include "archive/decoders.h"
#include "tests/fuzz/fuzz_decoder_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  fuzz::TFuzzMember m = fuzz::SplitInput(bytes, size);
  const uint32_t chunk = 1 + (m.params & 15) * 1000;
  decoder_test::TMemoryIO io(m.data, m.declaredSize, 0, chunk);
  bool limited = false;
  archive::TDecodeStatus status = archive::TDecodeStatus::Done;
  try {
    status = archive::Inflate(io);
  } catch (const decoder_test::TSizeExceeded&) {
    limited = true;
  }

  if (io.InputExhausted() && !m.data.empty()) {
    decoder_test::TMemoryIO written(m.data + std::string(64 * 1024, m.data.back()), m.declaredSize,
                                    0, chunk);
    try {
      archive::Inflate(written);
    } catch (const decoder_test::TSizeExceeded&) {
    }
    if (written.output.compare(0, io.output.size(), io.output) != 0) __builtin_trap();
    if (status != archive::TDecodeStatus::EmptyBlocksAfterEnd && written.output != io.output)
      __builtin_trap();
  }

  std::string expect(static_cast<size_t>(m.declaredSize) + 1, '\0');
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return 0;
  z.next_in = reinterpret_cast<Bytef*>(m.data.data());
  z.avail_in = static_cast<uInt>(m.data.size());
  z.next_out = reinterpret_cast<Bytef*>(expect.data());
  z.avail_out = static_cast<uInt>(expect.size());
  int rc = inflate(&z, Z_FINISH);
  size_t produced = z.total_out;
  inflateEnd(&z);
  if (rc == Z_STREAM_END && !limited && produced <= static_cast<size_t>(m.declaredSize)) {
    expect.resize(produced);
    if (io.output != expect) __builtin_trap();
  }
  return 0;
}
