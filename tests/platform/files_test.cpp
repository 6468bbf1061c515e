// Files through the platform seam: the same tests run natively (posix), under
// Wine (win32), and natively on the in-memory files, which must behave as
// the posix ones do.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/platform.h"
#include "support/cp1251.h"
#include "tests/common/test_paths.h"
#ifndef _WIN32
#include "platform/memory/memory_files.h"
#endif

namespace {

using platform::files;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

enum class Kind { Real, Memory };

// Runs each test on the build's own files or on the in-memory ones.
class Files : public ::testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    saved_ = platform::Current().files;
#ifndef _WIN32
    if (GetParam() == Kind::Memory) platform::Current().files = &memory_;
#endif
  }
  void TearDown() override { platform::Current().files = saved_; }

 private:
  platform::Files* saved_ = nullptr;
#ifndef _WIN32
  platform::memory::MemoryFiles memory_;
#endif
};

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Real, Files, ::testing::Values(Kind::Real));
#else
INSTANTIATE_TEST_SUITE_P(Platform, Files, ::testing::Values(Kind::Real, Kind::Memory),
                         [](const auto& info) {
                           return std::string(info.param == Kind::Real ? "Posix" : "Memory");
                         });
#endif

TEST_P(Files, WrittenBytesReadBackAndSizeAndSeek) {
  TempFolder dir;
  const std::string path = dir / "a.bin";
  ASSERT_TRUE(WriteFileBytes(path, std::string("hello\0world", 11)));
  auto f = files().Open(path, platform::OpenMode::ReadShareRead, nullptr);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Size(), 11);
  EXPECT_EQ(f->Seek(-5, platform::SeekOrigin::End), 6);
  char buf[8] = {};
  EXPECT_EQ(f->Read(buf, 8), 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(f->Read(buf, 8), 0);
}

TEST_P(Files, MissingFileGivesErrorText) {
  TempFolder dir;
  std::string error;
  EXPECT_FALSE(files().Open(dir / "missing.txt", platform::OpenMode::ReadShareRead, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(files().FileExists(dir / "missing.txt"));
}

TEST_P(Files, CyrillicNamesRoundTripThroughEnumerate) {
  TempFolder dir;
  const std::string name = support::Cp1251("Учебник Ёлки.txt");
  ASSERT_TRUE(WriteFileBytes(dir / name, "x"));
  auto found = files().Enumerate(dir.Path(), "*.txt");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, name);
  EXPECT_TRUE(files().FileExists(dir / support::Cp1251("учебник ёлки.TXT")));
}

}  // namespace

namespace {

TEST_P(Files, MoveFileFailsWhenTargetExistsAndKeepsBoth) {
  TempFolder dir;
  ASSERT_TRUE(WriteFileBytes(dir / "from.txt", "new"));
  ASSERT_TRUE(WriteFileBytes(dir / "to.txt", "old"));
  EXPECT_FALSE(files().MoveFile(dir / "from.txt", dir / "to.txt"));
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(dir / "to.txt", bytes));
  EXPECT_EQ(bytes, "old");
  EXPECT_TRUE(files().FileExists(dir / "from.txt"));

  EXPECT_TRUE(files().MoveFile(dir / "from.txt", dir / "moved.txt"));
  EXPECT_FALSE(files().FileExists(dir / "from.txt"));
  ASSERT_TRUE(ReadFileBytes(dir / "moved.txt", bytes));
  EXPECT_EQ(bytes, "new");
  EXPECT_FALSE(files().MoveFile(dir / "missing.txt", dir / "other.txt"));

  // A new letter case of the same name is a rename, not an existing target.
  EXPECT_TRUE(files().MoveFile(dir / "moved.txt", dir / "MOVED.TXT"));
  auto found = files().Enumerate(dir.Path(), "moved.txt");
  ASSERT_EQ(found.size(), 1u);
#ifndef _WIN32
  EXPECT_EQ(found[0].name, "MOVED.TXT");  // (Wine keeps the old case)
#endif
}

