// Behaviour of the posix platform that has no Windows counterpart to compare
// with: where Windows paths land on Linux, case-insensitive lookup, local
// time, and the fault switches.
#ifndef _WIN32
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/folder_watch.h"
#include "platform/posix/posix.h"
#include "support/cp1251.h"
#include "tests/common/test_paths.h"

namespace {

using platform::files;
using platform::posix::LinuxPath;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

bool LinuxExists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

// Points the drives at a fresh folder for one test and back afterwards.
class DriveRootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = platform::posix::DriveRoot();
    char pattern[] = "/tmp/setup-drives-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    root_ = pattern;
    platform::posix::SetDriveRoot(root_);
  }
  void TearDown() override {
    platform::posix::SetDriveRoot(previous_);
    std::system(("rm -rf '" + root_ + "'").c_str());
  }
  std::string root_, previous_;
};

TEST_F(DriveRootTest, DriveLettersAreFoldersOfTheRoot) {
  files().ForceDirectories("D:\\Volmar\\BIN");
  ASSERT_TRUE(WriteFileBytes("d:\\Volmar\\BIN\\vm.exe", "MZ"));
  EXPECT_TRUE(LinuxExists(root_ + "/d/Volmar/BIN/vm.exe"));
  EXPECT_EQ(LinuxPath("D:\\Volmar\\BIN\\vm.exe"), root_ + "/d/Volmar/BIN/vm.exe");
  // Forward slashes work too, and a missing tail is kept as given.
  EXPECT_EQ(LinuxPath("D:/volmar/bin/New.txt"), root_ + "/d/Volmar/BIN/New.txt");
}

TEST_F(DriveRootTest, DotDotNeverLeavesTheDrive) {
  EXPECT_EQ(LinuxPath("C:\\a\\..\\b\\.\\c"), root_ + "/c/b/c");
  EXPECT_EQ(LinuxPath("C:\\..\\..\\etc\\passwd"), root_ + "/c/etc/passwd");
}

TEST_F(DriveRootTest, EveryComponentIsMatchedWithoutRegardToCase) {
  files().ForceDirectories("C:\\Program Files\\Volmar");
  ASSERT_TRUE(WriteFileBytes("C:\\Program Files\\Volmar\\Setup.INI", "x"));
  EXPECT_TRUE(files().FileExists("c:\\PROGRAM FILES\\volmar\\setup.ini"));
  // A new file in an existing folder of another case goes into that folder.
  ASSERT_TRUE(WriteFileBytes("C:\\PROGRAM FILES\\VOLMAR\\new.txt", "y"));
  EXPECT_TRUE(LinuxExists(root_ + "/c/Program Files/Volmar/new.txt"));
  // Cyrillic letters fold too.
  const std::string dir = support::Cp1251("C:\\Учебники");
  files().ForceDirectories(dir);
  ASSERT_TRUE(WriteFileBytes(dir + support::Cp1251("\\Ёлка.txt"), "z"));
  EXPECT_TRUE(files().FileExists(support::Cp1251("C:\\УЧЕБНИКИ\\ёлка.TXT")));
}

// Creating a file that exists in another letter case empties that file,
// as Windows does, instead of making a second one beside it.
TEST_F(DriveRootTest, CreateInAnotherLetterCaseReusesTheFile) {
  files().ForceDirectories("C:\\Data");
  ASSERT_TRUE(WriteFileBytes("C:\\Data\\Report.TXT", "old contents"));
  ASSERT_TRUE(WriteFileBytes("C:\\Data\\report.txt", "new"));
  auto found = files().Enumerate("C:\\Data", "*");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, "Report.TXT");
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes("C:\\Data\\Report.TXT", bytes));
  EXPECT_EQ(bytes, "new");
}

TEST_F(DriveRootTest, NamesAreStoredAsUtf8) {
  ASSERT_TRUE(WriteFileBytes(support::Cp1251("C:\\Привет.txt"), "x"));
  EXPECT_TRUE(LinuxExists(root_ + "/c/Привет.txt"));
  // A file made by another program is seen with its 1251 name.
  std::ofstream(root_ + "/c/Журнал.log") << "y";
  bool found = false;
  for (const auto& e : files().Enumerate("C:", "*.log"))
    found |= e.name == support::Cp1251("Журнал.log");
  EXPECT_TRUE(found);
}

