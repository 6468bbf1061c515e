// Huffman table builder: the four statuses, the clamped lookup width, and
// that every canonical code (also through sub-tables, also looked up with
// inverted bits) resolves to its symbol.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "archive/huffman.h"
#include "archive/inflate_bits.h"
#include "tests/archive/decoder_test_io.h"

namespace {

using archive::THuffStatus;

TEST(InflateHuffman, StatusAndLookupWidth) {
  struct TCase {
    const char* name;
    std::vector<uint8_t> lengths;
    unsigned lookup;
    THuffStatus status;
    unsigned lookupOut;
  };
  const TCase cases[] = {
      {"complete", {2, 2, 2, 3, 3}, 9, THuffStatus::Complete, 3},
      {"incomplete", {2, 2, 2}, 9, THuffStatus::Incomplete, 2},
      {"single one-bit code counts as complete", {0, 1, 0}, 6, THuffStatus::Complete, 1},
      {"over-subscribed", {1, 1, 1}, 9, THuffStatus::Invalid, 0},
      {"all lengths zero: no table", {0, 0, 0, 0}, 9, THuffStatus::Complete, 0},
      {"lookup raised to the shortest code",
       {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
       2,
       THuffStatus::Complete,
       4},
  };
  for (const auto& c : cases) {
    archive::THuffTable table;
    EXPECT_EQ(BuildHuffTable(c.lengths.data(), static_cast<unsigned>(c.lengths.size()), 256,
                             nullptr, nullptr, c.lookup, table),
              c.status)
        << c.name;
    EXPECT_EQ(table.LookupBits(), c.lookupOut) << c.name;
  }
}

// Lengths 1..15 with long codes forcing sub-tables behind a 9-bit first level.
std::vector<uint8_t> SkewedLengths() {
  std::vector<uint8_t> lengths;
  for (uint8_t len = 1; len <= 14; ++len) lengths.push_back(len);
  lengths.push_back(15);
  lengths.push_back(15);
  return lengths;
}

template <bool kInverted>
void DecodeEveryCode() {
  const std::vector<uint8_t> lengths = SkewedLengths();
  const uint16_t base[16] = {100, 101, 102, 103, 104, 105, 106, 107,
                             108, 109, 110, 111, 112, 113, 114, 115};
  const uint8_t extra[16] = {};
  archive::THuffTable table;
  ASSERT_EQ(BuildHuffTable(lengths.data(), 16, 0, base, extra, 9, table), THuffStatus::Complete);
  // Canonical codes: symbol i < 15 gets i ones then a zero; 14 and 15 end in 0/1.
  decoder_test::TBitWriter w;
  for (unsigned sym = 0; sym < 16; ++sym) {
    unsigned len = lengths[sym];
    uint32_t code = sym < 14 ? ((1u << len) - 2) : ((1u << 15) - 2 + (sym - 14));
    if (kInverted) code = ~code & ((1u << len) - 1);
    w.PutCode(code, len);
  }
  w.Put(0, 32);
  decoder_test::TMemoryIO io(w.Bytes());
  archive::TBitReaderA br(io);
  for (unsigned sym = 0; sym < 16; ++sym) {
    const archive::THuffEntry* e =
        archive::DecodeA<kInverted>(br, table.Root(), table.LookupBits());
    ASSERT_NE(e, nullptr) << sym;
    EXPECT_EQ(e->value, 100 + sym);
  }
}

TEST(InflateHuffman, LongCodesResolveThroughSubTables) {
  DecodeEveryCode<false>();
  DecodeEveryCode<true>();
}

// The Deflate fast loop follows at most one link per code: every entry a
// link leads to is final (a symbol) or invalid, for short and long lookups.
TEST(InflateHuffman, SubTablesAreOneLevelDeep) {
  std::vector<uint8_t> fixed(288, 8);
  std::fill(fixed.begin() + 144, fixed.begin() + 256, 9);
  std::fill(fixed.begin() + 256, fixed.begin() + 280, 7);
  struct TCase {
    const char* name;
    std::vector<uint8_t> lengths;
    unsigned lookup;
  };
  const TCase cases[] = {
      {"fixed literal/length codes, 7-bit lookup", fixed, 7},
      {"codes of 1 to 15 bits, 9-bit lookup", SkewedLengths(), 9},
      {"codes of 1 to 15 bits, 2-bit lookup", SkewedLengths(), 2},
  };
  for (const TCase& c : cases) {
    archive::THuffTable table;
    const auto n = static_cast<unsigned>(c.lengths.size());
    ASSERT_EQ(BuildHuffTable(c.lengths.data(), n, n, nullptr, nullptr, c.lookup, table),
              THuffStatus::Complete)
        << c.name;
    int links = 0;
    for (unsigned slot = 0; slot < (1u << table.LookupBits()); ++slot) {
      const archive::THuffEntry& e = table.Root()[slot];
      if (e.op <= archive::kOpLiteral || e.op == archive::kOpInvalid) continue;
      ++links;
      for (unsigned sub = 0; sub < (1u << (e.op - archive::kOpLiteral)); ++sub) {
        const archive::THuffEntry& f = e.link[sub];
        EXPECT_TRUE(f.op <= archive::kOpLiteral || f.op == archive::kOpInvalid)
            << c.name << " slot " << slot << " entry " << sub;
      }
    }
    EXPECT_GT(links, 0) << c.name;
  }
}

}  // namespace
