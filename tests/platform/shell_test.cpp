#include <gtest/gtest.h>

#include <cstring>

#include "platform/platform.h"
#include "support/cp1251.h"
#include "tests/common/test_paths.h"
#ifndef _WIN32
#include "platform/posix/posix.h"
#endif

namespace {

using platform::ResourceStatus;
using platform::shell;
using testing_support::TempFolder;

// The message table is a resource of the test exe itself under Windows and
// linked-in data natively; it is found whatever the letter case of its names.
TEST(Shell, MessageTableResourceIsFoundWithoutRegardToCase) {
  for (const auto& [type, name] :
       {std::pair{"S_StringTable", "S_Stream"}, std::pair{"S_STRINGTABLE", "S_STREAM"},
        std::pair{"s_stringtable", "s_stream"}}) {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(shell().FindResource(type, name, data, size), ResourceStatus::Ok)
        << type << " " << name;
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(size, 180u);
    // Records of (number: 16 bits, length: 8 bits, text) up to a number 0 in the last two bytes.
    uint32_t at = 0;
    while (at + 2 <= size && (data[at] | data[at + 1]) != 0) at += 3 + data[at + 2];
    EXPECT_EQ(at, size - 2);
  }
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  EXPECT_EQ(shell().FindResource("S_StringTable", "S_Missing", data, size),
            ResourceStatus::NotFound);
  EXPECT_EQ(shell().FindResource("OtherType", "S_Stream", data, size), ResourceStatus::NotFound);
}

TEST(Shell, StringTableMessagesOfTheResourceReader) {
  EXPECT_EQ(shell().LoadString(4288), "Cannot load string resource");
  EXPECT_EQ(shell().LoadString(4289), "Cannot lock string resource");
  EXPECT_EQ(shell().LoadString(4290), "No such string resource: %s");
  EXPECT_EQ(shell().LoadString(4291), "");
}

TEST(Shell, SystemFoldersExist) {
  auto& files = platform::files();
  const std::string exe = shell().ExePath();
  ASSERT_GT(exe.size(), 4u);
  EXPECT_EQ(platform::text().LowerCase(exe.substr(exe.size() - 4)), ".exe");
  EXPECT_TRUE(files.DirectoryExists(shell().SystemDir()));
  for (auto folder : {platform::SpecialFolder::Programs, platform::SpecialFolder::Desktop}) {
    const std::string path = shell().SpecialFolderPath(folder);
    EXPECT_FALSE(path.empty());
    EXPECT_TRUE(files.DirectoryExists(path)) << path;
  }
}

TEST(Shell, ShellLinkIsSavedAtItsPath) {
  TempFolder dir;
  platform::ShellLink link;
  link.target = shell().ExePath();
  link.arguments = "/a";
  link.workingDir = dir.Path();
  const std::string linkPath = dir / support::Cp1251("Ментор.lnk");
  ASSERT_TRUE(shell().CreateShellLink(link, linkPath));
  EXPECT_TRUE(platform::files().FileExists(linkPath));
  // Saving again overwrites; a link in a missing folder fails.
  EXPECT_TRUE(shell().CreateShellLink(link, linkPath));
  EXPECT_FALSE(shell().CreateShellLink(link, dir / "missing\\x.lnk"));
}

TEST(Shell, FixedDriveOfTheSystem) {
  const std::string system = shell().SystemDir();
  ASSERT_GE(system.size(), 3u);
  EXPECT_EQ(shell().GetDriveType(system.substr(0, 3)), platform::DriveType::Fixed);
  std::string label;
  EXPECT_TRUE(shell().GetVolumeLabel(system.substr(0, 3), label));
}

#ifndef _WIN32
TEST(PosixShell, RecordsLinksAndProgramsAndServesSettings) {
  platform::posix::ResetShell();
  TempFolder dir;
  platform::ShellLink link;
  link.target = "C:\\Volmar\\vm.exe";
  ASSERT_TRUE(shell().CreateShellLink(link, dir / "a.lnk"));
  platform::posix::faults().shellLinkFails = true;
  EXPECT_FALSE(shell().CreateShellLink(link, dir / "b.lnk"));
  platform::posix::faults().shellLinkFails = false;
  EXPECT_FALSE(platform::files().FileExists(dir / "b.lnk"));
  const auto links = platform::posix::RecordedLinks();
  ASSERT_EQ(links.size(), 1u);
  EXPECT_EQ(links[0].linkPath, dir / "a.lnk");
  EXPECT_EQ(links[0].link.target, "C:\\Volmar\\vm.exe");

  ASSERT_TRUE(testing_support::WriteFileBytes(dir / "after.exe", "MZ"));
  platform::ExecuteRequest run;
  run.file = "after.exe";
  run.directory = dir.Path();
  run.parameters = "-x";
  EXPECT_TRUE(shell().Execute(run));
  run.file = "missing.exe";
  EXPECT_FALSE(shell().Execute(run));
  const auto runs = platform::posix::RecordedExecutions();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].file, "after.exe");
  EXPECT_EQ(runs[0].parameters, "-x");

  platform::posix::SetDriveType("a:\\setup.dat", platform::DriveType::Removable);
  EXPECT_EQ(shell().GetDriveType("A:\\"), platform::DriveType::Removable);
  platform::posix::SetVolumeLabel("A:\\", "DISK2");
  std::string label;
  EXPECT_TRUE(shell().GetVolumeLabel("a:\\", label));
  EXPECT_EQ(label, "DISK2");
  platform::posix::SetVolumeLabel("A:\\", "", true);
  EXPECT_FALSE(shell().GetVolumeLabel("A:\\", label));

  platform::posix::SetExePath("E:\\Dist\\SETUP.EXE");
  EXPECT_EQ(shell().ExePath(), "E:\\Dist\\SETUP.EXE");
  platform::posix::SetSpecialFolder(platform::SpecialFolder::Desktop, "");
  EXPECT_EQ(shell().SpecialFolderPath(platform::SpecialFolder::Desktop), "");
  platform::posix::ResetShell();
  EXPECT_TRUE(platform::posix::RecordedLinks().empty());
  EXPECT_NE(shell().ExePath(), "E:\\Dist\\SETUP.EXE");
}

TEST(PosixShell, ResourceFailuresCanBeSimulated) {
  for (auto status :
       {ResourceStatus::NotFound, ResourceStatus::LoadFailed, ResourceStatus::LockFailed}) {
    platform::posix::faults().resourceStatus = status;
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(shell().FindResource("S_StringTable", "S_Stream", data, size), status);
  }
  platform::posix::faults().resourceStatus = ResourceStatus::Ok;
}
#endif

}  // namespace