TEST_F(DriveRootTest, ManyFilesInOneFolderStayFast) {
  files().ForceDirectories("C:\\Many");
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 1500; ++i) {
    ASSERT_TRUE(WriteFileBytes("C:\\MANY\\File" + std::to_string(i) + ".dat", "x"));
  }
  for (int i = 0; i < 1500; i += 7) {
    ASSERT_TRUE(files().FileExists("c:\\many\\FILE" + std::to_string(i) + ".DAT")) << i;
  }
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 20.0);
  EXPECT_EQ(files().Enumerate("C:\\Many", "*").size(), 1500u);
}

// Changes that other programs make (here: plain Linux calls) are seen at the
// next lookup, whether the platform looked at the folders before or not, with
// the watched listings and without them.
struct OutsideChange {
  const char* name;
  std::vector<std::string> before;   // files made through the platform, with their folders
  std::string change;                // shell command run in the drive's folder
  std::vector<std::string> files;    // then: FileExists, in another case
  std::vector<std::string> folders;  // DirectoryExists
  std::vector<std::string> missing;  // neither
  friend void PrintTo(const OutsideChange& c, std::ostream* os) { *os << c.name; }
};

class OutsideChanges : public DriveRootTest,
                       public ::testing::WithParamInterface<std::tuple<OutsideChange, bool>> {
 protected:
  void TearDown() override {
    platform::posix::SetFolderWatch(true);
    DriveRootTest::TearDown();
  }
};

TEST_P(OutsideChanges, AreSeenAtTheNextLookup) {
  const auto& [c, watched] = GetParam();
  platform::posix::SetFolderWatch(watched);
  for (const std::string& p : c.before) {
    files().ForceDirectories("C:\\" + p.substr(0, p.rfind('\\')));
    ASSERT_TRUE(WriteFileBytes("C:\\" + p, "x"));
  }
  // Every path is looked at once first, so that what is known of it is stale.
  for (const auto* list : {&c.files, &c.folders, &c.missing})
    for (const std::string& p : *list) files().FileExists("C:\\" + p);
  ASSERT_EQ(std::system(("cd '" + root_ + "/c' && " + c.change).c_str()), 0);
  for (const std::string& p : c.files) {
    EXPECT_TRUE(files().FileExists("c:\\" + p)) << p;
    EXPECT_FALSE(files().DirectoryExists("C:\\" + p)) << p;
  }
  for (const std::string& p : c.folders) {
    EXPECT_TRUE(files().DirectoryExists("C:\\" + p)) << p;
    EXPECT_FALSE(files().FileExists("C:\\" + p)) << p;
  }
  for (const std::string& p : c.missing) {
    EXPECT_FALSE(files().FileExists("C:\\" + p)) << p;
    EXPECT_FALSE(files().DirectoryExists("C:\\" + p)) << p;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, OutsideChanges,
    ::testing::Combine(
        ::testing::Values(
            OutsideChange{"FileCreated", {"A\\one"}, "touch A/Two", {"a\\TWO", "A\\ONE"}, {}, {}},
            OutsideChange{
                "FileRemoved", {"A\\one", "A\\two"}, "rm A/one", {"A\\TWO"}, {}, {"a\\one"}},
            OutsideChange{"FolderRenamed",
                          {"Old\\Sub\\f"},
                          "mv Old New",
                          {"NEW\\sub\\F"},
                          {"new\\SUB"},
                          {"old\\sub\\f", "OLD"}},
            OutsideChange{"FolderMadeAgainInAnotherCase",
                          {"Dir\\f"},
                          "rm -r Dir && mkdir DIR && touch DIR/g",
                          {"dir\\G"},
                          {"DiR"},
                          {"dir\\f"}},
            OutsideChange{"ParentRenamedOverAnother",
                          {"P\\Q\\f", "R\\Q\\g"},
                          "rm -r R && mv P R",
                          {"r\\q\\F"},
                          {"R\\Q"},
                          {"r\\q\\g", "p"}},
            OutsideChange{"FileReplacedByFolder",
                          {"X\\item"},
                          "rm X/item && mkdir X/Item",
                          {},
                          {"x\\ITEM"},
                          {}},
            OutsideChange{
                "LinkToAFolder", {"Target\\f"}, "ln -s Target Link", {"link\\F"}, {"LINK"}, {}}),
        ::testing::Bool()),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) ? "Watched" : "OnDisk");
    });

