#include "archive/zip_records.h"

#include <gtest/gtest.h>

#include "support/cp1251.h"
#include "support/exceptions.h"
#include "zip_test_util.h"

namespace {

using archive::TEndCentral;
using archive::TSortedZip;
using archive::TZipHeaderInfo;
using archive_test::BuildZip;
using archive_test::Member;
using archive_test::MemoryStream;

TEST(EndRecordSearch, TooShortStreamHasNoRecordAndIsNotRead) {
  MemoryStream s(std::string(21, 'P'));
  TEndCentral end;
  EXPECT_FALSE(end.Search(s));
  EXPECT_EQ(s.reads, 0);
}

TEST(EndRecordSearch, CommentLengthLimitOfTheSearchedSpan) {
  for (size_t length : {size_t(0), size_t(65506), size_t(65507)}) {
    std::string zip = BuildZip({{"a.txt", "hello"}}, std::string(length, 'c'));
    MemoryStream s(zip);
    TEndCentral end;
    bool found = end.Search(s);
    EXPECT_EQ(found, length <= 65506) << length;
    if (found) {
      EXPECT_EQ(end.TotalEntries, 1);
      EXPECT_EQ(end.CommentLength, length);
      EXPECT_EQ(end.CommentPosition, zip.size() - length);
    }
  }
}

TEST(EndRecordSearch, SignatureInsideCommentWins) {
  std::string fake = std::string("PK\x05\x06", 4) + std::string(6, '\0') + archive_test::Le16(7) +
                     std::string(10, '\0');
  std::string zip = BuildZip({{"a.txt", "x"}}, "abc" + fake);
  MemoryStream s(zip);
  TEndCentral end;
  ASSERT_TRUE(end.Search(s));
  EXPECT_EQ(end.TotalEntries, 7);
}

TEST(StoredNames, SplitConvertAndKeepInsideDestination) {
  struct Case {
    std::string stored, directory, file;
  } cases[] = {
      {"dir/sub/a.txt", "dir\\sub\\", "a.txt"},
      {"dir/", "dir\\", ""},
      {"a.txt", "", "a.txt"},
      {"../../x", "", "x"},
      {"..\\..\\x", "", "x"},
      {"\\x", "", "x"},
      {"/etc/passwd", "etc\\", "passwd"},
      {"C:x", "", "x"},
      {"C:\\win\\x.dll", "win\\", "x.dll"},
      {"a/./b/../c.txt", "a\\b\\", "c.txt"},
      {"a//b/.../ ../c", "a\\b\\", "c"},
      {"..", "", ""},
      {"dir\\..", "", "dir"},
      {"C:D:x", "", "x"},
      {"\\C:x", "", "x"},
      {"x/C:y/f", "x\\y\\", "f"},
  };
  for (const Case& c : cases) {
    std::string directory, file;
    archive::SplitName(archive::ConvertStoredName(c.stored), directory, file);
    EXPECT_EQ(directory, c.directory) << c.stored;
    EXPECT_EQ(file, c.file) << c.stored;
  }
}

TEST(StoredNames, OemNamesArriveInAnsi) {
  // "Привет" in code page 866.
  std::string oem = "\x8F\xE0\xA8\xA2\xA5\xE2/\x8F\xE0\xA8\xA2\xA5\xE2.txt";
  std::string ansi = support::Cp1251("Привет");
  EXPECT_EQ(archive::ConvertStoredName(oem), ansi + "\\" + ansi + ".txt");
}

TEST(StoredNames, NamesMarkedAsUtf8ArriveInAnsiFromBothHeaders) {
  // General-purpose bit 11: the writer stored the name as UTF-8. Without it
  // the same bytes are OEM text, as always. The name rules apply afterwards.
  struct Case {
    const char* stored;  // UTF-8 bytes
    uint16_t flags;
    std::string name;
  } cases[] = {
      {"Урок 1.txt", 0x0800, support::Cp1251("Урок 1.txt")},
      {"Урок 1.txt", 0, archive::ConvertStoredName("Урок 1.txt")},
      {"../../日記/Урок.txt", 0x0800, "__\\" + support::Cp1251("Урок.txt")},
  };
  for (const Case& c : cases) {
    Member m{c.stored, "x"};
    m.flags = c.flags;
    uint32_t cd;
    std::string zip = BuildZip({m}, "", &cd);
    MemoryStream s(zip);
    TZipHeaderInfo local, central;
    ASSERT_TRUE(local.ReadLocalHeader(s));
    s.Seek(cd, platform::SeekOrigin::Begin);
    archive::ZipStream* stream = &s;
    ASSERT_TRUE(central.ReadCentralHeader(stream, nullptr));
    EXPECT_EQ(local.FullName(), c.name) << c.stored;
    EXPECT_EQ(central.FullName(), c.name) << c.stored;
  }
  EXPECT_NE(archive::ConvertStoredName("Урок 1.txt"), support::Cp1251("Урок 1.txt"));
}

TEST(CentralHeaderRead, FillsRecordAndStandsOnNextHeader) {
  Member m{"dir/sub/a.txt", "hello"};
  m.comment = "note";
  m.extra = "XY";
  m.externalAttributes = 0x21;
  uint32_t cd;
  std::string zip = BuildZip({m, {"b", "x"}}, "", &cd);
  MemoryStream s(zip);
  s.Seek(cd, platform::SeekOrigin::Begin);
  archive::ZipStream* stream = &s;
  TZipHeaderInfo r;
  ASSERT_TRUE(r.ReadCentralHeader(stream, nullptr));
  EXPECT_EQ(r.Directory, "dir\\sub\\");
  EXPECT_EQ(r.FileName, "a.txt");
  EXPECT_EQ(r.NameLength, 13);
  EXPECT_EQ(r.CommentLength, 4);
  EXPECT_EQ(r.ExtraLength, 2);
  EXPECT_FALSE(r.Comment.has_value());
  EXPECT_EQ(r.CentralHeaderPosition, cd);
  EXPECT_EQ(r.UncompressedSize, 5);
  EXPECT_EQ(r.ExternalAttributes, 0x21);
  EXPECT_EQ(r.DateTime, 0x5A8C6000u);
  TZipHeaderInfo r2;
  ASSERT_TRUE(r2.ReadCentralHeader(stream, nullptr));
  EXPECT_EQ(r2.FileName, "b");
  // The end record is no central header: false, position unchanged.
  int64_t at = s.Position();
  TZipHeaderInfo r3;
  EXPECT_FALSE(r3.ReadCentralHeader(stream, nullptr));
  EXPECT_EQ(s.Position(), at);
}

TEST(CentralHeaderRead, HeaderCutAtVolumeEndContinuesOnNextVolume) {
  uint32_t cd;
  std::string zip = BuildZip({{"name.txt", "x"}}, "", &cd);
  std::string header = zip.substr(cd, 46 + 8);
  MemoryStream first(header.substr(0, 20)), second(header.substr(20));
  archive::ZipStream* stream = &first;
  TZipHeaderInfo r;
  EXPECT_FALSE(r.ReadCentralHeader(stream, nullptr));
  EXPECT_EQ(first.Position(), 0);
  int calls = 0;
  ASSERT_TRUE(r.ReadCentralHeader(stream, [&](TZipHeaderInfo&, archive::ZipStream*& s) {
    ++calls;
    s = &second;
  }));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(stream, &second);
  EXPECT_EQ(r.FileName, "name.txt");
}

TEST(LocalHeaderRead, FillsFromLocalHeaderAndStopsBehindName) {
  Member m{"d/f.bin", "data!"};
  m.extra = "EXTRA";
  std::string zip = BuildZip({m});
  MemoryStream s(zip);
  TZipHeaderInfo r;
  ASSERT_TRUE(r.ReadLocalHeader(s));
  EXPECT_EQ(r.VersionMadeBy, 0);
  EXPECT_EQ(r.LocalHeaderOffset, 0u);
  EXPECT_EQ(r.ExtraLength, 5);
  EXPECT_EQ(r.CompressedSize, 5);
  EXPECT_EQ(s.Position(), 30 + 7);
  MemoryStream bad(std::string("PK\x01\x02", 4) + std::string(40, '\0'));
  EXPECT_FALSE(r.ReadLocalHeader(bad));
  EXPECT_EQ(bad.Position(), 0);
}

uint32_t Dos(int y, int mo, int d, int h, int mi, int s2) {
  return uint32_t((y - 1980) << 25 | mo << 21 | d << 16 | h << 11 | mi << 5 | s2);
}

TEST(StampRepair, ClampsOutOfRangeFieldsOnly) {
  struct Case {
    uint32_t in, out;
  } cases[] = {
      {Dos(2001, 5, 6, 7, 8, 9), Dos(2001, 5, 6, 7, 8, 9)},
      {Dos(2001, 0, 0, 7, 8, 9), Dos(2001, 1, 1, 7, 8, 9)},
      {Dos(2001, 5, 6, 7, 63, 9), Dos(2001, 5, 6, 7, 59, 9)},
      {Dos(2105, 5, 6, 7, 8, 9), Dos(2099, 5, 6, 7, 8, 9)},
      {Dos(2001, 13, 6, 24, 8, 30), Dos(2001, 12, 6, 24, 8, 29)},
      {Dos(2001, 5, 6, 31, 8, 9), Dos(2001, 5, 6, 24, 8, 9)},
  };
  for (const Case& c : cases) EXPECT_EQ(archive::RepairStamp(c.in), c.out) << std::hex << c.in;
}

TZipHeaderInfo* Rec(const std::string& name, uint32_t date = 0, int32_t csize = 0,
                    int32_t usize = 0, uint32_t offset = 0, uint16_t disk = 0) {
  auto* r = new TZipHeaderInfo;
  archive::SplitName(name, r->Directory, r->FileName);
  r->DateTime = date;
  r->CompressedSize = csize;
  r->UncompressedSize = usize;
  r->LocalHeaderOffset = offset;
  r->DiskStart = disk;
  return r;
}

std::vector<std::string> Order(TSortedZip& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.Count(); ++i)
    names.push_back(list.Get(i)->Directory + list.Get(i)->FileName);
  return names;
}

