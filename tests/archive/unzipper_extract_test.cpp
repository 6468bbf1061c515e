// Member extraction through the unzip component: events, passwords, CRC
// verdicts, overwrite modes, directory entries and names that try to leave
// the destination folder.
#include <string>
#include <vector>

#include "unzipper_test_fixture.h"

namespace {

using archive_test::BuildZip;
using archive_test::Member;
using archive_test::UnZipperTest;
using V = std::vector<std::string>;

std::string Bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 7 + i / 251) & 0xFF);
  return s;
}

TEST_F(UnZipperTest, OneRunFiresEventsInOrderWithPercentAtEachFlush) {
  Member big("dir/big.bin", Bytes(40000));
  big.dosDateTime = (uint32_t(2019 - 1980) << 25 | 7u << 21 | 14u << 16) << 0 | 0;
  big.dosDateTime = uint32_t((2019 - 1980) << 25 | 7 << 21 | 14 << 16 | 13 << 11 | 45 << 5 | 15);
  Member small("a.txt", "hello");
  small.externalAttributes = 0x21;  // read-only, archive
  UseArchive(BuildZip({big, small}));
  zipper.DoAll = true;
  zipper.RecreateDirs = true;
  LogEvents();
  EXPECT_EQ(zipper.UnZip(), 2);
  EXPECT_EQ(log, (V{"info 2 40005", "start 0 \\dir\\big.bin", "file% 40", "total% 40", "file% 80",
                    "total% 80", "file% 100", "total% 100", "end 0 \\dir\\big.bin",
                    "start 1 \\a.txt", "file% 100", "total% 100", "end 1 \\a.txt"}));
  EXPECT_EQ(Content("dir\\big.bin"), Bytes(40000));
  EXPECT_EQ(Content("a.txt"), "hello");
  uint32_t stamp = 0;
  ASSERT_TRUE(platform::files().GetDosTime(Out("dir\\big.bin"), stamp));
  EXPECT_EQ(stamp, big.dosDateTime);
  ASSERT_TRUE(platform::files().GetDosTime(Out("a.txt"), stamp));
  EXPECT_EQ(stamp, small.dosDateTime);  // date set although the file is read-only
  EXPECT_TRUE(platform::files().GetAttributes(Out("a.txt")) & platform::kAttrReadOnly);
}

TEST_F(UnZipperTest, WrongPasswordSkipsWithoutFileAndRunGoesOn) {
  Member secret("secret.txt", "classified");
  secret.password = "right";
  Member dd("dd.txt", "descriptor");
  dd.password = "right";
  dd.flags = 8;  // check byte from the time
  UseArchive(BuildZip({secret, dd, Member("plain.txt", "open")}));
  zipper.DoAll = true;
  zipper.Password = "wrong";
  LogEvents();
  EXPECT_EQ(zipper.UnZip(), 1);
  EXPECT_FALSE(Exists("secret.txt"));
  EXPECT_FALSE(Exists("dd.txt"));
  EXPECT_EQ(Content("plain.txt"), "open");
  EXPECT_EQ(log[1], "skip 0 secret.txt 0");
  EXPECT_EQ(log[2], "skip 0 dd.txt 1");

  // The right password extracts both, whichever byte the check uses.
  zipper.Password = "right";
  zipper.OverwriteMode = archive::Always;
  log.clear();
  EXPECT_EQ(zipper.UnZip(), 3);
  EXPECT_EQ(Content("secret.txt"), "classified");
  EXPECT_EQ(Content("dd.txt"), "descriptor");
}

TEST_F(UnZipperTest, BadPasswordHandlerSuppliesAnotherPassword) {
  Member secret("s.txt", "payload");
  secret.password = "12345678901234567890123456789012345";
  UseArchive(BuildZip({secret}));
  zipper.DoAll = true;
  int asked = 0;
  zipper.OnBadPassword = [&](archive::TUnZipper*, int index, std::string& newPassword) {
    EXPECT_EQ(index, 0);
    ++asked;
    newPassword = asked == 1 ? "nope" : "12345678901234567890123456789012345";
  };
  EXPECT_EQ(zipper.UnZip(), 1);
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(Content("s.txt"), "payload");
}

