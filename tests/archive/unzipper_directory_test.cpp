// Reading the directory through the unzip component: lazy loading, comments,
// the local header scan, split volumes, properties and their dialogs.
#include <string>
#include <vector>

#ifndef _WIN32
#include "platform/posix/posix.h"
#endif
#include "unzipper_test_fixture.h"

namespace {

using archive_test::BuildZip;
using archive_test::Le16;
using archive_test::Le32;
using archive_test::Member;
using archive_test::UnZipperTest;

template <class E>
std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  }
  return "no exception";
}

TEST_F(UnZipperTest, DirectoryIsLoadedLazilyWithCommentsOnDemand) {
  Member a("a.txt", "A");
  a.comment = "first member";
  UseArchive(BuildZip({a, Member("dir/b.txt", "B")}, "the archive"));
  EXPECT_EQ(zipper.MemberCount(), 0);
  EXPECT_EQ(zipper.ArchiveComment(), "the archive");
  EXPECT_EQ(zipper.MemberCount(), 2);
  EXPECT_EQ(zipper.MemberComment(0), "first member");
  EXPECT_EQ(zipper.MemberComment(1), "");
  EXPECT_EQ(zipper.MemberName(1), "b.txt");
  EXPECT_EQ(zipper.MemberFullName(1), "dir\\b.txt");
  EXPECT_EQ(MessageOf<support::EListError>([&] { zipper.MemberName(2); }),
            "Index 2 is out of range");
  EXPECT_EQ(MessageOf<support::EListError>([&] { zipper.MemberComment(-1); }),
            "Index -1 is out of range");
  zipper.SetMemberComment(1, "set here");
  EXPECT_EQ(zipper.MemberComment(1), "set here");

  // The same name in another letter case keeps the directory.
  std::string upper = platform::text().UpperCase(zipPath);
  zipper.SetZipName(upper);
  EXPECT_EQ(zipper.MemberCount(), 2);
  EXPECT_EQ(zipper.ZipName(), zipPath);
}

TEST_F(UnZipperTest, ChangedArchiveIsReadAgain) {
  UseArchive(BuildZip({Member("a.txt", "A")}));
  zipper.ArchiveComment();
  ASSERT_EQ(zipper.MemberCount(), 1);
  ASSERT_TRUE(testing_support::WriteFileBytes(
      zipPath, BuildZip({Member("a.txt", "A"), Member("b.txt", "B")})));
  platform::files().SetDosTime(zipPath, 0x3C210000);  // 2010-01-01
  zipper.ArchiveComment();
  EXPECT_EQ(zipper.MemberCount(), 2);
}

TEST_F(UnZipperTest, SortedViewAndArchiveOrder) {
  UseArchive(BuildZip({Member("c", "333"), Member("a", "1"), Member("b", "22")}));
  zipper.SetSortMode(archive::ByName);
  zipper.ArchiveComment();
  EXPECT_EQ(zipper.MemberName(0), "a");
  zipper.ApplySortMode(archive::ByUnCompressedSize);
  EXPECT_EQ(zipper.MemberName(0), "c");
  EXPECT_EQ(zipper.MemberName(2), "a");
  zipper.ApplySortMode(archive::ByNone);
  EXPECT_EQ(zipper.MemberName(0), "c");
  EXPECT_EQ(zipper.SortMode(), archive::ByNone);
}

