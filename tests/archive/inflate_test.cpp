// Deflate decoder: streams made by zlib at every level and strategy must come
// back byte for byte, with whole 16000-byte output chunks; hand-built invalid
// streams must stop without flushing anything of the current window.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "archive/decoders.h"
#include "archive/huffman.h"
#include "platform/platform.h"
#include "tests/archive/decoder_test_io.h"

#ifdef SETUP_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

using decoder_test::TBitWriter;
using decoder_test::TMemoryIO;

// Decodes a whole stream; the returned object holds output and flushes.
std::unique_ptr<TMemoryIO> Decode(const std::string& compressed) {
  auto io = std::make_unique<TMemoryIO>(compressed);
  archive::Inflate(*io);
  return io;
}
std::string Inflated(const std::string& compressed) { return Decode(compressed)->output; }

std::string Pattern(size_t n, uint32_t seed, int alphabet) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>('a' + rng() % alphabet);
  return s;
}

// Fixed-code helpers (RFC 1951 3.2.6).
void PutFixedLiteral(TBitWriter& w, unsigned v) {
  if (v < 144)
    w.PutCode(0x30 + v, 8);
  else if (v < 256)
    w.PutCode(0x190 + v - 144, 9);
  else if (v < 280)
    w.PutCode(v - 256, 7);
  else
    w.PutCode(0xC0 + v - 280, 8);
}

// ------------------------------------------------------------- zlib as oracle