// The install log relies on this: the target is either the old file or the
// new one, and a refusal leaves it as it was, with the system's reason.
TEST_P(Files, ReplaceTakesTheTargetsPlaceInOneStepOrLeavesIt) {
  TempFolder dir;
  ASSERT_TRUE(WriteFileBytes(dir / "new.txt", "new"));
  ASSERT_TRUE(WriteFileBytes(dir / "log.txt", "old"));
  EXPECT_TRUE(files().ReplaceFile(dir / "new.txt", dir / "log.txt"));
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(dir / "log.txt", bytes));
  EXPECT_EQ(bytes, "new");
  EXPECT_FALSE(files().FileExists(dir / "new.txt"));

  ASSERT_TRUE(WriteFileBytes(dir / "newer.txt", "newer"));
  ASSERT_TRUE(files().SetAttributes(dir / "log.txt", platform::kAttrReadOnly));
  EXPECT_FALSE(files().ReplaceFile(dir / "newer.txt", dir / "log.txt"));
  EXPECT_FALSE(files().LastError().text.empty());
  EXPECT_FALSE(files().LastError().diskFull);
  ASSERT_TRUE(ReadFileBytes(dir / "log.txt", bytes));
  EXPECT_EQ(bytes, "new");
  EXPECT_TRUE(files().FileExists(dir / "newer.txt"));
  files().SetAttributes(dir / "log.txt", platform::kAttrNormal);
}

TEST_P(Files, CopyFileHonoursFailIfExists) {
  TempFolder dir;
  ASSERT_TRUE(WriteFileBytes(dir / "a", "first"));
  ASSERT_TRUE(WriteFileBytes(dir / "b", "second"));
  EXPECT_FALSE(files().CopyFile(dir / "a", dir / "b", true));
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(dir / "b", bytes));
  EXPECT_EQ(bytes, "second");
  EXPECT_TRUE(files().CopyFile(dir / "a", dir / "b", false));
  ASSERT_TRUE(ReadFileBytes(dir / "b", bytes));
  EXPECT_EQ(bytes, "first");
}

TEST_P(Files, FoldersNeedParentsUnlessForcedAndRemoveOnlyWhenEmpty) {
  TempFolder dir;
  EXPECT_FALSE(files().CreateDir(dir / "x\\y"));
  files().ForceDirectories(dir / "x\\y\\z");
  EXPECT_TRUE(files().DirectoryExists(dir / "x\\y\\z"));
  EXPECT_FALSE(files().FileExists(dir / "x\\y\\z"));
  EXPECT_EQ(files().GetAttributes(dir / "x") & platform::kAttrDirectory, platform::kAttrDirectory);
  EXPECT_FALSE(files().RemoveDir(dir / "x\\y"));
  EXPECT_TRUE(files().RemoveDir(dir / "x\\y\\z"));
  EXPECT_TRUE(files().RemoveDir(dir / "x\\y"));
  EXPECT_EQ(files().GetAttributes(dir / "x\\y"), platform::kInvalidAttributes);
}

TEST_P(Files, ReadOnlyFileCannotBeRewrittenOrDeleted) {
  TempFolder dir;
  const std::string path = dir / "locked.ini";
  ASSERT_TRUE(WriteFileBytes(path, "keep"));
  ASSERT_TRUE(files().SetAttributes(path, platform::kAttrReadOnly | platform::kAttrHidden));
  const uint32_t attributes = files().GetAttributes(path);
  EXPECT_EQ(
      attributes & (platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrDirectory),
      platform::kAttrReadOnly | platform::kAttrHidden);
  EXPECT_FALSE(files().DeleteFile(path));
#ifndef _WIN32
  // (Wine run by root lets CREATE_ALWAYS through on a read-only file.)
  EXPECT_FALSE(files().Open(path, platform::OpenMode::Create, nullptr));
#endif
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(path, bytes));
  EXPECT_EQ(bytes, "keep");

  ASSERT_TRUE(files().SetAttributes(path, platform::kAttrNormal));
  EXPECT_EQ(files().GetAttributes(path) & (platform::kAttrReadOnly | platform::kAttrHidden), 0u);
  EXPECT_TRUE(files().DeleteFile(path));
  EXPECT_FALSE(files().FileExists(path));
}

