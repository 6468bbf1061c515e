// Buffered streams: block reads, logical positions, seeks from the end, write
// buffering, mixed reading and writing, put back, failure reporting.
#include "support/buffer_stream.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support/exceptions.h"
#include "support/memory_stream.h"
#include "tests/common/test_paths.h"

namespace {

using support::EStreamError;
using support::TLFNFileStream;
using support::TMemoryStream;
using support::TS_BufferStream;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

// A memory stream that records the sizes of the reads and writes it serves and
// can be told to accept only a limited number of further bytes.
class RecordingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  int32_t Read(void* buffer, int32_t count) override {
    reads.push_back(count);
    return TMemoryStream::Read(buffer, count);
  }
  int32_t Write(const void* buffer, int32_t count) override {
    writes.push_back(count);
    const int32_t n = count < writeLimit ? count : writeLimit;
    writeLimit -= n;
    return TMemoryStream::Write(buffer, n);
  }
  std::vector<int32_t> reads;
  std::vector<int32_t> writes;
  int32_t writeLimit = 1 << 30;
};

TEST(BufferStreamFile, ShortFileGivesWhatItHasThenNothing) {
  TempFolder dir;
  ASSERT_TRUE(WriteFileBytes(dir / "four.bin", "abcd"));
  TLFNFileStream s(dir / "four.bin", platform::OpenMode::ReadShareRead);
  char buf[10] = {};
  EXPECT_EQ(s.Read(buf, 10), 4);
  EXPECT_EQ(std::string(buf, 4), "abcd");
  EXPECT_EQ(s.Read(buf, 10), 0);
  EXPECT_EQ(s.Position(), 4);
}

TEST(BufferStreamFile, PositionQueryKeepsReadAhead) {
  TempFolder dir;
  const std::string data = Pattern(20000);
  ASSERT_TRUE(WriteFileBytes(dir / "big.bin", data));
  TLFNFileStream s(dir / "big.bin", platform::OpenMode::ReadShareRead);
  std::string buf(100, '\0');
  ASSERT_EQ(s.Read(buf.data(), 100), 100);
  EXPECT_EQ(s.Seek(0, support::soFromCurrent), 100);
  EXPECT_EQ(s.FileStream().Position(), 8192);  // one block read, not re-read
  EXPECT_EQ(s.State(), 1);
  ASSERT_EQ(s.Read(buf.data(), 100), 100);
  EXPECT_EQ(buf, data.substr(100, 100));
  EXPECT_EQ(s.Size(), 20000);
  EXPECT_EQ(s.Position(), 200);
}

TEST(BufferStreamFile, ByteReadsUseWholeBlocksAndAllDataArrives) {
  RecordingStream inner(Pattern(20000));
  TS_BufferStream s(&inner);
  int fills = 0;
  s.OnAfterFill = [&](support::TObject* sender) {
    EXPECT_EQ(sender, &s);
    ++fills;
  };
  std::string got;
  char c;
  while (s.Read(&c, 1) == 1) got += c;
  EXPECT_EQ(got, inner.Data());
  EXPECT_EQ(inner.reads, (std::vector<int32_t>{8192, 8192, 8192, 8192}));
  EXPECT_EQ(fills, 4);  // three with data, one that found the end
}

TEST(BufferStreamSeek, OriginsAndDistancesFromTheEnd) {
  const std::string data = Pattern(10000);
  struct Case {
    int32_t offset;
    uint16_t origin;
    int64_t expected;
  };
  const Case cases[] = {
      {-22, 2, 10000 - 22}, {22, 2, 10000 - 22}, {0, 2, 10000},   {5000, 0, 5000},
      {-50, 1, 50},         {300, 1, 400},       {9999, 0, 9999},
  };
  for (const Case& c : cases) {
    TMemoryStream inner(data);
    TS_BufferStream s(&inner);
    char buf[100];
    ASSERT_EQ(s.Read(buf, 100), 100);
    EXPECT_EQ(s.Seek(c.offset, c.origin), c.expected) << c.offset << "/" << c.origin;
    const int32_t n = s.Read(buf, 10);
    EXPECT_EQ(std::string(buf, n), data.substr(size_t(c.expected), 10))
        << c.offset << "/" << c.origin;
  }
}