TEST_F(UnZipperTest, CrcMismatchDeletesFileAndReports) {
  Member bad("bad.txt", "damaged");
  bad.crc = 0x12345678;
  Member bad7("m7.bin", "xyz");
  bad7.method = 7;
  bad7.crc = 0xCAFEBABE;
  UseArchive(BuildZip({bad, bad7, Member("good.txt", "ok")}));
  zipper.DoAll = true;
  ui.answers = {platform::kButtonOk};
  LogEvents();
  EXPECT_EQ(zipper.UnZip(), 1);
  EXPECT_FALSE(Exists("bad.txt"));
  EXPECT_FALSE(Exists("m7.bin"));
  EXPECT_TRUE(Exists("good.txt"));
  EXPECT_NE(std::find(log.begin(), log.end(), "badcrc DCC8AFEB 12345678 0"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "badcrc 00000000 CAFEBABE 1"), log.end());
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Unknown Compression Method");
  EXPECT_EQ(ui.boxes[0].caption, "Zip Error");
}

TEST_F(UnZipperTest, DamagedReadOnlyMemberIsDeletedAllTheSame) {
  Member bad("locked.txt", "damaged");
  bad.crc = 0x12345678;
  bad.externalAttributes = 0x21;  // read-only, archive: applied before the CRC verdict
  UseArchive(BuildZip({bad}));
  zipper.DoAll = true;
  LogEvents();
  EXPECT_EQ(zipper.UnZip(), 0);
  EXPECT_FALSE(Exists("locked.txt"));
  EXPECT_NE(std::find(log.begin(), log.end(), "badcrc DCC8AFEB 12345678 0"), log.end());
}

TEST_F(UnZipperTest, ArchiveStaysOpenAfterARunOnlyWithKeepZipOpen) {
  UseArchive(BuildZip({Member("a.txt", "alpha")}));
  zipper.DoAll = true;
  zipper.OverwriteMode = archive::Always;
  zipper.KeepZipOpen = true;
  EXPECT_EQ(zipper.UnZip(), 1);
  // The component still holds the archive open (read sharing only).
  EXPECT_FALSE(platform::files().DeleteFile(zipPath));
  zipper.KeepZipOpen = false;
  EXPECT_EQ(zipper.UnZip(), 1);
  EXPECT_TRUE(platform::files().DeleteFile(zipPath));
  EXPECT_EQ(Content("a.txt"), "alpha");
}

TEST_F(UnZipperTest, OutputLargerThanDeclaredIsStoppedAndDeleted) {
  Member liar("liar.bin", Bytes(40000));
  liar.declaredSize = 20000;
  UseArchive(BuildZip({liar}));
  zipper.DoAll = true;
  LogEvents();
  EXPECT_EQ(zipper.UnZip(), 0);
  EXPECT_FALSE(Exists("liar.bin"));
  // The first chunk was written (one percent pair), the second was refused.
  EXPECT_EQ(std::count(log.begin(), log.end(), "file% 80"), 1);
  EXPECT_EQ(log.back().substr(0, 6), "badcrc");
}

TEST_F(UnZipperTest, OverwriteModes) {
  UseArchive(BuildZip({Member("a.txt", "new")}));
  platform::files().ForceDirectories(temp / "out");
  ASSERT_TRUE(testing_support::WriteFileBytes(Out("a.txt"), "old"));
  zipper.DoAll = true;
  LogEvents();

  zipper.OverwriteMode = archive::Never;
  EXPECT_EQ(zipper.UnZip(), 0);
  EXPECT_EQ(log.back(), "skip 1 a.txt 0");
  EXPECT_EQ(Content("a.txt"), "old");

  zipper.OverwriteMode = archive::Prompt;
  ui.answers = {platform::kButtonNo};
  EXPECT_EQ(zipper.UnZip(), 0);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Replace existing file a.txt?");
  EXPECT_EQ(ui.boxes[0].caption, "File Exists Alert");
  EXPECT_EQ(Content("a.txt"), "old");

  ui.answers = {platform::kButtonYes};
  EXPECT_EQ(zipper.UnZip(), 1);
  EXPECT_EQ(Content("a.txt"), "new");

  zipper.OverwriteMode = archive::Prompt;
  zipper.OnPromptForOverwrite = [this](archive::TUnZipper*, bool& overwrite, int,
                                       std::string& name) {
    overwrite = true;
    name = Out("renamed.txt");
  };
  EXPECT_EQ(zipper.UnZip(), 1);
  EXPECT_EQ(Content("renamed.txt"), "new");
}