TEST(PosixPaths, ColonInsideAPathIsRefused) {
  TempFolder dir;
  EXPECT_FALSE(WriteFileBytes(dir / "a:b", "x"));
  EXPECT_FALSE(files().CreateDir(dir / "C:evil"));
  EXPECT_TRUE(files().Enumerate(dir.Path(), "*").empty());
}

TEST(PosixPaths, AbsoluteLinuxPathsAreUsedAsIs) {
  char pattern[] = "/tmp/setup-abs-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  ASSERT_TRUE(WriteFileBytes(dir + "/plain.txt", "abc"));
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(dir + "\\PLAIN.TXT", bytes));
  EXPECT_EQ(bytes, "abc");
  EXPECT_TRUE(files().DeleteFile(dir + "/plain.txt"));
  EXPECT_TRUE(files().RemoveDir(dir));
}

// Stamps are local time: in a zone with daylight saving a summer stamp and a
// winter stamp are an hour apart from UTC by different amounts.
TEST(PosixPaths, DosTimesAreLocalTime) {
  const char* oldTz = std::getenv("TZ");
  const std::string saved = oldTz ? oldTz : "";
  ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);  // Central Europe, no tzdata needed
  ::tzset();
  TempFolder dir;
  const std::string path = dir / "t";
  ASSERT_TRUE(WriteFileBytes(path, "x"));
  struct Case {
    uint32_t dos;
    time_t utc;
  };
  // 2021-07-01 12:00:00 local (UTC+2) and 2021-01-15 12:00:00 local (UTC+1).
  const Case cases[] = {{(41u << 25) | (7u << 21) | (1u << 16) | (12u << 11), 1625133600},
                        {(41u << 25) | (1u << 21) | (15u << 16) | (12u << 11), 1610708400}};
  for (const auto& c : cases) {
    ASSERT_TRUE(files().SetDosTime(path, c.dos));
    struct stat st;
    ASSERT_EQ(::stat(LinuxPath(path).c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, c.utc);
    uint32_t back = 0;
    ASSERT_TRUE(files().GetDosTime(path, back));
    EXPECT_EQ(back, c.dos);
  }
  if (oldTz) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

TEST(PosixFaults, SwitchesMakeSingleOperationsFail) {
  TempFolder dir;
  auto& faults = platform::posix::faults();
  ASSERT_TRUE(WriteFileBytes(dir / "a", "1"));

  faults.fullDisk = true;
  EXPECT_FALSE(WriteFileBytes(dir / "b", "full"));
  faults.fullDisk = false;
  faults.freeBytes = 5;
  {
    auto f = files().Open(dir / "b", platform::OpenMode::Create, nullptr);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Write("abc", 3), 3);
    EXPECT_EQ(f->Write("defg", 4), 2);
    EXPECT_TRUE(files().LastError().diskFull);
    EXPECT_EQ(f->Write("h", 1), 0);
  }
  faults.freeBytes = -1;
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(dir / "b", bytes));
  EXPECT_EQ(bytes, "abcde");

  faults.moveFails = {dir / "A"};
  EXPECT_FALSE(files().MoveFile(dir / "a", dir / "c"));
  faults.moveFails.clear();
  EXPECT_TRUE(files().MoveFile(dir / "a", dir / "c"));

  faults.deleteFails = {dir / "c"};  // in use: neither deleted nor moved away
  EXPECT_FALSE(files().DeleteFile(dir / "c"));
  EXPECT_FALSE(files().MoveFile(dir / "c", dir / "d"));
  EXPECT_FALSE(files().LastError().diskFull);
  faults.deleteFails.clear();

  // A move to another drive copies the file, and so needs room there.
  const std::string other = "D:" + dir.Path().substr(2);
  files().ForceDirectories(other);
  faults.freeBytes = 0;
  EXPECT_FALSE(files().MoveFile(dir / "c", other + "\\c"));
  EXPECT_TRUE(files().LastError().diskFull);
  EXPECT_FALSE(files().FileExists(other + "\\c"));
  faults.freeBytes = -1;
  EXPECT_TRUE(files().MoveFile(dir / "c", other + "\\c"));
  EXPECT_FALSE(files().FileExists(dir / "c"));
  testing_support::RemoveTree(other);
}

}  // namespace
#endif