// A seek among the bytes of the last block read moves within the buffer; one
// outside it, or back over a put-back byte, reads the file again.
TEST(BufferStreamSeek, WithinTheReadBlockTakesNoFurtherRead) {
  struct Case {
    int64_t target;
    bool putBack;
    std::vector<int32_t> reads;
  };
  const Case cases[] = {
      {100, false, {8192}},         // forward, inside the block
      {8192, false, {8192, 8192}},  // the block's end: the next read fills
      {0, false, {8192}},           // back to the block's start
      {8193, false, {8192, 8192}},  // past the block
      {50, true, {8192, 8192}},     // back over a put-back byte
  };
  const std::string data = Pattern(20000);
  for (const Case& c : cases) {
    RecordingStream inner(data);
    TS_BufferStream s(&inner);
    std::string buf(60, '\0');
    ASSERT_EQ(s.Read(buf.data(), 60), 60);
    if (c.putBack) s.PutBack('x');
    EXPECT_EQ(s.Seek(c.target, support::TSeekOrigin::Begin), c.target);
    EXPECT_EQ(s.Position(), c.target);
    ASSERT_EQ(s.Read(buf.data(), 60), 60) << c.target;
    EXPECT_EQ(buf, data.substr(size_t(c.target), 60)) << c.target;
    EXPECT_EQ(inner.reads, c.reads) << c.target;
  }
}

TEST(BufferStreamSeek, UnknownOriginRaisesTheBaseExceptionWithTheNumber) {
  TMemoryStream inner("abc");
  TS_BufferStream s(&inner);
  const uint16_t origins[] = {3, 7, 65535};
  for (uint16_t origin : origins) {
    try {
      s.Seek(0, origin);
      FAIL() << "no exception for origin " << origin;
    } catch (const support::Exception& e) {
      EXPECT_EQ(e.Message(), "Invalid seek origin (" + std::to_string(origin) + ")");
      EXPECT_EQ(dynamic_cast<const EStreamError*>(&e), nullptr);
    }
  }
}

TEST(BufferStreamWrite, TenThousandBytesKeepTheTailBufferedUntilDestruction) {
  TempFolder dir;
  const std::string data = Pattern(10000);
  {
    TLFNFileStream s(dir / "out.bin", platform::OpenMode::Create);
    EXPECT_EQ(s.Write(data.data(), 10000), 10000);
    EXPECT_EQ(s.State(), 2);
    EXPECT_EQ(s.Position(), 10000);
    EXPECT_EQ(s.Size(), 10000);  // the logical size includes pending bytes
    EXPECT_EQ(s.State(), 2);     // and asking for it kept them pending
    EXPECT_EQ(s.FileStream().Size(), 8192);
  }
  std::string onDisk;
  ASSERT_TRUE(ReadFileBytes(dir / "out.bin", onDisk));
  EXPECT_EQ(onDisk, data);
}

TEST(BufferStreamWrite, SeekWritesPendingBytes) {
  RecordingStream inner;
  int flushes = 0;  // outlives s, whose destructor flushes the rest
  TS_BufferStream s(&inner);
  s.OnAfterFlush = [&](support::TObject*) { ++flushes; };
  ASSERT_EQ(s.Write("hello world", 11), 11);
  EXPECT_EQ(inner.Data(), "");
  EXPECT_EQ(s.Seek(6, support::soFromBeginning), 6);
  EXPECT_EQ(inner.Data(), "hello world");
  EXPECT_EQ(flushes, 1);
  ASSERT_EQ(s.Write("there", 5), 5);
  EXPECT_EQ(s.Seek(0, support::soFromCurrent), 11);  // no flush for a position query
  EXPECT_EQ(flushes, 1);
}

TEST(BufferStreamMixed, ReadAfterWriteAndWriteAfterRead) {
  struct Case {
    const char* name;
    std::function<std::string(TS_BufferStream&)> run;
    std::string inner;
    int64_t position;
    std::string got;
  };
  const std::string base = "0123456789";
  const Case cases[] = {
      {"read after write continues at the logical position",
       [](TS_BufferStream& s) {
         s.Write("ab", 2);
         char b[3];
         return std::string(b, s.Read(b, 3));
       },
       "ab23456789", 5, "234"},
      {"write after read lands at the logical position",
       [](TS_BufferStream& s) {
         char b[3];
         s.Read(b, 3);
         s.Write("XY", 2);
         return std::string(b, 3);
       },
       "012XY56789", 5, "012"},
      {"write after read to the end appends",
       [](TS_BufferStream& s) {
         char b[20];
         const int n = s.Read(b, 20);
         s.Write("!", 1);
         return std::string(b, n);
       },
       "0123456789!", 11, "0123456789"},
      {"read after write then write again",
       [](TS_BufferStream& s) {
         s.Write("a", 1);
         char b[2];
         std::string got(b, s.Read(b, 2));
         s.Write("z", 1);
         return got;
       },
       "a12z456789", 4, "12"},
  };
  for (const Case& c : cases) {
    TMemoryStream inner(base);
    std::string got;
    int64_t position;
    {
      TS_BufferStream s(&inner);
      got = c.run(s);
      position = s.Position();
    }
    EXPECT_EQ(inner.Data(), c.inner) << c.name;
    EXPECT_EQ(position, c.position) << c.name;
    EXPECT_EQ(got, c.got) << c.name;
  }
}

