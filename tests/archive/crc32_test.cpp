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

namespace {

// The carry-less-multiply path against the table path: every length up to a
// few hundred bytes at every alignment, from several starting states, and a
// few large buffers whose lengths leave every kind of tail.
TEST(Crc32Folding, AgreesWithTheTablesAtEveryLengthAndAlignment) {
  if (!archive::Crc32HasFolding()) GTEST_SKIP() << "the processor has no PCLMULQDQ";
  std::mt19937 rng(13);
  std::vector<uint8_t> data((1 << 20) + 64);
  for (auto& b : data) b = static_cast<uint8_t>(rng());
  for (uint32_t start : {0xFFFFFFFFu, 0u, 0x12345678u}) {
    for (size_t offset = 0; offset < 16; ++offset) {
      for (size_t length = 0; length <= 400; ++length) {
        const uint8_t* p = data.data() + offset;
        ASSERT_EQ(archive::Crc32UpdateFolded(start, p, length),
                  archive::Crc32UpdatePortable(start, p, length))
            << "start " << start << " offset " << offset << " length " << length;
      }
    }
  }
  for (size_t length : {4096u, 16000u, 65536u + 17u, (1u << 20) + 63u}) {
    const uint8_t* p = data.data() + 1;
    EXPECT_EQ(archive::Crc32UpdateFolded(0xFFFFFFFFu, p, length),
              archive::Crc32UpdatePortable(0xFFFFFFFFu, p, length))
        << "length " << length;
  }
  // A known answer through the folding path alone: a megabyte of zero bytes.
  const std::vector<uint8_t> zeros(1 << 20, 0);
  EXPECT_EQ(~archive::Crc32UpdateFolded(0xFFFFFFFFu, zeros.data(), zeros.size()), 0xA738EA1Cu);
}

}  // namespace
