// Files through the platform seam: the same tests run natively (posix) and
// under Wine (win32).
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/cp1251.h"
#include "tests/common/test_paths.h"

namespace {

using platform::files;
using testing_support::ReadFileBytes;
using testing_support::TempFolder;
using testing_support::WriteFileBytes;

TEST(Files, WrittenBytesReadBackAndSizeAndSeek) {
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

TEST(Files, MissingFileGivesErrorText) {
  TempFolder dir;
  std::string error;
  EXPECT_FALSE(files().Open(dir / "missing.txt", platform::OpenMode::ReadShareRead, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(files().FileExists(dir / "missing.txt"));
}

TEST(Files, CyrillicNamesRoundTripThroughEnumerate) {
  TempFolder dir;
  const std::string name = support::Cp1251("Учебник Ёлки.txt");
  ASSERT_TRUE(WriteFileBytes(dir / name, "x"));
  auto found = files().Enumerate(dir.Path(), "*.txt");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].name, name);
  EXPECT_TRUE(files().FileExists(dir / support::Cp1251("учебник ёлки.TXT")));
}

}  // namespace
