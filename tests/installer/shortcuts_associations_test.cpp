// Association keys, the program group and the shortcut pass with the
// settings switches, as a whole run makes them.
#include <gtest/gtest.h>

#include "installer/associations.h"
#include "installer/inst_f3.h"
#include "installer/shortcuts.h"
#include "tests/installer/run_fixture.h"

namespace run_test {
namespace {

using installer::Profile;

class ShortcutsTest : public RunTest {
 protected:
  void RunClean(const installer::ProductDefinition& product = installer::ShippedProduct()) {
    Prepare(product);
    Profile().FinalMessage = false;
    WriteVolume(1, ProductMembers());
    Run();
  }
  std::vector<std::string> LinkPaths() const {
    std::vector<std::string> paths;
    for (const auto& l : shell_->links) paths.push_back(l.path);
    return paths;
  }
};

TEST_F(ShortcutsTest, AssociationKeysAsTheTableSays) {
  installer::RegisterAssociation("vlmgroup", "C:\\P", "Lectorn.exe", "Group file for Lectorn", 2);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {".vlmgroup", "vlmgroup"},
      {"vlmgroup", "Group file for Lectorn"},
      {"vlmgroup\\DefaultIcon", "C:\\P\\Lectorn.exe,2"},
      {"vlmgroup\\Shell", "Open"},
      {"vlmgroup\\Shell\\Open", "Open"},
      {"vlmgroup\\Shell\\Open\\command", "\"C:\\P\\Lectorn.exe\" \"%1\""},
  };
  ASSERT_EQ(registry_.writes.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(registry_.writes[i].root, platform::RootKey::ClassesRoot);
    EXPECT_EQ(registry_.writes[i].key, expected[i].first);
    EXPECT_EQ(registry_.writes[i].value, expected[i].second);
  }
}

TEST_F(ShortcutsTest, FailedRegistryWriteEndsOnlyThatAssociation) {
  registry_.failAtWrite = 2;  // the first association's DefaultIcon
  RunClean();
  ASSERT_EQ(registry_.writes.size(), 2u + 4 * 6);
  EXPECT_EQ(registry_.writes[1].key, "vlmgroup");
  EXPECT_EQ(registry_.writes[2].key, ".vmv");
  EXPECT_EQ(registry_.writes[2 + 2].value, Install("Variomat.exe") + ",1");
  EXPECT_EQ(registry_.writes.back().key, "vmt\\Shell\\Open\\command");
}

TEST_F(ShortcutsTest, UninstallShortcutsOnlyWithTheUninstaller) {
  RunClean();
  EXPECT_EQ(LinkPaths(),
            (std::vector<std::string>{Group() + "\\ZOLV Lectorn.lnk", Group() + "\\VX Variomat.lnk",
                                      Group() + "\\Mentorix Info.lnk"}));
  EXPECT_EQ(copier_->form["ProgressBar1"].position, 125);  // missing targets still count

  TearDown();
  SetUp();
  Write(Sys("sysvanta.exe"), "u");
  RunClean();
  ASSERT_EQ(shell_->links.size(), 5u);
  EXPECT_EQ(shell_->links[4].path, Group() + "\\Mentorix Uninstall.lnk");
  EXPECT_EQ(shell_->links[4].link.arguments, "\"" + LogPath() + "\"");
}

TEST_F(ShortcutsTest, StartMenuOffSkipsTheGroupAndItsRows) {
  Write(Sys("sysvanta.exe"), "u");
  Prepare();
  Profile().LinksStartMenu = false;
  WriteVolume(1, ProductMembers());
  ui_.ExpectMessage(platform::kButtonOk);
  Run();
  EXPECT_FALSE(files_->DirectoryExists(Group()));
  EXPECT_EQ(LinkPaths(), std::vector<std::string>{Install("UNINST\\MentorixUninstall.lnk")});
  EXPECT_EQ(copier_->form["ProgressBar1"].position, 105);
  EXPECT_EQ(ui_.Shown()[0].text, A("Установка комплекса Mentorix успешно завершена."));
}

TEST_F(ShortcutsTest, DesktopOffSkipsOnlyRowsOnTheDesktop) {
  installer::ProductDefinition product = installer::ShippedProduct();
  product.Shortcuts.push_back({"%InstallDir%\\Lectorn.exe", "", "%InstallDir%", "", "On desktop"});
  product.Shortcuts.push_back(
      {"%InstallDir%\\Lectorn.exe", "", "%InstallDir%", "%InstallDir%", "In folder"});
  Prepare(product);
  auto& p = Profile();
  p.Shortcuts[5].LinkDir = installer::UpperAscii(desktopDir_);  // another letter case
  p.LinksDesktop = false;
  p.FinalMessage = false;
  WriteVolume(1, ProductMembers());
  Run();
  EXPECT_EQ(LinkPaths(),
            (std::vector<std::string>{Group() + "\\ZOLV Lectorn.lnk", Group() + "\\VX Variomat.lnk",
                                      Group() + "\\Mentorix Info.lnk", Install("In folder.lnk")}));
  EXPECT_EQ(copier_->form["ProgressBar1"].maximum, 100 + 7 * 5);
  EXPECT_EQ(copier_->form["ProgressBar1"].position, 100 + 6 * 5);
}

TEST_F(ShortcutsTest, FailedShortcutsAndMissingLinkFolders) {
  installer::ProductDefinition product = installer::ShippedProduct();
  product.Shortcuts.push_back(
      {"%InstallDir%\\Lectorn.exe", "-x", "%InstallDir%", "%InstallDir%\\nowhere", "Lost"});
  Prepare(product);
  WriteVolume(1, ProductMembers());
  ui_.ExpectMessage(platform::kButtonOk);
  Run();
  const std::string report =
      A("Установка комплекса Mentorix завершена.\r\n"
        "Ярлыки комплекса Mentorix помещены в группу \"Mentorix for Volmar\" раздела "
        "\"Программы\" меню \"Пуск\".\r\n"
        "Не удалось создать следующие ярлыки: \r\n\"") +
      Install("nowhere\\Lost") +
      A("\".\r\nИз-за указанных проблем комплекс Mentorix может работать не вполне корректно.\r\n"
        "Рекомендуется перезагрузить компьютер и повторно выполнить установку комплекса "
        "Mentorix.");
  EXPECT_EQ(ui_.Shown()[0].text, report);
}

TEST_F(ShortcutsTest, GroupThatCannotBeMadeReplacesTheShortcutLines) {
  Prepare();
  Write(Group(), "a file where the group should be");
  WriteVolume(1, ProductMembers());
  ui_.ExpectMessage(platform::kButtonOk);
  Run();
  const std::string report =
      A("Установка комплекса Mentorix завершена.\r\n"
        "Не удалось создать программную группу \"Mentorix for Volmar\".\r\n"
        "Из-за указанных проблем комплекс Mentorix может работать не вполне корректно.\r\n"
        "Рекомендуется перезагрузить компьютер и повторно выполнить установку комплекса "
        "Mentorix.");
  EXPECT_EQ(ui_.Shown()[0].text, report);
  EXPECT_FALSE(copier_->FailedShortcuts.empty());
  EXPECT_TRUE(shell_->links.empty());
}

TEST_F(ShortcutsTest, LinkPathIsCutTo199Characters) {
  EXPECT_EQ(installer::SavedLinkPath(std::string(250, 'a')), std::string(199, 'a'));
  EXPECT_EQ(installer::SavedLinkPath("C:\\x.lnk"), "C:\\x.lnk");
  installer::ProductDefinition product = installer::ShippedProduct();
  const std::string longName(200, 'n');
  product.Shortcuts = {{"%InstallDir%\\Lectorn.exe", "", "%InstallDir%", "%InstallDir%", longName}};
  Prepare(product);
  Profile().FinalMessage = false;
  WriteVolume(1, ProductMembers());
  Run();
  ASSERT_EQ(shell_->links.size(), 1u);
  const std::string saved = (Install() + "\\" + longName + ".lnk").substr(0, 199);
  EXPECT_EQ(shell_->links[0].path, saved);
  EXPECT_NE(Read(LogPath()).find("\r\n" + saved + "\r\n"), std::string::npos);
}

}  // namespace
}  // namespace run_test