TEST(SortedZip, OrdersOfEachSortMode) {
  using V = std::vector<std::string>;
  auto build = [](archive::TZipSortMode mode) {
    auto list = std::make_unique<TSortedZip>(1);
    list->SortMode = mode;
    list->AddRecord(Rec("b\\Z.txt", Dos(2001, 1, 1, 0, 0, 0), 50, 100, 300));
    list->AddRecord(Rec("a\\y.txt", Dos(2003, 1, 1, 0, 0, 0), 10, 100, 100));
    list->AddRecord(Rec("A\\Y.TXT", Dos(2003, 1, 1, 0, 0, 0), 90, 100, 200));
    list->AddRecord(Rec("c\\x.txt", Dos(2002, 1, 1, 0, 0, 0), 0, 0, 0, 1));
    return list;
  };
  EXPECT_EQ(Order(*build(archive::ByName)), (V{"A\\Y.TXT", "a\\y.txt", "b\\Z.txt", "c\\x.txt"}));
  EXPECT_EQ(Order(*build(archive::ByFileName)),
            (V{"c\\x.txt", "A\\Y.TXT", "a\\y.txt", "b\\Z.txt"}));
  EXPECT_EQ(Order(*build(archive::ByDate)), (V{"a\\y.txt", "A\\Y.TXT", "c\\x.txt", "b\\Z.txt"}));
  EXPECT_EQ(Order(*build(archive::ByCompressedSize)),
            (V{"A\\Y.TXT", "b\\Z.txt", "a\\y.txt", "c\\x.txt"}));
  EXPECT_EQ(Order(*build(archive::ByRate)), (V{"A\\Y.TXT", "b\\Z.txt", "a\\y.txt", "c\\x.txt"}));
  EXPECT_EQ(Order(*build(archive::ByNone)), (V{"a\\y.txt", "A\\Y.TXT", "b\\Z.txt", "c\\x.txt"}));
}

TEST(SortedZip, SameDiskAndOffsetIsADuplicateInArchiveOrder) {
  TSortedZip list(2);
  list.AddRecord(Rec("a", 0, 0, 0, 10));
  try {
    list.AddRecord(Rec("b", 0, 0, 0, 10));
    FAIL() << "no exception";
  } catch (const support::EListError& e) {
    EXPECT_EQ(e.Message(), "Duplicate Object index");
  }
  EXPECT_EQ(list.Count(), 1);
}

}  // namespace
