// Reduce decoder: hand-built streams for the marker state machine, follower
// sets, length extension and back-references before the start.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "archive/decoders.h"
#include "tests/archive/decoder_test_io.h"

namespace {

using decoder_test::TBitWriter;
using decoder_test::TMemoryIO;

// Follower sets (characters 255 down to 0), then bytes: each raw byte of a
// character whose set is empty is 8 bits; with a set, "F<n>" entries pick
// follower n and others are sent raw after a 1 bit.
struct TReduceStream {
  std::map<uint8_t, std::string> sets;
  TBitWriter w;
  uint8_t last = 0;
  bool started = false;

  void Begin() {
    for (int c = 255; c >= 0; --c) {
      auto it = sets.find(static_cast<uint8_t>(c));
      std::string s = it == sets.end() ? "" : it->second;
      w.Put(static_cast<uint32_t>(s.size()), 6);
      for (char f : s) w.Put(static_cast<uint8_t>(f), 8);
    }
    started = true;
  }
  static unsigned IndexBits(size_t n) {
    unsigned b = 1;
    while ((1u << b) < n) ++b;
    return b;
  }
  void Byte(uint8_t b) {
    auto it = sets.find(last);
    if (it != sets.end() && !it->second.empty()) {
      size_t at = it->second.find(static_cast<char>(b));
      if (at != std::string::npos) {
        w.Put(0, 1);
        w.Put(static_cast<uint32_t>(at), IndexBits(it->second.size()));
        last = b;
        return;
      }
      w.Put(1, 1);
    }
    w.Put(b, 8);
    last = b;
  }
  void Bytes(const std::string& s) {
    for (char c : s) Byte(static_cast<uint8_t>(c));
  }
};

std::string Unreduced(TReduceStream& s, int factor, int32_t size) {
  TMemoryIO io(s.w.Bytes(), size);
  archive::Unreduce(io, factor);
  return io.output;
}

TEST(Unreduce, MarkerStateMachine) {
  struct TCase {
    const char* name;
    int factor;
    std::vector<uint8_t> bytes;
    std::string expect;
  };
  std::string abc385;
  for (int i = 0; i < 3 + 385; ++i) abc385 += "abc"[i % 3];
  const TCase cases[] = {
      {"144 then 0 is one 144",
       1,
       {'A', 144, 0, 'B'},
       "A\x90"
       "B"},
      {"copy of length 2 + 3 at distance 3", 1, {'a', 'b', 'c', 144, 2, 2}, "abcabcab"},
      {"factor 1 length extension to 385", 1, {'a', 'b', 'c', 144, 127, 255, 2}, abc385},
      {"factor 2 length mask 63 takes an extension byte",
       2,
       {'q', 144, 63, 1, 0},
       "q" + std::string(67, 'q')},
      {"back-reference before the start gives zeros",
       3,
       {144, 1, 5, 'k'},
       std::string(4, '\0') + "k"},
  };
  for (const auto& c : cases) {
    TReduceStream s;
    s.Begin();
    for (uint8_t b : c.bytes) s.Byte(b);
    EXPECT_EQ(Unreduced(s, c.factor, static_cast<int32_t>(c.expect.size())), c.expect) << c.name;
  }
}

TEST(Unreduce, DistanceTakesTheHighBitsOfTheLengthByte) {
  // Each factor's largest high part of the distance, over 4 KB of output in
  // which every distance lands on other bytes: a wrong shift or mask copies
  // the wrong ones.
  std::string history;
  for (int i = 0; i < 4200; ++i) {
    uint8_t b = static_cast<uint8_t>(i * 37 + i / 251);
    history += static_cast<char>(b == 144 ? 145 : b);
  }
  for (int factor = 1; factor <= 4; ++factor) {
    const unsigned shift = 8u - static_cast<unsigned>(factor);  // 7, 6, 5, 4
    const unsigned high = (1u << factor) - 1;                   // 1, 3, 7, 15
    TReduceStream s;
    s.Begin();
    s.Bytes(history);
    for (unsigned b : {144u, high << shift | 2u, 0x33u}) s.Byte(static_cast<uint8_t>(b));
    const size_t distance = high * 256 + 0x33 + 1;
    std::string expect = history + history.substr(history.size() - distance, 5);
    EXPECT_EQ(Unreduced(s, factor, static_cast<int32_t>(expect.size())), expect)
        << "factor " << factor;
  }
}

TEST(Unreduce, FollowerSetsSelectTheNextByte) {
  TReduceStream s;
  s.sets['a'] = "bcd";  // 2 index bits
  s.sets['b'] = "a";    // 1 index bit
  s.sets[0] = "m";      // the first byte follows character 0
  s.Begin();
  std::string text = "mabacadaxab";
  s.Bytes(text);
  EXPECT_EQ(Unreduced(s, 2, static_cast<int32_t>(text.size())), text);
}

TEST(Unreduce, LongOutputFlushesWholeChunks) {
  // A 16384-byte dictionary wraps several times; copies cross its end.
  TReduceStream s;
  s.Begin();
  s.Bytes("0123456789");
  std::string expect = "0123456789";
  while (expect.size() < 70000) {
    s.Bytes(std::string("\x90\x7F\xFF\x09", 4));  // 385 bytes from distance 10
    for (int i = 0; i < 385; ++i) expect += expect[expect.size() - 10];
  }
  TMemoryIO io(s.w.Bytes(), static_cast<int32_t>(expect.size()));
  archive::Unreduce(io, 1);
  EXPECT_TRUE(io.output == expect);
  EXPECT_TRUE(decoder_test::ChunksAreWhole(io.flushes));
}

TEST(Unreduce, GarbageRunsOnlyToTheDeclaredSize) {
  // Noise decodes to garbage until the declared size is reached; a last copy
  // past it is stopped by the size guard of the output flush.
  std::string noise(300, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 37 + 11);
  TMemoryIO io(noise, 50000);
  try {
    archive::Unreduce(io, 3);
    EXPECT_EQ(io.output.size(), 50000u);
  } catch (const decoder_test::TSizeExceeded&) {
    EXPECT_EQ(io.output.size(), 48000u);
  }
  EXPECT_LT(io.Unread(), 0);
}

}  // namespace