TEST(BufferStreamMixed, ReadAfterAFullBufferWasWrittenGetsFileBytesNotStaleOnes) {
  const std::string data = Pattern(9000);
  TMemoryStream inner(data);
  TS_BufferStream s(&inner);
  const std::string block(8192, 'w');
  ASSERT_EQ(s.Write(block.data(), 8192), 8192);  // flushed at once, buffer empty
  char buf[10];
  ASSERT_EQ(s.Read(buf, 10), 10);
  EXPECT_EQ(std::string(buf, 10), data.substr(8192, 10));
  EXPECT_EQ(s.Position(), 8202);
}

TEST(BufferStreamMixed, WriteAfterReadingToTheEndDoesNotHang) {
  TMemoryStream inner("xyz");
  TS_BufferStream s(&inner);
  char buf[8];
  ASSERT_EQ(s.Read(buf, 8), 3);
  ASSERT_EQ(s.Read(buf, 8), 0);
  EXPECT_EQ(s.Write("12345", 5), 5);
  EXPECT_EQ(s.Position(), 8);
  s.Seek(0, support::soFromBeginning);
  EXPECT_EQ(inner.Data(), "xyz12345");
}

TEST(BufferStreamPutBack, NextReadReturnsTheByteAndTheStartOverflows) {
  TMemoryStream inner("abcdef");
  TS_BufferStream s(&inner);
  try {
    s.PutBack('x');
    FAIL() << "put back on an empty buffer";
  } catch (const EStreamError& e) {
    EXPECT_EQ(e.Message(), "Putback overflow");
  }
  char c;
  ASSERT_EQ(s.Read(&c, 1), 1);
  ASSERT_EQ(s.Read(&c, 1), 1);
  s.PutBack('Q');
  EXPECT_EQ(s.Position(), 1);
  char buf[3];
  ASSERT_EQ(s.Read(buf, 3), 3);
  EXPECT_EQ(std::string(buf, 3), "Qcd");
  s.PutBack('1');
  s.PutBack('2');
  s.PutBack('3');
  s.PutBack('4');
  EXPECT_THROW(s.PutBack('5'), EStreamError);
}

TEST(BufferStreamFailures, ShortInnerWritesAreReported) {
  RecordingStream inner;
  inner.writeLimit = 100;
  const std::string data = Pattern(20000);
  {
    TS_BufferStream s(&inner);
    // The first flush writes only 100 of 8192 bytes: the call reports just the
    // bytes that reached the inner stream.
    EXPECT_EQ(s.Write(data.data(), 20000), 0);
    EXPECT_EQ(inner.writes, (std::vector<int32_t>{8192}));
    EXPECT_THROW(s.WriteBuffer(data.data(), 20000), support::EWriteError);
  }
  RecordingStream later;
  {
    TS_BufferStream s(&later);
    ASSERT_EQ(s.Write(data.data(), 9000), 9000);  // 8192 flushed, 808 pending
    later.writeLimit = 0;
    try {
      s.Seek(0, support::soFromBeginning);
      FAIL() << "seek with a failing flush";
    } catch (const EStreamError& e) {
      EXPECT_EQ(e.Message(), "Seek error");
    }
  }
}

TEST(BufferStreamFile, OpenAndCreateFailuresNameTheFileAndReason) {
  TempFolder dir;
  const std::string missing = dir / "missing.dat";
  try {
    TLFNFileStream s(missing, platform::OpenMode::ReadShareRead);
    FAIL() << "opened a missing file";
  } catch (const support::EFOpenError& e) {
    const std::string head = "Cannot open file \"" + missing + "\". ";
    EXPECT_EQ(e.Message().substr(0, head.size()), head);
    EXPECT_GT(e.Message().size(), head.size());
  }
  const std::string nowhere = dir / "no\\such\\folder\\out.bin";
  try {
    TLFNFileStream s(nowhere, platform::OpenMode::Create);
    FAIL() << "created a file in a missing folder";
  } catch (const support::EFCreateError& e) {
    const std::string head = "Cannot create file \"" + nowhere + "\". ";
    EXPECT_EQ(e.Message().substr(0, head.size()), head);
    EXPECT_GT(e.Message().size(), head.size());
  }
}

TEST(BufferStreamFile, CreateEmptiesAnExistingFile) {
  TempFolder dir;
  ASSERT_TRUE(WriteFileBytes(dir / "old.bin", Pattern(5000)));
  {
    TLFNFileStream s(dir / "old.bin", platform::OpenMode::Create);
    s.WriteBuffer("new", 3);
  }
  std::string onDisk;
  ASSERT_TRUE(ReadFileBytes(dir / "old.bin", onDisk));
  EXPECT_EQ(onDisk, "new");
}

}  // namespace
