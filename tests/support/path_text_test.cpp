// Path and blank helpers: where a path splits and which bytes count as blanks.
#include "support/path_text.h"

#include <gtest/gtest.h>

namespace {

TEST(PathText, SplitsAtTheLastBackslashOnly) {
  struct Case {
    const char* path;
    const char* folder;
    const char* name;
  };
  const Case cases[] = {
      {"E:\\dist\\setup.exe", "E:\\dist", "setup.exe"},
      {"E:\\setup.exe", "E:", "setup.exe"},
      {"setup.exe", "", "setup.exe"},
      // A colon inside a stored name is part of the name.
      {"C:\\inst\\dir\\ab:c.txt", "C:\\inst\\dir", "ab:c.txt"},
      {"C:\\inst\\", "C:\\inst", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(support::FolderOf(c.path), c.folder) << c.path;
    EXPECT_EQ(support::FileNameOf(c.path), c.name) << c.path;
  }
}

TEST(PathText, TrimDropsControlCharactersTrimBlanksOnlySpacesAndTabs) {
  EXPECT_EQ(support::Trim(" \t\r\x01 a b \n\x1f"), "a b");
  EXPECT_EQ(support::TrimBlanks(" \t\r a b \n\t "), "\r a b \n");
  EXPECT_EQ(support::Trim("\xC0 "), "\xC0");  // a Cyrillic letter is no blank
  EXPECT_EQ(support::TrimBlanks(""), "");
}

}  // namespace
