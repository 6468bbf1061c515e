// One hostile archive per row, each with the outcome it must have: the
// engine's message, or a run that extracts exactly the listed files. In
// every row nothing is written outside the destination and the run ends
// within a few seconds, whatever sizes and counts the archive declares.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <set>

#include "archive/crc32.h"
#include "archive/zip_constants.h"
#include "tests/archive/hostile_zip.h"
#include "tests/archive/unzipper_test_fixture.h"

namespace archive_test {
namespace {

using namespace archive::zip;

struct BadArchiveRow {
  const char* name;
  std::function<std::string()> build;
  const char* error;  // the start of the message the run ends with, or nullptr: it ends normally
  int result = 0;     // UnZip's result when the run ends normally
  std::set<std::string> present = {};  // every file left in the destination
  bool assumeBad = false;              // IncompleteZipMode izAssumeBad
  const char* password = "password";   // the component's password
  const char* comment = "";            // the archive comment the component reports
};

std::string Base() { return BuildZip({Member("a.txt", "alpha"), Member("dir/b.txt", "bravo")}); }

std::string Cut(size_t keep) { return Base().substr(0, keep); }

// Base() with one change applied to its bytes.
std::string Patched(const std::function<void(std::string&, const ZipLayout&)>& change) {
  std::string bytes = Base();
  change(bytes, Layout(bytes));
  return bytes;
}

std::string Junk(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  for (char& c : out) {
    seed = seed * 1103515245 + 12345;
    c = char(seed >> 16);
  }
  return out;
}

// Members of method m with junk data, declaring size bytes, then a good one.
std::string JunkOf(uint16_t method, int32_t size) {
  Member junk("junk.bin", Junk(3000, method));
  junk.method = method;
  junk.declaredSize = size;
  junk.crc = 0x12345678;
  return BuildZip({junk, Member("good.txt", "good")});
}

Member Sized(const char* name, const std::string& data, uint16_t method, int32_t size) {
  Member m(name, data);
  m.method = method;
  m.declaredSize = size;
  m.crc = 0x0BADC0DE;
  return m;
}

const char* const kIncomplete = "Incomplete Zip File";
const char* const kNotValid = "Not a valid zip file!";
const char* const kPremature = "Premature end of file reached";

const std::vector<BadArchiveRow>& Rows() {
  static const std::vector<BadArchiveRow> rows = {
      // ---- truncated at every structure
      {"EmptyFile", [] { return std::string(); }, kIncomplete},
      {"CutInFirstLocalHeader", [] { return Cut(10); }, kIncomplete},
      {"CutInFirstLocalHeaderScanned", [] { return Cut(10); }, nullptr, 0, {}, true},
      {"CutInFirstMemberScanned", [] { return Cut(37); }, nullptr, 0, {}, true},
      {"CutInSecondLocalHeaderScanned", [] { return Cut(50); }, nullptr, 1, {"a.txt"}, true},
      {"CutInCentralDirectory", [] { return Cut(Layout(Base()).centralOffset + 20); }, kIncomplete},
      {"CutInCentralDirectoryScanned",
       [] { return Cut(Layout(Base()).centralOffset + 20); },
       nullptr,
       2,
       {"a.txt", "dir\\b.txt"},
       true},
      {"CutInEndRecord", [] { return Cut(Base().size() - 5); }, kIncomplete},
      // ---- end record fields that point nowhere
      {"CentralOffsetPastTheEndIsFoundByTheScan",
       [] {
         return Patched([](std::string& b, const ZipLayout& l) {
           Patch32(b, l.endRecord + kEndCentralOffset, 0xFFFFFF00);
         });
       },
       nullptr,
       2,
       {"a.txt", "dir\\b.txt"}},
      {"CentralOffsetPastTheEndWithoutLocalHeaders",
       [] {
         std::string b = std::string("PK\x05\x06", 4) + std::string(18, '\0');
         Patch16(b, kEndTotalEntries, 1);
         Patch32(b, kEndCentralOffset, 0x7FFFFFFF);
         return b;
       },
       kNotValid},
      {"MoreEntriesThanTheFileHolds",
       [] {
         return Patched([](std::string& b, const ZipLayout& l) {
           Patch16(b, l.endRecord + kEndEntriesThisDisk, 0xFFFF);
           Patch16(b, l.endRecord + kEndTotalEntries, 0xFFFF);
         });
       },
       kNotValid},
      {"CommentLengthPastTheEnd",
       [] {
         // The comment is what follows the end record, not bytes before it.
         std::string b = BuildZip({Member("a.txt", "alpha"), Member("dir/b.txt", "bravo")}, "hi");
         Patch16(b, Layout(b).endRecord + kEndCommentLength, 0xFFFF);
         return b;
       },
       nullptr,
       2,
       {"a.txt", "dir\\b.txt"},
       false,
       "password",
       "hi"},
      // ---- member sizes beyond the file and beyond 2^31
      {"StoredSizesLargerThanTheFile",
       [] {
         return Patched([](std::string& b, const ZipLayout& l) {
           Patch32(b, l.centralHeader(b, 1) + kCenCompressedSize, 0x7FFFFFF0);
           Patch32(b, l.centralHeader(b, 1) + kCenUncompressedSize, 0x7FFFFFF0);
         });
       },
       nullptr,
       1,
       {"a.txt"}},
      {"DeflatedSizeLargerThanTheFile",
       [] {
         std::string b =
             BuildZip({Member("a.txt", "alpha"), Sized("z.bin", DeflateRunOfA(10), 8, 2581)});
         ZipLayout l = Layout(b);
         Patch32(b, l.centralHeader(b, 1) + kCenCompressedSize, 0x7FFFFFF0);
         return b;
       },
       kPremature,
       0,
       {"a.txt", "z.bin"}},  // the cut-off output stays, as after any premature end
      {"DeclaredSizesOf2GBAndMore",
       [] {
         // Sizes of 2^31 and more read as negative 32-bit numbers: an
         // uncompressed size no output fits into, a compressed size of nothing.
         std::string b = BuildZip(
             {Member("a.txt", "alpha"), Sized("c.bin", DeflateRunOfA(100), 8, int32_t(0xFFFFFFFF)),
              Sized("e.bin", "bravo", 0, int32_t(0x80000000)), Member("z.txt", "zulu")});
         ZipLayout l = Layout(b);
         Patch32(b, l.centralHeader(b, 3) + kCenCompressedSize, 0x80000000);
         Patch32(b, l.centralHeader(b, 3) + kCenUncompressedSize, 0xFFFFFFFF);
         return b;
       },
       nullptr,
       1,
       {"a.txt"}},
      // ---- members sharing data
      {"MemberInsideAnotherMembersData",
       [] {
         // a.txt claims b's local header and data as its own stored bytes.
         std::string b = Base();
         ZipLayout l = Layout(b);
         size_t dataA = kLocalHeaderSize + 5;
         uint32_t size = uint32_t(l.centralOffset - dataA);
         std::string span = b.substr(dataA, size);
         Patch32(b, l.centralHeader(b, 0) + kCenCompressedSize, size);
         Patch32(b, l.centralHeader(b, 0) + kCenUncompressedSize, size);
         Patch32(b, l.centralHeader(b, 0) + kCenCrc,
                 ~archive::Crc32Update(0xFFFFFFFF, reinterpret_cast<const uint8_t*>(span.data()),
                                       span.size()));
         return b;
       },
       kNotValid},  // found before anything is written
      {"TwoEntriesForOneLocalHeader",
       [] {
         return Patched([](std::string& b, const ZipLayout& l) {
           Patch32(b, l.centralHeader(b, 1) + kCenLocalHeaderOffset, 0);
         });
       },
       "Duplicate Object index"},
      {"DeflateBombAgainstASmallDeclaredSize",
       [] {
         // 16 KB of Deflate data that expands to 10 MB, declared as 1000 bytes.
         return BuildZip(
             {Sized("bomb.bin", DeflateRunOfA(10000), 8, 1000), Member("after.txt", "after")});
       },
       nullptr,
       1,
       {"after.txt"}},
      // ---- names
      {"NamesThatClimbOrNameDevices",
       [] {
         return BuildZip({Member("../../up.txt", "1"), Member("\\lead.txt", "2"),
                          Member("C:\\drive.txt", "3"), Member("D:rel.txt", "4"),
                          Member("CON", "5"), Member("nul.txt", "6"), Member("Aux/x.txt", "7"),
                          Member("sub/com1 .log", "8")});
       },
       nullptr,
       8,
       {"up.txt", "lead.txt", "drive.txt", "rel.txt", "_CON", "_nul.txt", "_Aux\\x.txt",
        "sub\\_com1 .log"}},
      {"TwentyThousandFolderLevels",
       [] {
         std::string name;
         for (int i = 0; i < 20000; ++i) name += "a/";
         return BuildZip({Member(name + "f.txt", "deep")});
       },
       "Cannot create file"},
      // ---- one bad member among good ones
      {"LocalNameLengthTooLarge",
       [] {
         // a.txt's data is looked for far behind its header: that member
         // fails, the members after it do not.
         std::string b = BuildZip(
             {Member("a.txt", "alpha"), Member("b.txt", "bravo"), Member("c.txt", "charlie")});
         Patch16(b, kLocNameLength, 0xFFFF);
         return b;
       },
       nullptr,
       2,
       {"b.txt", "c.txt"}},
      {"LocalHeaderOffsetPastTheEnd",
       [] {
         return Patched([](std::string& b, const ZipLayout& l) {
           Patch32(b, l.centralHeader(b, 0) + kCenLocalHeaderOffset, 0x7FFFFF00);
         });
       },
       nullptr,
       1,
       {"dir\\b.txt"}},
      // ---- checks of the data
      {"CrcMismatch",
       [] {
         Member bad("bad.txt", "damaged");
         bad.crc = 0x12345678;
         return BuildZip({bad, Member("ok.txt", "ok")});
       },
       nullptr,
       1,
       {"ok.txt"}},
      {"WrongPassword",
       [] {
         Member secret("secret.txt", "secret");
         secret.password = "other";
         return BuildZip({secret, Member("plain.txt", "plain")});
       },
       nullptr,
       1,
       {"plain.txt"}},
      // ---- old methods on data they cannot make sense of
      {"ShrinkJunk", [] { return JunkOf(1, 5000); }, nullptr, 1, {"good.txt"}},
      {"ReduceJunk", [] { return JunkOf(5, 5000); }, nullptr, 1, {"good.txt"}},
      {"ImplodeJunk", [] { return JunkOf(6, 5000); }, nullptr, 1, {"good.txt"}},
      {"ReduceJunkDeclaring2GB", [] { return JunkOf(2, 0x7FFFFFFF); }, nullptr, 1, {"good.txt"}},
      {"ImplodeJunkDeclaring2GB", [] { return JunkOf(6, 0x7FFFFFFF); }, nullptr, 1, {"good.txt"}},
      {"ShrinkJunkDeclaring2GB", [] { return JunkOf(1, 0x7FFFFFFF); }, nullptr, 1, {"good.txt"}},
  };
  return rows;
}

class BadArchiveTest : public UnZipperTest, public ::testing::WithParamInterface<BadArchiveRow> {
 protected:
  // Every file below folder, as paths relative to it.
  static void Files(const std::string& folder, const std::string& rel,
                    std::set<std::string>& found) {
    for (const platform::FindData& f : platform::files().Enumerate(folder, "*.*")) {
      if (f.name == "." || f.name == "..") continue;
      if (f.attributes & platform::kAttrDirectory)
        Files(folder + "\\" + f.name, rel + f.name + "\\", found);
      else
        found.insert(rel + f.name);
    }
  }
};

TEST_P(BadArchiveTest, EndsAsExpectedInsideTheDestination) {
  const BadArchiveRow& row = GetParam();
  UseArchive(row.build());
  zipper.DoAll = true;
  zipper.RecreateDirs = true;
  zipper.OverwriteMode = archive::Always;
  zipper.Password = row.password;
  if (row.assumeBad) zipper.IncompleteZipMode = archive::izAssumeBad;

  auto started = std::chrono::steady_clock::now();
  std::string error;
  int result = -1;
  try {
    EXPECT_EQ(zipper.ArchiveComment(), row.comment);
    result = zipper.UnZip();
  } catch (const support::Exception& e) {
    error = e.Message();
  }
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  if (row.error) {
    EXPECT_EQ(error.substr(0, std::string(row.error).size()), row.error) << error.substr(0, 200);
  } else {
    EXPECT_EQ(error, "");
    EXPECT_EQ(result, row.result);
  }
  std::set<std::string> out;
  Files(temp / "out", "", out);
  EXPECT_EQ(out, row.present);
  std::set<std::string> all;
  Files(temp.Path(), "", all);
  for (const std::string& f : all)
    EXPECT_TRUE(f == "test.zip" || f.compare(0, 4, "out\\") == 0) << "outside: " << f;
  EXPECT_LT(seconds, 10.0);
}

INSTANTIATE_TEST_SUITE_P(Rows, BadArchiveTest, ::testing::ValuesIn(Rows()),
                         [](const auto& info) { return std::string(info.param.name); });

// A path longer than Windows allows: either the member lands inside the
// destination (systems with long paths) or the run ends with the file
// stream's message naming the file; never anywhere else.
TEST_F(UnZipperTest, MemberPathOf300CharactersStaysInsideOrFailsClearly) {
  std::string name;
  for (int i = 0; i < 30; ++i) name += "folder" + std::to_string(100 + i) + "/";
  name += "file.txt";
  ASSERT_GE(name.size(), 300u);
  UseArchive(BuildZip({Member(name, "deep")}));
  zipper.DoAll = true;
  zipper.RecreateDirs = true;
  try {
    EXPECT_EQ(zipper.UnZip(), 1);
    std::string rel = name;
    for (char& c : rel)
      if (c == '/') c = '\\';
    EXPECT_EQ(Content(rel), "deep");
  } catch (const support::EFCreateError& e) {
    EXPECT_NE(e.Message().find("file.txt"), std::string::npos) << e.Message();
  }
}

}  // namespace
}  // namespace archive_test
