// CRC-32: known answers, and the sliced update agrees with the byte-at-a-time
// table step at every alignment, length and split point.
#include "archive/crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

uint32_t Crc(const std::string& s) {
  return ~archive::Crc32Update(0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

struct TKnown {
  std::string input;
  uint32_t crc;
};

class Crc32Known : public ::testing::TestWithParam<TKnown> {};

TEST_P(Crc32Known, MatchesTheStandardValue) { EXPECT_EQ(Crc(GetParam().input), GetParam().crc); }

INSTANTIATE_TEST_SUITE_P(Values, Crc32Known,
                         ::testing::Values(TKnown{"", 0x00000000u}, TKnown{"a", 0xE8B7BE43u},
                                           TKnown{"123456789", 0xCBF43926u},
                                           TKnown{"The quick brown fox jumps over the lazy dog",
                                                  0x414FA339u},
                                           TKnown{std::string(32, '\0'), 0x190A55ADu},
                                           TKnown{std::string(32, '\xFF'), 0xFF6CAB0Bu}));

TEST(Crc32, SlicedUpdateEqualsByteSteps) {
  std::mt19937 rng(5);
  std::vector<uint8_t> data(4096 + 16);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t length : {0u, 1u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 1000u, 4096u}) {
      uint32_t slow = 0xFFFFFFFFu;
      for (size_t i = 0; i < length; ++i) slow = archive::Crc32Byte(slow, data[offset + i]);
      EXPECT_EQ(archive::Crc32Update(0xFFFFFFFFu, data.data() + offset, length), slow)
          << "offset " << offset << " length " << length;
      // Any split of the buffer gives the same running CRC.
      size_t cut = length / 3;
      uint32_t split = archive::Crc32Update(0xFFFFFFFFu, data.data() + offset, cut);
      split = archive::Crc32Update(split, data.data() + offset + cut, length - cut);
      EXPECT_EQ(split, slow);
    }
  }
}

}  // namespace
