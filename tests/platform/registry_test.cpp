#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/cp1251.h"
#ifndef _WIN32
#include "platform/posix/posix.h"
#endif

namespace {

using platform::registry;
using platform::RootKey;

const char* kBase = "Software\\MentorixPlatformTest";

TEST(Registry, DefaultValuesWrittenWithParentsReadBackWithoutRegardToCase) {
  const std::string key = std::string(kBase) + "\\.mtx\\shell\\open\\command";
  const std::string value = support::Cp1251("\"C:\\Программы\\vm.exe\" \"%1\"");
  ASSERT_TRUE(registry().WriteDefault(RootKey::CurrentUser, key, value));
  std::string back;
  ASSERT_TRUE(registry().ReadString(RootKey::CurrentUser,
                                    "SOFTWARE\\mentorixplatformtest\\.MTX\\Shell\\Open\\Command",
                                    "", back));
  EXPECT_EQ(back, value);
  EXPECT_TRUE(registry().KeyExists(RootKey::CurrentUser, std::string(kBase) + "\\.mtx\\shell"));
  EXPECT_TRUE(registry().OpenKey(RootKey::CurrentUser, std::string(kBase) + "\\.mtx",
                                 platform::kKeyAllAccess));
  // Overwriting replaces the value.
  ASSERT_TRUE(registry().WriteDefault(RootKey::CurrentUser, key, "second"));
  ASSERT_TRUE(registry().ReadString(RootKey::CurrentUser, key, "", back));
  EXPECT_EQ(back, "second");
}

TEST(Registry, MissingKeysAndValuesAreReported) {
  std::string value = "unchanged";
  EXPECT_FALSE(registry().KeyExists(RootKey::CurrentUser, std::string(kBase) + "\\NoSuchKey"));
  EXPECT_FALSE(
      registry().ReadString(RootKey::CurrentUser, std::string(kBase) + "\\NoSuchKey", "", value));
  ASSERT_TRUE(registry().WriteDefault(RootKey::CurrentUser, std::string(kBase) + "\\Only", "x"));
  EXPECT_FALSE(
      registry().ReadString(RootKey::CurrentUser, std::string(kBase) + "\\Only", "NoValue", value));
  EXPECT_EQ(value, "unchanged");
}

TEST(Registry, LeadingBackslashIsRelativeToTheRoot) {
  ASSERT_TRUE(registry().WriteDefault(RootKey::CurrentUser, std::string(kBase) + "\\Lead", "y"));
  std::string back;
  EXPECT_TRUE(
      registry().ReadString(RootKey::CurrentUser, "\\" + std::string(kBase) + "\\Lead", "", back));
  EXPECT_EQ(back, "y");
}

// A rollback puts keys back as they were: a value of any type returns byte
// for byte, and only keys without sub-keys are deleted.
TEST(Registry, ValuesOfAnyTypeRoundTripAndKeysWithSubKeysStay) {
  const std::string key = std::string(kBase) + "\\Raw";
  const platform::RegistryValue dword{4, std::string("\x01\x02\x00\x04", 4)};  // REG_DWORD
  ASSERT_TRUE(registry().WriteValue(RootKey::CurrentUser, key, "", dword));
  ASSERT_TRUE(registry().WriteDefault(RootKey::CurrentUser, key + "\\Sub", "s"));
  platform::RegistryValue back;
  ASSERT_TRUE(registry().ReadValue(RootKey::CurrentUser, key, "", back));
  EXPECT_EQ(back.type, 4u);
  EXPECT_EQ(back.data, dword.data);
  ASSERT_TRUE(registry().ReadValue(RootKey::CurrentUser, key + "\\Sub", "", back));
  EXPECT_EQ(back.type, platform::kRegString);
  EXPECT_EQ(back.data, std::string("s\0", 2));

  EXPECT_FALSE(registry().DeleteKey(RootKey::CurrentUser, key));  // it has a sub-key
  EXPECT_TRUE(registry().DeleteValue(RootKey::CurrentUser, key, ""));
  EXPECT_FALSE(registry().ReadValue(RootKey::CurrentUser, key, "", back));
  EXPECT_TRUE(registry().DeleteKey(RootKey::CurrentUser, key + "\\Sub"));
  EXPECT_TRUE(registry().DeleteKey(RootKey::CurrentUser, key));
  EXPECT_FALSE(registry().KeyExists(RootKey::CurrentUser, key));
}

#ifndef _WIN32
TEST(PosixRegistry, ContentsCanBeInspectedSeededAndRefused) {
  platform::posix::ClearRegistry();
  platform::posix::SetRegistryString(RootKey::LocalMachine,
                                     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                                     "ProgramFilesDir", "C:\\Program Files");
  std::string value;
  ASSERT_TRUE(registry().ReadString(RootKey::LocalMachine,
                                    "\\Software\\Microsoft\\Windows\\CurrentVersion",
                                    "programfilesdir", value));
  EXPECT_EQ(value, "C:\\Program Files");
  EXPECT_FALSE(registry().KeyExists(RootKey::ClassesRoot, "SOFTWARE"));

  platform::posix::faults().registryReadOnly = true;
  EXPECT_FALSE(registry().WriteDefault(RootKey::ClassesRoot, ".mtx", "x"));
  EXPECT_FALSE(registry().OpenKey(RootKey::LocalMachine, "SOFTWARE", platform::kKeyAllAccess));
  EXPECT_TRUE(registry().OpenKey(RootKey::LocalMachine, "SOFTWARE", platform::kKeyRead));
  platform::posix::faults().registryReadOnly = false;

  ASSERT_TRUE(registry().WriteDefault(RootKey::ClassesRoot, ".mtx", "Mentorix.File"));
  const auto contents = platform::posix::RegistryContents();
  ASSERT_EQ(contents.size(), 2u);
  bool seen = false;
  for (const auto& e : contents) {
    if (e.root == RootKey::ClassesRoot) {
      EXPECT_EQ(e.key, ".mtx");
      EXPECT_EQ(e.name, "");
      EXPECT_EQ(e.value, "Mentorix.File");
      seen = true;
    }
  }
  EXPECT_TRUE(seen);
  platform::posix::ClearRegistry();
  EXPECT_TRUE(platform::posix::RegistryContents().empty());
}
#endif

}  // namespace