TEST_F(UnZipperTest, MissingEndRecord) {
  uint32_t cd;
  std::string zip = BuildZip({Member("a.txt", "A"), Member("b.txt", "BB")}, "", &cd);
  std::string noEnd = zip.substr(0, cd);
  UseArchive(noEnd);
  zipper.DoAll = true;
  EXPECT_EQ(MessageOf<archive::EIncompleteZip>([&] { zipper.UnZip(); }), "Incomplete Zip File");
  EXPECT_EQ(zipper.ZipName(), "");

  int fired = 0;
  zipper.OnInCompleteZip = [&](archive::TUnZipper*, archive::TIncompleteZipMode& mode) {
    ++fired;
    mode = archive::izAssumeBad;
  };
  zipper.SetZipName(zipPath);
  EXPECT_EQ(zipper.UnZip(), 2);
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(zipper.IncompleteZipMode, archive::izAssumeBad);
  EXPECT_EQ(Content("b.txt"), "BB");

  // Nothing that looks like a local header: not a zip file.
  UseArchive(std::string(5000, 'x'), "junk.zip");
  EXPECT_EQ(MessageOf<archive::EBadZipFile>([&] { zipper.UnZip(); }), "Not a valid zip file!");
  EXPECT_EQ(zipper.ZipName(), "");
}

TEST_F(UnZipperTest, EndRecordPromisingMoreMembersThanTheDirectoryHolds) {
  std::string zip = BuildZip({Member("a.txt", "A"), Member("b.txt", "B")});
  zip.replace(zip.size() - 22 + 8, 4, Le16(3) + Le16(3));
  UseArchive(zip);
  zipper.DoAll = true;
  EXPECT_EQ(MessageOf<archive::EBadZipFile>([&] { zipper.UnZip(); }), "Not a valid zip file!");
  EXPECT_FALSE(Exists("a.txt"));
  EXPECT_EQ(zipper.MemberCount(), 0);
}

TEST_F(UnZipperTest, MisplacedCentralDirectoryIsFoundBehindTheLocalHeaders) {
  Member a("a.txt", "alpha");
  a.comment = "kept";
  a.externalAttributes = 0x01;
  uint32_t cd;
  std::string zip = BuildZip({a, Member("b.txt", "beta")}, "", &cd);
  // Point the end record somewhere wrong.
  zip.replace(zip.size() - 22 + 16, 4, Le32(3));
  UseArchive(zip);
  EXPECT_EQ(zipper.MemberComment(0), "kept");
  EXPECT_EQ(zipper.Member(0).ExternalAttributes, 0x01);
  EXPECT_EQ(zipper.Member(1).LocalHeaderOffset, uint32_t(30 + 5 + 5));
  zipper.DoAll = true;
  EXPECT_EQ(zipper.UnZip(), 2);
  EXPECT_EQ(Content("a.txt"), "alpha");
}

TEST_F(UnZipperTest, SelfExtractorIsScannedFromItsArchivePart) {
  std::string early = BuildZip({Member("early.txt", "E")});
  early = early.substr(0, early.find("PK\x01\x02"));
  std::string late = BuildZip({Member("late.txt", "L")});
  late = late.substr(0, late.find("PK\x01\x02"));
  std::string sfx = std::string(100, 'x') + early;
  sfx += std::string(14500 - sfx.size(), 'x') + late;
  zipper.IncompleteZipMode = archive::izAssumeBad;
  UseArchive(sfx, "SETUP.EXE");
  zipper.ArchiveComment();
  ASSERT_EQ(zipper.MemberCount(), 1);
  EXPECT_EQ(zipper.MemberName(0), "late.txt");
  // From offset 0 the scan meets the early archive first and stops behind it.
  UseArchive(sfx, "other.exe");
  zipper.ArchiveComment();
  ASSERT_EQ(zipper.MemberCount(), 1);
  EXPECT_EQ(zipper.MemberName(0), "early.txt");
}

TEST_F(UnZipperTest, CancelRequestStopsTheScan) {
  zipper.IncompleteZipMode = archive::izAssumeBad;
  UseArchive(std::string(50000, 'x'));
  ui.onProcessMessages = [this] { zipper.Cancel = true; };
  EXPECT_EQ(MessageOf<archive::EUserCanceled>([&] { zipper.ArchiveComment(); }),
            "User Aborted Operation");
  EXPECT_FALSE(zipper.Cancel);
  EXPECT_EQ(ui.processed, 1);
}

