// Every unencrypted Shrink, Reduce, Implode and Deflate member of the archives
// written by PKZIP-era and other tools must decode to its listed size and
// CRC-32, in whole 16000-byte chunks, and write little after their data ends:
// the project's own copies, and the shared set where it exists.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/decoders.h"
#include "tests/archive/decoder_test_io.h"
#include "tests/common/test_paths.h"

namespace {

uint32_t Le(const std::string& s, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + i]);
  return v;
}

struct TMember {
  uint16_t flags = 0, method = 0;
  uint32_t crc = 0, csize = 0, usize = 0;
  std::string data;  // compressed bytes
};

// The members of a single-volume archive in central directory order.
std::vector<TMember> ReadMembers(const std::string& zip) {
  std::vector<TMember> members;
  size_t eocd = zip.rfind(std::string("PK\x05\x06", 4));
  if (eocd == std::string::npos || eocd + 22 > zip.size()) return members;
  size_t count = Le(zip, eocd + 10, 2);
  size_t at = Le(zip, eocd + 16, 4);
  for (size_t i = 0; i < count && at + 46 <= zip.size(); ++i) {
    TMember m;
    m.flags = static_cast<uint16_t>(Le(zip, at + 8, 2));
    m.method = static_cast<uint16_t>(Le(zip, at + 10, 2));
    m.crc = Le(zip, at + 16, 4);
    m.csize = Le(zip, at + 20, 4);
    m.usize = Le(zip, at + 24, 4);
    size_t local = Le(zip, at + 42, 4);
    at += 46 + Le(zip, at + 28, 2) + Le(zip, at + 30, 2) + Le(zip, at + 32, 2);
    if (local + 30 <= zip.size()) {
      size_t start = local + 30 + Le(zip, local + 26, 2) + Le(zip, local + 28, 2);
      if (start + m.csize <= zip.size()) m.data = zip.substr(start, m.csize);
    }
    members.push_back(std::move(m));
  }
  return members;
}

struct TRow {
  std::string archive, name, method;
  size_t index = 0;
  uint32_t usize = 0, crc = 0;
};

std::vector<TRow> DecodableRows(testing_support::TestData set) {
  std::string manifest;
  EXPECT_TRUE(
      testing_support::ReadFileBytes(testing_support::TestDataPath("MANIFEST.tsv", set), manifest));
  std::vector<TRow> rows;
  std::istringstream lines(manifest);
  std::string line;
  std::getline(lines, line);  // header
  while (std::getline(lines, line)) {
    std::vector<std::string> f;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, '\t')) f.push_back(cell);
    if (f.size() < 16 || f[6] != "n" || f[15] != "normal" || f[5] == "stored") continue;
    TRow r;
    r.archive = f[0];
    r.index = std::stoul(f[3]);
    r.name = f[4];
    r.method = f[5];
    r.usize = static_cast<uint32_t>(std::stoul(f[8]));
    r.crc = static_cast<uint32_t>(std::stoul(f[10], nullptr, 16));
    rows.push_back(r);
  }
  return rows;
}

void Decode(const TMember& m, decoder_test::TMemoryIO& io) {
  switch (m.method) {
    case 1:
      archive::Unshrink(io);
      break;
    case 2:
    case 3:
    case 4:
    case 5:
      archive::Unreduce(io, m.method - 1);
      break;
    case 6:
      archive::Explode(io);
      break;
    case 8:
      archive::Inflate(io);
      break;
    default:
      FAIL() << "method " << m.method;
  }
}

class DecoderTestData : public ::testing::TestWithParam<testing_support::TestData> {};

TEST_P(DecoderTestData, MembersOfOtherToolsDecodeToTheirCrc) {
  SKIP_WITHOUT_TEST_DATA(GetParam());
  std::map<std::string, std::vector<TMember>> archives;
  std::map<std::string, int> perMethod;
  for (const TRow& row : DecodableRows(GetParam())) {
    SCOPED_TRACE(row.archive + " #" + std::to_string(row.index) + " " + row.name);
    auto it = archives.find(row.archive);
    if (it == archives.end()) {
      std::string zip;
      ASSERT_TRUE(testing_support::ReadFileBytes(
          testing_support::TestDataPath(row.archive, GetParam()), zip));
      it = archives.emplace(row.archive, ReadMembers(zip)).first;
    }
    ASSERT_LT(row.index, it->second.size());
    const TMember& m = it->second[row.index];
    ASSERT_EQ(m.usize, row.usize);
    decoder_test::TMemoryIO io(m.data, static_cast<int32_t>(m.usize), m.flags);
    Decode(m, io);
    EXPECT_EQ(io.output.size(), row.usize);
    uint32_t crc = ~archive::Crc32Update(
        0xFFFFFFFFu, reinterpret_cast<const uint8_t*>(io.output.data()), io.output.size());
    EXPECT_EQ(crc, row.crc);
    EXPECT_TRUE(decoder_test::ChunksAreWhole(io.flushes));
    // What it wrote after a read past its data failed stays far below the
    // bound on made-up output.
    EXPECT_LE(io.outputAfterEnd, archive::kMaxOutputAfterInputEnd / 2);
    ++perMethod[row.method];
  }
  // The data set covers every method and variant.
  for (const char* method : {"shrink", "reduce1", "reduce2", "reduce3", "reduce4",
                             "implode(4K,2trees)", "implode(8K,3trees)", "deflate"})
    EXPECT_GT(perMethod[method], 0) << method;
}

INSTANTIATE_TEST_SUITE_P(Sets, DecoderTestData,
                         ::testing::Values(testing_support::TestData::Project,
                                           testing_support::TestData::Shared),
                         [](const auto& info) { return testing_support::Name(info.param); });

}  // namespace