TEST_F(UnZipperTest, SkipInStartEventLeavesEmptyFileAndNoEnd) {
  UseArchive(BuildZip({Member("a.txt", "data"), Member("empty.txt", "")}));
  zipper.DoAll = true;
  LogEvents();
  zipper.OnStartUnZip = [this](archive::TUnZipper*, int i, const std::string&, bool& skip) {
    log.push_back("start " + std::to_string(i));
    skip = i == 0;
  };
  EXPECT_EQ(zipper.UnZip(), 2);
  EXPECT_TRUE(Exists("a.txt"));
  EXPECT_EQ(Content("a.txt"), "");
  // The zero-length member fires no percent events and its CRC 0 matches.
  EXPECT_EQ(log, (V{"info 2 4", "start 0", "start 1", "end 1 \\empty.txt"}));
}

TEST_F(UnZipperTest, DirectoryEntriesAndSelection) {
  UseArchive(
      BuildZip({Member("Docs/", ""), Member("Docs/Readme.TXT", "r"), Member("Docs/pic.bmp", "p")}));
  LogEvents();
  zipper.DoAll = true;
  zipper.RecreateDirs = false;
  EXPECT_EQ(zipper.UnZip(), 2);  // the folder entry is not counted
  EXPECT_EQ(log[0], "info 2 2");
  EXPECT_TRUE(Exists("Readme.TXT"));

  log.clear();
  zipper.RecreateDirs = true;
  zipper.OverwriteMode = archive::Always;
  zipper.DoAll = false;
  zipper.SetFilesList({"*.txt"});
  EXPECT_EQ(zipper.UnZip(), 1);
  EXPECT_EQ(log, (V{"info 1 1", "start 1 \\Docs\\Readme.TXT", "file% 100", "total% 100",
                    "end 1 \\Docs\\Readme.TXT"}));

  log.clear();
  zipper.SetFilesList({"docs\\", "*"});
  EXPECT_EQ(zipper.UnZip(), 3);
  EXPECT_EQ(log[1], "start 0 \\Docs\\");
  EXPECT_TRUE(platform::files().DirectoryExists(Out("Docs")));

  log.clear();
  zipper.SetFilesList({});
  EXPECT_EQ(zipper.UnZip(), 0);
  EXPECT_EQ(log, (V{"info 0 0"}));

  log.clear();
  zipper.SetFilesList({"*"});
  zipper.OnStartUnZipInfo = [](archive::TUnZipper*, int, int64_t, bool& stop) { stop = true; };
  EXPECT_EQ(zipper.UnZip(), 3);
  EXPECT_TRUE(log.empty());
}

TEST_F(UnZipperTest, NamesThatTryToEscapeStayInsideDestination) {
  UseArchive(
      BuildZip({Member("../../x1", "1"), Member("..\\..\\x2", "2"), Member("\\x3", "3"),
                Member("C:x4", "4"), Member("C:\\evil\\x5", "5"), Member("a/../../x6", "6")}));
  zipper.DoAll = true;
  for (bool recreate : {true, false}) {
    zipper.RecreateDirs = recreate;
    zipper.OverwriteMode = archive::Always;
    EXPECT_EQ(zipper.UnZip(), 6);
    // ".." components are dropped, not resolved: a/../../x6 stays in a.
    for (const char* name : {"x1", "x2", "x3", "x4"}) EXPECT_TRUE(Exists(name)) << name;
    EXPECT_TRUE(Exists(recreate ? "evil\\x5" : "x5"));
    EXPECT_TRUE(Exists(recreate ? "a\\x6" : "x6"));
    for (const char* name : {"x1", "x2", "x3", "x4", "x5", "x6", "outx4"})
      EXPECT_FALSE(platform::files().FileExists(temp / name)) << name;
  }
}

TEST_F(UnZipperTest, RootDirIsRemovedFromStoredFolders) {
  UseArchive(BuildZip({Member("Base/sub/f.txt", "f"), Member("base/C:evil/g.txt", "g")}));
  zipper.DoAll = true;
  zipper.RecreateDirs = true;
  zipper.SetRootDir("BASE");
  EXPECT_EQ(zipper.RootDir(), "BASE\\");
  EXPECT_EQ(zipper.UnZip(), 2);
  EXPECT_TRUE(Exists("sub\\f.txt"));
  EXPECT_TRUE(Exists("evil\\g.txt"));
  EXPECT_FALSE(platform::files().DirectoryExists(temp / "outevil"));
}

}  // namespace