TEST_P(Files, AttributeBitsRoundTrip) {
  TempFolder dir;
  const std::string path = dir / "f";
  ASSERT_TRUE(WriteFileBytes(path, ""));
  for (uint32_t bits : {platform::kAttrHidden, platform::kAttrSystem,
                        platform::kAttrHidden | platform::kAttrSystem}) {
    bits |= platform::kAttrArchive;  // (Wine reports it on every file)
    ASSERT_TRUE(files().SetAttributes(path, bits));
    EXPECT_EQ(files().GetAttributes(path), bits) << bits;
  }
}

// Attributes set through the handle that wrote the file end as those set by
// path after the close; a handle that cannot take them says so, and only a
// writing handle may.
TEST_P(Files, AttributesThroughTheWritingHandleEndAsThoseSetByPath) {
  TempFolder dir;
  const uint32_t rows[] = {platform::kAttrReadOnly | platform::kAttrArchive,
                           platform::kAttrHidden | platform::kAttrSystem | platform::kAttrArchive,
                           platform::kAttrArchive, platform::kAttrNormal};
  for (uint32_t bits : rows) {
    const std::string byHandle = dir / "h.txt", byPath = dir / "p.txt";
    bool handleTookThem = false;
    {
      auto f = files().Open(byHandle, platform::OpenMode::Create, nullptr);
      ASSERT_TRUE(f);
      ASSERT_EQ(f->Write("abc", 3), 3);
      handleTookThem = f->SetAttributes(bits);
    }
    if (!handleTookThem) {
      ASSERT_TRUE(files().SetAttributes(byHandle, bits));
    }
    ASSERT_TRUE(WriteFileBytes(byPath, "abc"));
    ASSERT_TRUE(files().SetAttributes(byPath, bits));
#ifndef _WIN32
    EXPECT_TRUE(handleTookThem) << bits;
#endif
    EXPECT_EQ(files().GetAttributes(byHandle), files().GetAttributes(byPath)) << bits;
    EXPECT_EQ(files().DeleteFile(byHandle), !(bits & platform::kAttrReadOnly)) << bits;
    for (const std::string& p : {byHandle, byPath}) {
      files().SetAttributes(p, platform::kAttrNormal);
      files().DeleteFile(p);
    }
  }
  ASSERT_TRUE(WriteFileBytes(dir / "r.txt", "abc"));
  auto reader = files().Open(dir / "r.txt", platform::OpenMode::ReadShareRead, nullptr);
  ASSERT_TRUE(reader);
  EXPECT_FALSE(reader->SetAttributes(platform::kAttrHidden));
  reader.reset();
  EXPECT_EQ(files().GetAttributes(dir / "r.txt") & platform::kAttrHidden, 0u);
}

// CreateNew makes a file only where nothing of that name is, in any letter
// case, and leaves what is there as it was.
TEST_P(Files, CreateNewMakesOnlyAFileThatIsNotThere) {
  TempFolder dir;
  ASSERT_TRUE(WriteFileBytes(dir / "Kept.txt", "old"));
  ASSERT_TRUE(files().CreateDir(dir / "sub"));
  auto made = files().Open(dir / "new.txt", platform::OpenMode::CreateNew, nullptr);
  ASSERT_TRUE(made);
  EXPECT_EQ(made->Write("abc", 3), 3);
  made.reset();
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(dir / "new.txt", bytes));
  EXPECT_EQ(bytes, "abc");
  for (const char* name : {"Kept.txt", "KEPT.TXT", "sub", "new.txt"}) {
    std::string error;
    EXPECT_FALSE(files().Open(dir / name, platform::OpenMode::CreateNew, &error)) << name;
    EXPECT_FALSE(error.empty()) << name;
  }
  ASSERT_TRUE(ReadFileBytes(dir / "Kept.txt", bytes));
  EXPECT_EQ(bytes, "old");
}

