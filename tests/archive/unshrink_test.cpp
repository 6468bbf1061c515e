// Shrink decoder: hand-built code streams for undefined codes, the control
// code 256 and the partial clear, and invalid streams that must end safely.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/decoders.h"
#include "tests/archive/decoder_test_io.h"

namespace {

using decoder_test::TBitWriter;
using decoder_test::TMemoryIO;

// Codes with their widths: {code, bits}; bits 0 means the current width (9
// unless widened by a {256, w} {1, w} pair in the list).
std::string Codes(const std::vector<unsigned>& codes, unsigned width = 9) {
  TBitWriter w;
  for (size_t i = 0; i < codes.size(); ++i) {
    w.Put(codes[i], width);
    if (codes[i] == 256 && i + 1 < codes.size() && codes[i + 1] == 1) {
      w.Put(1, width);
      ++width;
      ++i;
    }
  }
  return w.Bytes();
}

std::string Unshrunk(const std::string& data, int32_t size = 1 << 30) {
  TMemoryIO io(data, size);
  archive::Unshrink(io);
  return io.output;
}

TEST(Unshrink, CodeStreams) {
  struct TCase {
    const char* name;
    std::vector<unsigned> codes;
    std::string expect;
  };
  const TCase cases[] = {
      {"undefined code is previous string plus its first byte", {'a', 257, 258}, "aaaaaa"},
      {"256 followed by another value is ignored", {'x', 256, 3, 'y'}, "xy"},
      {"256 1 widens the codes", {'x', 256, 1, 'y', 257}, "xyxy"},
      {"partial clear frees leaf codes", {'a', 'b', 'c', 256, 2, 257}, "abccc"},
      {"partial clear keeps codes that are prefixes",
       {'a', 'b', 257, 'c', 256, 2, 257, 259},
       "ababcababa"},
  };
  for (const auto& c : cases) EXPECT_EQ(Unshrunk(Codes(c.codes)), c.expect) << c.name;
}

TEST(Unshrink, EndsWithTheInputNotTheDeclaredSize) {
  EXPECT_EQ(Unshrunk(Codes({'h', 'i', 257}), 1000), "hihi");
  EXPECT_EQ(Unshrunk(""), "");
}

TEST(Unshrink, InvalidStreamsEndWithinTheTables) {
  // A cycle through undefined codes (the first code is not a byte) would push
  // forever; widening past 13 bits would index past the tables.
  EXPECT_EQ(Unshrunk(Codes({300, 301, 'a', 'b'})), ",");
  std::vector<unsigned> widen = {'w'};
  for (int i = 0; i < 6; ++i) widen.insert(widen.end(), {256, 1});
  widen.push_back('z');
  EXPECT_EQ(Unshrunk(Codes(widen)), "w");
}

TEST(Unshrink, LongStringsAcrossChunks) {
  // Repeating one byte builds ever longer strings: 1 + 2 + 3 + ... bytes.
  std::vector<unsigned> codes = {'r'};
  std::string expect = "r";
  for (unsigned code = 257; code < 511; ++code) {
    codes.push_back(code);
    expect += std::string(code - 255, 'r');
  }
  TMemoryIO io(Codes(codes), 1 << 30);
  archive::Unshrink(io);
  EXPECT_EQ(io.output, expect);
  EXPECT_TRUE(decoder_test::ChunksAreWhole(io.flushes));
  EXPECT_GT(io.flushes.size(), 2u);
}

}  // namespace