TEST_F(UnZipperTest, EmptyArchiveHasNoMembers) {
  UseArchive(BuildZip({}));
  zipper.DoAll = true;
  LogEvents();
  EXPECT_EQ(zipper.UnZip(), 0);
  EXPECT_EQ(zipper.MemberCount(), 0);
  EXPECT_EQ(log, std::vector<std::string>{"info 0 0"});
}

TEST_F(UnZipperTest, PropertiesAndTheirDialogs) {
  EXPECT_EQ(zipper.ThisVersion(), 217);
  zipper.SetThisVersion(5);
  EXPECT_EQ(zipper.ThisVersion(), 217);
  zipper.SetDestDir("C:\\Out\\");
  EXPECT_EQ(zipper.DestDir(), "C:\\Out");
  zipper.SetRootDir("docs");
  EXPECT_EQ(zipper.RootDir(), "docs\\");
  zipper.SetRootDir("");
  EXPECT_EQ(zipper.RootDir(), "");

  std::string folder = temp.Path();
  ui.dialogAnswers = {""};
  EXPECT_EQ(MessageOf<archive::EUserCanceled>([&] { zipper.SetZipName(folder + "\\?"); }),
            "User canceled setting zip file name.");
  EXPECT_EQ(ui.dialogTitles.back(), "Open a Zip File");
  EXPECT_EQ(ui.dialogStarts.back(), folder + "\\");
  ui.dialogAnswers = {""};
  EXPECT_THROW(zipper.SetZipName("Q:\\nowhere\\?"), archive::EUserCanceled);
  EXPECT_EQ(ui.dialogStarts.back(), "C:\\");
  ui.dialogAnswers = {folder + "\\chosen.zip"};
  zipper.SetZipName("x?");
  EXPECT_EQ(zipper.ZipName(), folder + "\\chosen.zip");

  ui.dialogAnswers = {""};
  EXPECT_EQ(MessageOf<archive::EUserCanceled>([&] { zipper.SetDestDir("?"); }),
            "User canceled Set Desination Directory");
  EXPECT_EQ(zipper.DestDir(), "C:\\Out");
  ui.dialogAnswers = {folder + "\\"};
  zipper.SetDestDir("?");
  EXPECT_EQ(zipper.DestDir(), folder);
}

// A split archive: member a.txt in volume 1 (set.001), member b.txt with the
// central directory and the end record in the last volume (set.zip).
struct SplitSet {
  std::string first, last;
};

SplitSet MakeSplitSet() {
  uint32_t cdA, cdB;
  std::string zipA = BuildZip({Member("a.txt", "first volume")}, "", &cdA);
  std::string zipB = BuildZip({Member("b.txt", "last volume")}, "", &cdB);
  std::string centralA = zipA.substr(cdA, zipA.size() - 22 - cdA);
  std::string centralB = zipB.substr(cdB, zipB.size() - 22 - cdB);
  centralB.replace(34, 2, Le16(1));  // starts on disk 1
  SplitSet set;
  set.first = zipA.substr(0, cdA);
  set.last = zipB.substr(0, cdB) + centralA + centralB;
  set.last += std::string("PK\x05\x06", 4) + Le16(1) + Le16(1) + Le16(2) + Le16(2) +
              Le32(uint32_t(centralA.size() + centralB.size())) + Le32(cdB) + Le16(0);
  return set;
}

