// Installation runs over hostile archives, through the same copy pass that
// setup.exe runs (natively and, as a Win32 exe, under Wine): names that try
// to leave the install folder or name devices stay inside it; an archive
// whose members share data, or that is cut short, ends in the rollback with
// its message and leaves no product file behind.
#include <gtest/gtest.h>

#include "tests/installer/run_fixture.h"

namespace run_test {
namespace {

std::string Abort() {
  return A(
      "Ошибка при чтении данных. Вероятно, испорчен файл setup.dat.\r\n"
      "Продолжение установки невозможно.");
}

uint32_t Get32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
         uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

void Put32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = char(v >> (8 * i));
}

class HostileRunTest : public RunTest {
 protected:
  // Every file below the test's root that is not in one of the folders a run
  // may write to.
  std::vector<std::string> FilesOutsideTheRunsFolders() const {
    std::vector<std::string> outside;
    Walk(root_->Path(), outside);
    return outside;
  }
  void Walk(const std::string& folder, std::vector<std::string>& outside) const {
    for (const auto& f : platform::files().Enumerate(folder, "*.*")) {
      if (f.name == "." || f.name == "..") continue;
      const std::string path = folder + "\\" + f.name;
      if (path == Install() || path == dist_ || path == systemDir_ || path == programsDir_ ||
          path == desktopDir_)
        continue;
      if (f.attributes & platform::kAttrDirectory)
        Walk(path, outside);
      else
        outside.push_back(path);
    }
  }
};

TEST_F(HostileRunTest, NamesThatClimbOrNameDevicesAreInstalledInsideTheFolder) {
  Prepare();
  Write(Sys("sysvanta.exe"), "uninstaller");
  std::vector<ArchiveMember> members = {{"../../../up.txt", "1"},
                                        {"a\\..\\..\\side.txt", "2"},
                                        {"C:/drive.txt", "3"},
                                        {"\\lead.txt", "4"},
                                        {"CON", "5"},
                                        {"MENTORIX/nul.txt", "6"}};
  for (const auto& m : ProductMembers()) members.push_back(m);
  WriteVolume(1, members);
  ui_.ExpectMessage(platform::kButtonOk, A("успешно завершена"));
  Run();

  EXPECT_TRUE(copier_->Finished);
  EXPECT_EQ(Read(Install("up.txt")), "1");
  EXPECT_EQ(Read(Install("a\\side.txt")), "2");  // ".." is dropped, not followed
  EXPECT_EQ(Read(Install("drive.txt")), "3");
  EXPECT_EQ(Read(Install("lead.txt")), "4");
  EXPECT_EQ(Read(Install("_CON")), "5");
  EXPECT_EQ(Read(Install("MENTORIX\\_nul.txt")), "6");
  EXPECT_EQ(FilesOutsideTheRunsFolders(), std::vector<std::string>{});
}

TEST_F(HostileRunTest, MembersSharingDataRollBack) {
  Prepare();
  std::string bytes = BuildArchive(ProductMembers(), installer::ArchivePassword());
  // The first member's directory entry claims everything up to the directory.
  const size_t end = bytes.rfind(std::string("PK\x05\x06", 4));
  const size_t central = Get32(bytes, end + 16);
  const uint32_t nameLength = uint8_t(bytes[central + 28]) | uint8_t(bytes[central + 29]) << 8;
  const uint32_t span = uint32_t(central) - 30 - nameLength;
  Put32(bytes, central + 20, span);
  Put32(bytes, central + 24, span - 12);
  Write(dist_ + "\\setup.dat", bytes);
  ui_.ExpectMessage(platform::kButtonOk, Abort());
  Run();

  EXPECT_FALSE(copier_->Finished);
  for (const auto& m : ProductMembers()) {
    std::string rel = m.name;
    for (char& c : rel)
      if (c == '/') c = '\\';
    EXPECT_FALSE(files_->FileExists(Install(rel))) << rel;
  }
  EXPECT_FALSE(files_->DirectoryExists(Install("TEMP")));
}

TEST_F(HostileRunTest, ArchiveCutShortRollsBack) {
  Prepare();
  const std::string bytes = BuildArchive(ProductMembers(), installer::ArchivePassword());
  Write(dist_ + "\\setup.dat", bytes.substr(0, bytes.size() / 2));
  ui_.ExpectMessage(platform::kButtonOk, Abort());
  Run();

  EXPECT_FALSE(copier_->Finished);
  EXPECT_FALSE(files_->FileExists(Install("Lectorn.exe")));
  EXPECT_EQ(FilesOutsideTheRunsFolders(), std::vector<std::string>{});
}

}  // namespace
}  // namespace run_test