TEST_P(Files, ReadOnlyFolderStillTakesNewFiles) {
  TempFolder dir;
  const std::string sub = dir / "sub";
  ASSERT_TRUE(files().CreateDir(sub));
  ASSERT_TRUE(files().SetAttributes(sub, platform::kAttrReadOnly));
  // (Wine does not keep the bit on folders; Windows and the posix platform do.)
  EXPECT_EQ(files().GetAttributes(sub) & platform::kAttrDirectory, platform::kAttrDirectory);
  EXPECT_TRUE(WriteFileBytes(sub + "\\f.txt", "x"));
  EXPECT_TRUE(files().DeleteFile(sub + "\\f.txt"));
  ASSERT_TRUE(files().SetAttributes(sub, platform::kAttrNormal));
  EXPECT_EQ(files().GetAttributes(sub) & platform::kAttrReadOnly, 0u);
}

// MS-DOS stamps in local time, in winter and in summer (daylight saving).
TEST_P(Files, DosTimesRoundTripByNameAndByHandle) {
  TempFolder dir;
  const std::string path = dir / "t.dat";
  ASSERT_TRUE(WriteFileBytes(path, "x"));
  auto dos = [](int y, int mo, int d, int h, int mi, int s) {
    return (static_cast<uint32_t>(y - 1980) << 25) | (static_cast<uint32_t>(mo) << 21) |
           (static_cast<uint32_t>(d) << 16) | (static_cast<uint32_t>(h) << 11) |
           (static_cast<uint32_t>(mi) << 5) | static_cast<uint32_t>(s / 2);
  };
  for (uint32_t stamp :
       {dos(2003, 1, 15, 8, 30, 58), dos(2019, 7, 1, 23, 59, 0), dos(1999, 12, 31, 0, 0, 2)}) {
    ASSERT_TRUE(files().SetDosTime(path, stamp));
    uint32_t back = 0;
    ASSERT_TRUE(files().GetDosTime(path, back));
    EXPECT_EQ(back, stamp);
    auto found = files().Enumerate(dir.Path(), "t.dat");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].dosDateTime, stamp);
  }
  const uint32_t stamp = dos(2010, 3, 4, 12, 0, 10);
  {
    auto f = files().Open(path, platform::OpenMode::WriteShared, nullptr);
    ASSERT_TRUE(f);
    ASSERT_TRUE(f->SetDosTime(stamp));
  }
  auto f = files().Open(path, platform::OpenMode::ReadShareRead, nullptr);
  ASSERT_TRUE(f);
  uint32_t back = 0;
  ASSERT_TRUE(f->GetDosTime(back));
  EXPECT_EQ(back, stamp);
}

struct MaskCase {
  const char* mask;
  std::vector<std::string> names;  // sorted
};