TEST_F(UnZipperTest, SplitVolumesAreFoundByNumberOrByTheirWritersNames) {
  SplitSet set = MakeSplitSet();
  struct Case {
    const char *first, *last;  // names of the two volumes on disk
    std::vector<std::string> asked;
  };
  const Case cases[] = {
      // Once volume 1 was visited, the last volume is asked for by its number too.
      {"set.001", "set.002", {"1 set.001", "2 set.002"}},
      // Info-ZIP, WinZip and WinRAR: set.z01, ..., set.zip.
      {"set.z01", "set.zip", {"1 set.z01", "2 set.zip"}},
  };
  for (const Case& c : cases) {
    testing_support::TempFolder folder;
    ASSERT_TRUE(testing_support::WriteFileBytes(folder / c.first, set.first));
    ASSERT_TRUE(testing_support::WriteFileBytes(folder / c.last, set.last));
    ASSERT_TRUE(testing_support::WriteFileBytes(folder / "set.zip", set.last));
    archive::TUnZipper z;
    z.SetZipName(folder / "set.zip");
    z.SetDestDir(folder / "out");
    z.DoAll = true;
    std::vector<std::string> asked;
    archive::TGetNextDisk standard = z.OnGetNextDisk;
    z.OnGetNextDisk = [&](archive::TUnZipper* s, int n, std::string& name) {
      standard(s, n, name);
      asked.push_back(std::to_string(n) + " " + name.substr(name.size() - 7));
    };
    EXPECT_EQ(z.UnZip(), 2) << c.first;
    EXPECT_EQ(z.SpanMode(), archive::smFiles);
    std::string a, b;
    EXPECT_TRUE(testing_support::ReadFileBytes(folder / "out\\a.txt", a));
    EXPECT_TRUE(testing_support::ReadFileBytes(folder / "out\\b.txt", b));
    EXPECT_EQ(a + "|" + b, "first volume|last volume");
    EXPECT_EQ(asked, c.asked);
  }

  // A volume that does not exist under any name ends the request; so does the
  // lack of a handler (there is then no other volume, not this one again).
  UseArchive(set.last, "other.zip");
  zipper.DoAll = true;
  EXPECT_EQ(MessageOf<archive::EUserCanceled>([&] { zipper.UnZip(); }),
            "User canceled loading new disk.");
  zipper.SetZipName("");
  UseArchive(set.last, "set.zip");
  zipper.OnGetNextDisk = nullptr;
  EXPECT_EQ(MessageOf<archive::EUserCanceled>([&] { zipper.UnZip(); }),
            "User canceled loading new disk.");
  EXPECT_FALSE(platform::files().FileExists(temp / "out\\a.txt"));
}

#ifndef _WIN32
TEST_F(UnZipperTest, RemovableDisksAreCheckedByLabel) {
  SplitSet set = MakeSplitSet();
  platform::posix::SetDriveType("A:\\", platform::DriveType::Removable);
  platform::files().ForceDirectories("A:\\");
  ASSERT_TRUE(testing_support::WriteFileBytes("A:\\set.zip", set.last));
  platform::posix::SetVolumeLabel("A:\\", "BACKUP002");
  zipper.SetZipName("A:\\set.zip");
  zipper.SetDestDir(temp / "out");
  zipper.DoAll = true;
  // The first answer leaves the wrong disk in; the second brings disk 1.
  int swaps = 0;
  ui.answers = {platform::kButtonOk, platform::kButtonOk, platform::kButtonOk,
                platform::kButtonCancel};
  ui.onMessageBox = [&](const platform::MessageBoxRequest& box) {
    ++swaps;
    EXPECT_EQ(box.text, "Please insert disk " + std::string(swaps <= 2 ? "1" : "2") +
                            " of the multi-disk set.");
    if (swaps == 2) {
      testing_support::WriteFileBytes("A:\\set.zip", set.first);
      platform::posix::SetVolumeLabel("A:\\", "BACKUP001");
    }
  };
  // Disk 1 holds only a.txt; b.txt needs disk 2 again, which the user refuses.
  EXPECT_EQ(MessageOf<archive::EUserCanceled>([&] { zipper.UnZip(); }),
            "User canceled loading new disk.");
  EXPECT_EQ(zipper.SpanMode(), archive::smDisks);
  EXPECT_EQ(Content("a.txt"), "first volume");
  EXPECT_EQ(swaps, 4);  // disk 2 asked for twice: the label still says 001
  platform::posix::ResetShell();
}
#endif

}  // namespace
