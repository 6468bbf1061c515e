// Implode decoder: hand-built members with both dictionaries and tree counts,
// back-references before the start, and bad tree descriptions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/decoders.h"
#include "tests/archive/decoder_test_io.h"

namespace {

using decoder_test::TBitWriter;
using decoder_test::TMemoryIO;

constexpr uint16_t kFlag8K = 0x02;
constexpr uint16_t kFlagLiteralTree = 0x04;

// A tree description of n codes of one length (n a multiple of 16).
void PutFlatTree(TBitWriter& w, unsigned n, unsigned length) {
  w.PutByte(static_cast<uint8_t>(n / 16 - 1));
  for (unsigned i = 0; i < n / 16; ++i) w.PutByte(static_cast<uint8_t>(0xF0 | (length - 1)));
}

// With equal lengths the canonical code of symbol i is i; Implode sends the
// complement.
void PutCode(TBitWriter& w, unsigned symbol, unsigned length) {
  w.PutCode(~symbol & ((1u << length) - 1), length);
}

struct TImploder {
  uint16_t flags;
  TBitWriter w;
  explicit TImploder(uint16_t f) : flags(f) {
    if (flags & kFlagLiteralTree) PutFlatTree(w, 256, 8);
    PutFlatTree(w, 64, 6);  // lengths
    PutFlatTree(w, 64, 6);  // distances
  }
  void Literal(uint8_t b) {
    w.Put(1, 1);
    if (flags & kFlagLiteralTree)
      PutCode(w, b, 8);
    else
      w.Put(b, 8);
  }
  // distance - 1 = low + 64 (or 128) x code; length = minimum + code (+ extra).
  void Match(unsigned distance, unsigned length) {
    const unsigned lowBits = flags & kFlag8K ? 7 : 6;
    const unsigned minimum = flags & kFlagLiteralTree ? 3 : 2;
    w.Put(0, 1);
    w.Put((distance - 1) & ((1u << lowBits) - 1), lowBits);
    PutCode(w, (distance - 1) >> lowBits, 6);
    unsigned code = length - minimum;
    if (code >= 63) {
      PutCode(w, 63, 6);
      w.Put(code - 63, 8);
    } else {
      PutCode(w, code, 6);
    }
  }
  std::string Run(int32_t size) {
    TMemoryIO io(w.Bytes(), size, flags);
    archive::Explode(io);
    EXPECT_TRUE(decoder_test::ChunksAreWhole(io.flushes));
    return io.output;
  }
};

TEST(Explode, EveryDictionaryAndTreeCount) {
  for (int f : {0, 2, 4, 6}) {
    const uint16_t flags = static_cast<uint16_t>(f);
    SCOPED_TRACE(flags);
    TImploder im(flags);
    std::string expect;
    for (char c : std::string("Implode!")) im.Literal(c), expect += c;
    im.Match(8, 20);  // overlapping copy
    for (int i = 0; i < 20; ++i) expect += expect[expect.size() - 8];
    const unsigned longest = (flags & kFlagLiteralTree ? 3 : 2) + 63 + 255;
    im.Match(3, longest);  // the longest length, with extra bits
    for (unsigned i = 0; i < longest; ++i) expect += expect[expect.size() - 3];
    const unsigned far = flags & kFlag8K ? 8192 : 4096;
    while (expect.size() < far + 100) {
      im.Literal(static_cast<uint8_t>(expect.size() * 7));
      expect += static_cast<char>(expect.size() * 7);
    }
    im.Match(far, 10);
    for (int i = 0; i < 10; ++i) expect += expect[expect.size() - far];
    EXPECT_EQ(im.Run(static_cast<int32_t>(expect.size())), expect);
  }
}

TEST(Explode, BackReferenceBeforeTheStartGivesZeros) {
  TImploder im(kFlag8K);
  im.Literal('s');
  im.Match(100, 5);
  im.Literal('t');
  EXPECT_EQ(im.Run(7), "s" + std::string(5, '\0') + "t");
}

TEST(Explode, WindowWrapsAndFlushesWholeChunks) {
  TImploder im(0);
  std::string expect = "ab";
  im.Literal('a'), im.Literal('b');
  while (expect.size() < 100000) {
    im.Match(2, 65);
    for (int i = 0; i < 65; ++i) expect += expect[expect.size() - 2];
  }
  EXPECT_TRUE(im.Run(static_cast<int32_t>(expect.size())) == expect);
}

TEST(Explode, BadTreeDescriptionsStopBeforeOutput) {
  using archive::TDecodeStatus;
  struct TCase {
    const char* name;
    TDecodeStatus why;
    std::vector<uint8_t> lengthTree;
  };
  const TCase cases[] = {
      {"too many lengths", TDecodeStatus::TreeOverrun, {4, 0xF5, 0xF5, 0xF5, 0xF5, 0x05}},
      {"too few lengths", TDecodeStatus::TreeShort, {2, 0xF5, 0xF5, 0xF5}},
      {"over-subscribed", TDecodeStatus::InvalidTable, {3, 0xF0, 0xF5, 0xF5, 0xF5}},  // 1 bit
      {"incomplete", TDecodeStatus::IncompleteTable, {3, 0xF6, 0xF6, 0xF6, 0xF6}},    // 7 bits
  };
  for (const auto& c : cases) {
    TBitWriter w;
    for (uint8_t b : c.lengthTree) w.PutByte(b);
    PutFlatTree(w, 64, 6);
    w.Put(0xFFFFFF, 24);
    TMemoryIO io(w.Bytes(), 10, 0);
    EXPECT_EQ(archive::Explode(io), c.why) << c.name;
    EXPECT_EQ(io.output, "") << c.name;
    EXPECT_TRUE(io.flushes.empty()) << c.name;
  }
}

}  // namespace