TEST_P(Files, EnumerateMatchesMasksLikeFindFirstFile) {
  TempFolder dir;
  for (const char* name : {"a.txt", "B.TXT", "c.dat", "readme", "ab.txt.bak"})
    ASSERT_TRUE(WriteFileBytes(dir / name, "1"));
  files().CreateDir(dir / "sub");
  const MaskCase cases[] = {
      {"*", {"B.TXT", "a.txt", "ab.txt.bak", "c.dat", "readme", "sub"}},
      {"*.*", {"B.TXT", "a.txt", "ab.txt.bak", "c.dat", "readme", "sub"}},
      {"*.txt", {"B.TXT", "a.txt"}},
      {"?.dat", {"c.dat"}},
      {"A*", {"a.txt", "ab.txt.bak"}},
      {"readme", {"readme"}},
      {"nothing*", {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> names;
    for (const auto& e : files().Enumerate(dir.Path(), c.mask)) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, c.names) << c.mask;
  }
  for (const auto& e : files().Enumerate(dir.Path(), "*")) {
    EXPECT_EQ((e.attributes & platform::kAttrDirectory) != 0, e.name == "sub") << e.name;
    if (e.name != "sub") {
      EXPECT_EQ(e.size, 1);
    }
  }
  EXPECT_TRUE(files().Enumerate(dir / "missing", "*").empty());
}

TEST_P(Files, SharingModesOfOpenHandles) {
  TempFolder dir;
  const std::string path = dir / "volume.dat";
  ASSERT_TRUE(WriteFileBytes(path, "data"));
  {
    auto exclusive = files().Open(path, platform::OpenMode::ReadExclusive, nullptr);
    ASSERT_TRUE(exclusive);
    std::string error;
    EXPECT_FALSE(files().Open(path, platform::OpenMode::ReadShareRead, &error));
    EXPECT_FALSE(error.empty());
  }
  {
    auto reader = files().Open(path, platform::OpenMode::ReadShareRead, nullptr);
    ASSERT_TRUE(reader);
    auto second = files().Open(path, platform::OpenMode::ReadShareRead, nullptr);
    EXPECT_TRUE(second);
    EXPECT_FALSE(files().Open(path, platform::OpenMode::Create, nullptr));
    // A file in use cannot be deleted or moved away.
    EXPECT_FALSE(files().DeleteFile(path));
    EXPECT_FALSE(files().MoveFile(path, dir / "elsewhere.dat"));
  }
  EXPECT_TRUE(files().DeleteFile(path));
}

TEST_P(Files, CreateEmptiesAnExistingFile) {
  TempFolder dir;
  ASSERT_TRUE(WriteFileBytes(dir / "f", "long old contents"));
  ASSERT_TRUE(WriteFileBytes(dir / "f", "new"));
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(dir / "f", bytes));
  EXPECT_EQ(bytes, "new");
}

// A created file's handle reads back what it wrote, at the positions and
// with the size its own writes and seeks made.
TEST_P(Files, CreatedHandleKeepsPositionAndSizeOfItsWrites) {
  TempFolder dir;
  auto f = files().Open(dir / "h.bin", platform::OpenMode::Create, nullptr);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Write("0123456789", 10), 10);
  EXPECT_EQ(f->Size(), 10);
  EXPECT_EQ(f->Seek(-4, platform::SeekOrigin::End), 6);
  EXPECT_EQ(f->Write("XY", 2), 2);
  EXPECT_EQ(f->Seek(0, platform::SeekOrigin::Current), 8);
  EXPECT_EQ(f->Size(), 10);
  EXPECT_EQ(f->Seek(12, platform::SeekOrigin::Begin), 12);
  EXPECT_EQ(f->Write("Z", 1), 1);
  EXPECT_EQ(f->Size(), 13);
  char buf[16] = {};
  EXPECT_EQ(f->Seek(0, platform::SeekOrigin::Begin), 0);
  EXPECT_EQ(f->Read(buf, 16), 13);
  EXPECT_EQ(std::string(buf, 13), std::string("012345XY89\0\0Z", 13));
}

TEST_P(Files, NamesWithCharactersWindowsForbidsAreRefused) {
  TempFolder dir;
  // (":" too natively; on NTFS and under Wine "a:b" names a stream of "a".)
  for (const char* name : {"a*b", "a?b", "a|b", "a<b", "a>b", "a\"b"}) {
    std::string error;
    EXPECT_FALSE(files().Open(dir / name, platform::OpenMode::Create, &error)) << name;
    EXPECT_FALSE(error.empty()) << name;
    EXPECT_FALSE(files().CreateDir(dir / name)) << name;
  }
  EXPECT_TRUE(files().Enumerate(dir.Path(), "*").empty());
}

TEST_P(Files, TempDirExistsWithoutTrailingBackslash) {
  const std::string temp = files().TempDir();
  ASSERT_FALSE(temp.empty());
  EXPECT_NE(temp.back(), '\\');
  EXPECT_TRUE(files().DirectoryExists(temp));
}

}  // namespace