#ifdef SETUP_HAVE_ZLIB
std::string ZlibRaw(const std::string& data, int level, int strategy) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
  std::string out(deflateBound(&z, data.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::vector<std::pair<std::string, std::string>> OracleInputs() {
  std::vector<std::pair<std::string, std::string>> v;
  v.push_back({"empty", ""});
  v.push_back({"one byte", "x"});
  v.push_back({"text 100k", Pattern(100000, 1, 6)});
  v.push_back({"random 70k", [] {
                 std::mt19937 rng(7);
                 std::string s(70000, '\0');
                 for (auto& c : s) c = static_cast<char>(rng());
                 return s;
               }()});
  v.push_back({"exactly 32768", Pattern(32768, 2, 20)});
  v.push_back({"exactly 32769", Pattern(32769, 3, 20)});
  v.push_back({"run at distance 1", std::string(200000, 'z')});
  std::string far = Pattern(32768, 4, 256);
  v.push_back({"repeat at distance 32768", far + far + far.substr(0, 5000)});
  std::string mixed;
  for (int i = 0; i < 2000; ++i) mixed += "line " + std::to_string(i * 7919 % 1000) + ";\n";
  v.push_back({"csv-like", mixed});
  return v;
}

TEST(InflateOracle, ZlibStreamsAtEveryLevelAndStrategy) {
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  for (const auto& [name, data] : OracleInputs()) {
    for (int level = 0; level <= 9; ++level) {
      for (int strategy : strategies) {
        SCOPED_TRACE(name + " level " + std::to_string(level) + " strategy " +
                     std::to_string(strategy));
        std::string packed = ZlibRaw(data, level, strategy);
        TMemoryIO io(packed, static_cast<int32_t>(data.size()));
        archive::Inflate(io);
        ASSERT_EQ(io.output.size(), data.size());
        ASSERT_TRUE(io.output == data);
        EXPECT_TRUE(decoder_test::ChunksAreWhole(io.flushes));
        EXPECT_EQ(io.outCount, 0u);
      }
    }
  }
}

TEST(InflateOracle, SmallInputChunksGiveTheSameBytes) {
  // The fast path only runs while 8 bytes are buffered; tiny chunks force
  // the exact path across every chunk boundary.
  std::string data = Pattern(60000, 9, 12) + std::string(3000, 'q') + Pattern(20000, 10, 200);
  for (int level : {1, 6, 9}) {
    std::string packed = ZlibRaw(data, level, Z_DEFAULT_STRATEGY);
    for (uint32_t chunk : {1u, 3u, 7u, 8u, 9u, 1000u}) {
      TMemoryIO io(packed, static_cast<int32_t>(data.size()), 0, chunk);
      archive::Inflate(io);
      ASSERT_TRUE(io.output == data) << "level " << level << " chunk " << chunk;
      // Reads no chunk beyond the member's data, however small the chunks.
      EXPECT_EQ(io.chunkReads, static_cast<int>((packed.size() + chunk - 1) / chunk));
    }
  }
}

TEST(InflateOracle, OutputOf32768BytesFlushesOnceFromTheFullWindow) {
  std::string data = Pattern(32768, 11, 30);
  TMemoryIO io(ZlibRaw(data, 6, Z_DEFAULT_STRATEGY), 32768);
  archive::Inflate(io);
  EXPECT_TRUE(io.output == data);
  EXPECT_EQ(io.flushes, (std::vector<uint32_t>{16000, 16000, 768}));
}

TEST(InflateOracle, SizeGuardFromTheFlushPropagates) {
  std::string data = Pattern(50000, 12, 8);
  TMemoryIO io(ZlibRaw(data, 6, Z_DEFAULT_STRATEGY), 20000);
  EXPECT_THROW(archive::Inflate(io), decoder_test::TSizeExceeded);
  EXPECT_EQ(io.output, data.substr(0, 16000));
}
#endif  // SETUP_HAVE_ZLIB

// ------------------------------------------------------------- hand-built streams

TEST(Inflate, StoredBlocksIncludingEmptyOnes) {
  TBitWriter w;
  w.Put(0, 1);  // not last, stored
  w.Put(0, 2);
  w.AlignByte();
  w.Put(0, 16);  // LEN 0
  w.Put(0xFFFF, 16);
  w.Put(1, 1);  // last, stored
  w.Put(0, 2);
  w.AlignByte();
  w.Put(3, 16);
  w.Put(0xFFFC, 16);
  for (char c : std::string("abc")) w.PutByte(c);
  EXPECT_EQ(Inflated(w.Bytes()), "abc");
}

TEST(Inflate, BackReferenceBeforeTheStartGivesZeros) {
  TBitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);  // fixed codes
  PutFixedLiteral(w, 'A');
  PutFixedLiteral(w, 257);  // length 3
  w.PutCode(4, 5);          // distance code 4: 5..6, one extra bit
  w.Put(0, 1);              // distance 5 (from position 1: four bytes before the start)
  PutFixedLiteral(w, 256);
  EXPECT_EQ(Inflated(w.Bytes()), std::string("A\0\0\0", 4));
}

TEST(Inflate, RunsOfLengthAndDistanceCodes) {
  // "ab" then a 258-byte copy at distance 2 crossing nothing; then length 3 at
  // distance 1.
  TBitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  PutFixedLiteral(w, 'a');
  PutFixedLiteral(w, 'b');
  PutFixedLiteral(w, 285);  // 258
  w.PutCode(1, 5);          // distance 2
  PutFixedLiteral(w, 257);  // 3
  w.PutCode(0, 5);          // distance 1
  PutFixedLiteral(w, 256);
  std::string expect;
  for (int i = 0; i < 130; ++i) expect += "ab";
  expect += "bbb";
  EXPECT_EQ(Inflated(w.Bytes()), expect);
}

TEST(Inflate, FastCopiesLeaveTheOldWindowIntact) {
  // After a wrap, a short-distance copy must not disturb the bytes just past
  // it: the next copy at distance 32768 reads them from the previous cycle.
  std::string data = Pattern(32868, 31, 256);
  TBitWriter w;
  w.Put(0, 1), w.Put(0, 2), w.AlignByte();
  w.Put(static_cast<uint32_t>(data.size()), 16), w.Put(~static_cast<uint32_t>(data.size()), 16);
  for (char c : data) w.PutByte(c);
  w.Put(1, 1), w.Put(1, 2);
  PutFixedLiteral(w, 269), w.Put(1, 2);  // length 20
  w.PutCode(7, 5), w.Put(3, 2);          // distance 16
  PutFixedLiteral(w, 264);               // length 10
  w.PutCode(29, 5), w.Put(8191, 13);     // distance 32768
  PutFixedLiteral(w, 256);
  for (int i = 0; i < 16; ++i) w.PutByte(0);  // keeps the fast path in play
  std::string expect = data;
  for (int i = 0; i < 20; ++i) expect += expect[expect.size() - 16];
  expect += data.substr(120, 10);
  EXPECT_TRUE(Inflated(w.Bytes()) == expect);
}

// Dynamic block header with the given code-length-code lengths (in natural
// order 0..18), followed by the literal/length and distance lengths written
// with literal code-length symbols only.
struct TDynamic {
  std::vector<uint8_t> lit, dist;
};

// Writes a dynamic header whose code-length code gives every length symbol
// 0..15 5 bits (16 symbols: complete with 4 bits, so use 4) and no repeats.
void PutDynamicHeader(TBitWriter& w, const TDynamic& d, bool last = true) {
  w.Put(last ? 1 : 0, 1);
  w.Put(2, 2);
  w.Put(static_cast<uint32_t>(d.lit.size() - 257), 5);
  w.Put(static_cast<uint32_t>(d.dist.size() - 1), 5);
  // Code-length code: symbols 0..15 with length 4 each (complete), 16-18 unused.
  const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  w.Put(19 - 4, 4);
  for (int i = 0; i < 19; ++i) w.Put(order[i] <= 15 ? 4 : 0, 3);
  for (auto l : d.lit) w.PutCode(l, 4);
  for (auto l : d.dist) w.PutCode(l, 4);
}

TEST(Inflate, DynamicBlockVariants) {
  // Literals 'x' and end of block get 1 bit each.
  TDynamic base;
  base.lit.assign(257, 0);
  base.lit['x'] = 1;
  base.lit[256] = 1;

  struct TCase {
    const char* name;
    std::vector<uint8_t> dist;
    bool decodes;
  };
  const TCase cases[] = {
      {"all distance lengths 0", {0}, true},
      {"single distance code of length 1", {1}, true},
      {"incomplete distance code", {2, 2, 2}, false},
      {"over-subscribed distance code", {1, 1, 1}, false},
  };
  for (const auto& c : cases) {
    TDynamic d = base;
    d.dist = c.dist;
    TBitWriter w;
    PutDynamicHeader(w, d);
    w.PutCode(0, 1);  // 'x' (lower symbol gets code 0)
    w.PutCode(0, 1);
    w.PutCode(1, 1);  // end of block
    auto io = Decode(w.Bytes());
    EXPECT_EQ(io->output, c.decodes ? "xx" : "") << c.name;
    EXPECT_EQ(io->flushes.size(), c.decodes ? 1u : 0u) << c.name;
  }
}

TEST(Inflate, InvalidStreamsStopWithoutOutput) {
  using archive::TDecodeStatus;
  struct TCase {
    const char* name;
    TDecodeStatus why;
    std::string stream;
  };
  std::vector<TCase> cases;
  auto add = [&](const char* name, TDecodeStatus why, auto build) {
    TBitWriter w;
    build(w);
    cases.push_back({name, why, w.Bytes()});
  };
  add("block type 3", TDecodeStatus::BadBlockType,
      [](TBitWriter& w) { w.Put(1, 1), w.Put(3, 2), w.Put(0, 16); });
  add("LEN/NLEN mismatch", TDecodeStatus::BadStoredLength, [](TBitWriter& w) {
    w.Put(1, 1), w.Put(0, 2), w.AlignByte(), w.Put(5, 16), w.Put(0xFFFB, 16);
    for (int i = 0; i < 5; ++i) w.PutByte('s');
  });
  add("HLIT above 286", TDecodeStatus::TooManyCodes, [](TBitWriter& w) {
    w.Put(1, 1), w.Put(2, 2), w.Put(30, 5), w.Put(0, 5), w.Put(0, 4), w.Put(0, 32);
  });
  add("HDIST above 30", TDecodeStatus::TooManyCodes, [](TBitWriter& w) {
    w.Put(1, 1), w.Put(2, 2), w.Put(0, 5), w.Put(30, 5), w.Put(0, 4), w.Put(0, 32);
  });
  add("over-subscribed code-length code", TDecodeStatus::InvalidTable, [](TBitWriter& w) {
    w.Put(1, 1), w.Put(2, 2), w.Put(0, 5), w.Put(0, 5), w.Put(0, 4);
    for (int i = 0; i < 4; ++i) w.Put(1, 3);  // 16, 17, 18, 0 all of length 1
    w.Put(0, 32);
  });
  add("incomplete code-length code", TDecodeStatus::IncompleteTable, [](TBitWriter& w) {
    w.Put(1, 1), w.Put(2, 2), w.Put(0, 5), w.Put(0, 5), w.Put(0, 4);
    w.Put(2, 3), w.Put(2, 3), w.Put(0, 3), w.Put(0, 3);  // two codes of length 2
    w.Put(0, 32);
  });
  add("repeat past the end", TDecodeStatus::RepeatPastEnd, [](TBitWriter& w) {
    // Code-length code: 18 and 1 with one bit each.
    const int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    w.Put(1, 1), w.Put(2, 2), w.Put(0, 5), w.Put(0, 5), w.Put(19 - 4, 4);
    for (int i = 0; i < 19; ++i) w.Put(order[i] == 18 || order[i] == 1 ? 1 : 0, 3);
    // 257 + 1 lengths: 18 x 127 (138 zeros) twice = 276 > 258.
    w.PutCode(1, 1), w.Put(127, 7), w.PutCode(1, 1), w.Put(127, 7);
    w.Put(0, 32);
  });
  add("incomplete literal/length code", TDecodeStatus::IncompleteTable, [](TBitWriter& w) {
    TDynamic d;
    d.lit.assign(257, 0);
    d.lit['a'] = 2, d.lit[256] = 2;
    d.dist = {0};
    PutDynamicHeader(w, d);
    w.Put(0, 16);
  });
  add("distance code 30 in a fixed block", TDecodeStatus::InvalidCode, [](TBitWriter& w) {
    w.Put(1, 1), w.Put(1, 2);
    PutFixedLiteral(w, 'a');
    PutFixedLiteral(w, 257);
    w.PutCode(30, 5);
    PutFixedLiteral(w, 256);
  });
  add("length code 286 in a fixed block", TDecodeStatus::InvalidCode, [](TBitWriter& w) {
    w.Put(1, 1), w.Put(1, 2);
    PutFixedLiteral(w, 'a');
    PutFixedLiteral(w, 286);
    w.PutCode(0, 5);
    PutFixedLiteral(w, 256);
  });
  for (const auto& c : cases) {
    TMemoryIO io(c.stream);
    EXPECT_EQ(archive::Inflate(io), c.why) << c.name;
    EXPECT_EQ(io.output, "") << c.name;
    EXPECT_TRUE(io.flushes.empty()) << c.name;
  }
}

TEST(Inflate, StopKeepsOnlyChunksWrittenBefore) {
  // 40000 stored bytes, then block type 3: the first window (32768 bytes) went
  // out as two whole chunks; its last 768 bytes and the rest are dropped.
  std::string data = Pattern(40000, 21, 50);
  TBitWriter w;
  for (size_t at = 0; at < data.size(); at += 20000) {
    w.Put(0, 1), w.Put(0, 2), w.AlignByte(), w.Put(20000, 16), w.Put(~20000u & 0xFFFF, 16);
    for (size_t i = at; i < at + 20000; ++i) w.PutByte(data[i]);
  }
  w.Put(1, 1), w.Put(3, 2);
  auto io = Decode(w.Bytes());
  EXPECT_EQ(io->output, data.substr(0, 32000));
  EXPECT_EQ(io->outCount, 768u);
}

TEST(Inflate, TruncatedStreamsStopOnTheirOwn) {
  // Past the end of the data the bit reader repeats the last byte; what that
  // makes of the rest of the stream must end decoding, for a reason of its own.
  using archive::TDecodeStatus;
  TBitWriter cut;
  cut.Put(0, 1), cut.Put(1, 2);
  PutFixedLiteral(cut, 'q');
  struct TCase {
    const char* name;
    std::string stream;
    TDecodeStatus why;
  };
  const TCase cases[] = {
      {"cut inside a fixed block", cut.Bytes(), TDecodeStatus::BadStoredLength},
      {"0x40 bytes: a stored block whose lengths disagree", std::string(4, '\x40'),
       TDecodeStatus::BadStoredLength},
  };
  for (const TCase& c : cases) {
    TMemoryIO io(c.stream);
    EXPECT_EQ(archive::Inflate(io), c.why) << c.name;
    EXPECT_LT(io.Unread(), 0) << c.name;  // it ran out, and went on with the repeated byte
    EXPECT_EQ(io.chunkReads, 1) << c.name;
  }
}

// Past the end of the data the decoder reads the last byte over and over;
// its fast loop does so from a run of that byte. Whatever the byte, the
// output must be the one the same data gives with the byte written out
// (100 KB of it, more than the output cap takes).
TEST(Inflate, DataPastTheEndDecodesAsTheRepeatedLastByte) {
  TBitWriter fixed;  // a fixed block cut after two literals
  fixed.Put(1, 1), fixed.Put(1, 2);
  PutFixedLiteral(fixed, 'a'), PutFixedLiteral(fixed, 'b');
  TDynamic d;  // a dynamic block cut after a literal and a match
  d.lit.assign(263, 0);
  d.lit['x'] = d.lit[256] = d.lit[260] = d.lit[262] = 2;  // codes 00, 01, 10, 11
  d.dist = {1, 1};
  TBitWriter dynamic;
  PutDynamicHeader(dynamic, d);
  dynamic.PutCode(0, 2), dynamic.PutCode(2, 2), dynamic.PutCode(0, 1);  // 'x', 6 bytes 1 back
  const std::string prefixes[] = {fixed.Bytes(), dynamic.Bytes()};
  constexpr int32_t kCap = 40000;  // more than an output cycle
  int longRuns = 0;
  for (const std::string& prefix : prefixes) {
    for (int b = 0; b < 256; ++b) {
      const std::string cut = prefix + char(b);
      TMemoryIO past(cut, kCap);
      TMemoryIO written(cut + std::string(100000, char(b)), kCap);
      try {
        archive::Inflate(past);
      } catch (const decoder_test::TSizeExceeded&) {
      }
      try {
        archive::Inflate(written);
      } catch (const decoder_test::TSizeExceeded&) {
      }
      ASSERT_EQ(past.output, written.output) << "last byte " << b;
      if (past.output.size() >= 32000) ++longRuns;
    }
  }
  EXPECT_GT(longRuns, 10);  // the fast loop ran across cycles for some bytes
}

// ------------------------------------------------------------- out of memory

class TRecordingUi : public platform::Ui {
 public:
  platform::Button MessageBox(const platform::MessageBoxRequest& r) override {
    boxes.push_back(r);
    return platform::kButtonOk;
  }
  bool ChooseFolder(const std::string&, std::string&) override { return false; }
  bool OpenFileDialog(const std::string&, const std::string&, std::string&) override {
    return false;
  }
  void ProcessMessages() override {}
  void SetCursor(platform::Cursor) override {}
  int ShowModal(platform::Form&) override { return 0; }
  std::vector<platform::MessageBoxRequest> boxes;
};

int gAllocationsLeft = 0;
void* FailingAllocator(size_t bytes) {
  return gAllocationsLeft-- > 0 ? std::malloc(bytes) : nullptr;
}

TEST(Inflate, OutOfTableMemoryShowsTheBoxAndStops) {
  TRecordingUi ui;
  platform::Ui* saved = platform::Current().ui;
  platform::Current().ui = &ui;
  auto previous = archive::SetHuffAllocator(FailingAllocator);
  // The fixed literal table needs a first-level block and sub-tables: fail the
  // second allocation.
  gAllocationsLeft = 1;
  TBitWriter w;
  w.Put(1, 1), w.Put(1, 2);
  PutFixedLiteral(w, 'a');
  PutFixedLiteral(w, 256);
  std::string out = Inflated(w.Bytes());
  archive::SetHuffAllocator(previous);
  platform::Current().ui = saved;
  EXPECT_EQ(out, "");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "*** inflate out of memory ***");
  EXPECT_EQ(ui.boxes[0].caption, "Error");
  EXPECT_EQ(ui.boxes[0].buttons, static_cast<unsigned>(platform::kButtonOk));
}

}  // namespace
