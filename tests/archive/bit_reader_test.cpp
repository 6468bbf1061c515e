// Bit reader A past the end of a member's data: the bits that follow are
// those of the last byte over and over, and the input counts as exhausted
// from the first read that found nothing, not before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/inflate_bits.h"
#include "tests/archive/decoder_test_io.h"

namespace {

// Bit i of the data followed by its last byte repeated, least significant
// bit first.
unsigned ReferenceBit(const std::string& data, size_t i) {
  const size_t byte = i / 8;
  const auto b = static_cast<unsigned char>(byte < data.size() ? data[byte] : data.back());
  return (b >> (i % 8)) & 1u;
}

TEST(BitReaderA, PastTheEndTheLastByteRepeats) {
  struct TCase {
    const char* name;
    std::string data;
    std::vector<unsigned> widths;  // of the reads, in order
  };
  const TCase cases[] = {
      {"five-bit reads far past three bytes", "\x5A\xC3\x81", std::vector<unsigned>(40, 5)},
      {"sixteen-bit reads past one byte", "\xE7", std::vector<unsigned>(12, 16)},
      {"exactly to the end, then on in uneven steps",
       "\x12\x34",
       {16, 7, 9, 13, 1, 16, 3, 16, 16, 2}},
      {"one-bit reads across the end", "\x96\x69", std::vector<unsigned>(64, 1)},
  };
  for (const TCase& c : cases) {
    decoder_test::TMemoryIO io(c.data);
    archive::TBitReaderA br(io);
    size_t at = 0;
    for (unsigned n : c.widths) {
      const uint32_t got = br.Take(n);
      uint32_t want = 0;
      for (unsigned k = 0; k < n; ++k) want |= ReferenceBit(c.data, at + k) << k;
      ASSERT_EQ(got, want) << c.name << ", bits " << at << " to " << at + n;
      at += n;
      // Exhausted once the reads wanted more bytes than the data has.
      EXPECT_EQ(io.InputExhausted(), (at + 7) / 8 > c.data.size()) << c.name << " at " << at;
    }
  }
}

}  // namespace
