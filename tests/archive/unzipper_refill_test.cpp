// The input refill under a decoder (method 8, fed with stored deflate
// blocks): message processing per chunk, the cancel request, premature end of
// the archive, and a wrong password that passes the check byte.
#include <string>
#include <vector>

#include "archive/zip_crypto.h"
#include "unzipper_test_fixture.h"

namespace {

using archive_test::BuildZip;
using archive_test::Deflated;
using archive_test::Member;
using archive_test::UnZipperTest;

std::string Text(size_t n) {
  std::string s;
  while (s.size() < n) s += "line " + std::to_string(s.size()) + "\n";
  return s.substr(0, n);
}

TEST_F(UnZipperTest, DeflatedMemberIsReadInChunksWithMessages) {
  std::string text = Text(50000);
  UseArchive(BuildZip({Deflated("d.txt", text)}));
  zipper.DoAll = true;
  EXPECT_EQ(zipper.UnZip(), 1);
  EXPECT_EQ(Content("d.txt"), text);
  EXPECT_EQ(ui.processed, 4);  // 50015 compressed bytes in chunks of 16000

  zipper.DoProcessMessages = false;
  zipper.OverwriteMode = archive::Always;
  ui.processed = 0;
  EXPECT_EQ(zipper.UnZip(), 1);
  EXPECT_EQ(ui.processed, 0);
}

TEST_F(UnZipperTest, CancelRequestStopsExtractionAtTheNextChunk) {
  UseArchive(BuildZip({Deflated("d.txt", Text(50000)), Member("after.txt", "x")}));
  zipper.DoAll = true;
  int chunks = 0;
  ui.onProcessMessages = [&] {
    if (++chunks == 2) zipper.Cancel = true;
  };
  try {
    zipper.UnZip();
    FAIL() << "no exception";
  } catch (const archive::EUserCanceled& e) {
    EXPECT_EQ(e.Message(), "User Aborted Operation");
  }
  EXPECT_FALSE(zipper.Cancel);
  EXPECT_FALSE(Exists("after.txt"));
}

TEST_F(UnZipperTest, ArchiveEndingInsideAMemberIsFatal) {
  // Cut the member's data after 20000 bytes and move the central directory
  // up behind it: the member still claims all of its compressed size.
  uint32_t cd;
  std::string zip = BuildZip({Deflated("d.txt", Text(40000))}, "", &cd);
  std::string cut = zip.substr(0, 30 + 5 + 20000) + zip.substr(cd);
  uint32_t newCd = 30 + 5 + 20000;
  cut.replace(cut.size() - 22 + 16, 4, archive_test::Le32(newCd));
  UseArchive(cut);
  zipper.DoAll = true;
  try {
    zipper.UnZip();
    FAIL() << "no exception";
  } catch (const archive::EFatalUnzipError& e) {
    EXPECT_EQ(e.Message(), "Premature end of file reached");
  }
  // The partial output stays, without the stored date.
  EXPECT_TRUE(Exists("d.txt"));
}

TEST_F(UnZipperTest, WrongPasswordPassingTheCheckByteIsReportedAsBadPassword) {
  std::string text = Text(3000);
  Member m = Deflated("s.txt", text);
  m.password = "right";
  std::string zip = BuildZip({m});
  // Find a wrong password whose decrypted header happens to pass the check.
  std::string header = zip.substr(30 + 5, 12);
  std::string wrong;
  for (int i = 0; wrong.empty(); ++i) {
    archive::ZipCrypto keys;
    keys.InitKeys("p" + std::to_string(i));
    std::string h = header;
    keys.DecryptBuffer(reinterpret_cast<uint8_t*>(h.data()), h.size());
    if (uint8_t(h[11]) == uint8_t(m.crc >> 24)) wrong = "p" + std::to_string(i);
  }
  UseArchive(zip);
  zipper.DoAll = true;
  zipper.Password = wrong;
  LogEvents();
  std::vector<std::string> asked;
  zipper.OnBadPassword = [&](archive::TUnZipper*, int, std::string& p) { asked.push_back(p); };
  EXPECT_EQ(zipper.UnZip(), 0);
  EXPECT_EQ(asked, std::vector<std::string>{wrong});
  EXPECT_EQ(log.back(), "skip 0 s.txt 0");
  EXPECT_FALSE(Exists("s.txt"));

  // A handler that gives the right password then makes the member retried.
  zipper.OnBadPassword = [](archive::TUnZipper*, int, std::string& p) { p = "right"; };
  zipper.Password = wrong;
  EXPECT_EQ(zipper.UnZip(), 1);
  EXPECT_EQ(Content("s.txt"), text);
}

}  // namespace
