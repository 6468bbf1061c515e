// The installation run from the copy window's activation to the end of the
// program: macro expansion, a clean install, progress, volumes and rollback.
#include <gtest/gtest.h>

#include <algorithm>

#include "installer/inst_f3.h"
#include "tests/installer/run_fixture.h"

namespace run_test {
namespace {

using installer::Profile;

std::string Header() {
  return A(
      "Удаление Mentorix for ZOLV|Удалить комплекс Mentorix и связанные с ним компоненты?|"
      "Комплекс Mentorix полностью удален.|"
      "Комплекс Mentorix удален, за исключением следующих файлов:|");
}

std::string SuccessReport() {
  return A(
      "Установка комплекса Mentorix успешно завершена.\r\n"
      "Ярлыки комплекса Mentorix помещены в группу \"Mentorix for Volmar\" раздела "
      "\"Программы\" меню \"Пуск\".");
}

std::string AbortText(const std::string& file) {
  return A("Ошибка при чтении данных. Вероятно, испорчен файл ") + file + ".\r\n" +
         A("Продолжение установки невозможно.");
}

class CopyPassTest : public RunTest {};

struct MacroCase {
  const char* text;
  const char* installDir;
  const char* startDir;
  const char* expected;
};

TEST(MacroExpansion, InstallDirAndStartDir) {
  const MacroCase cases[] = {
      {"%InstallDir%\\a.exe", "C:\\P", "D:\\dist", "C:\\P\\a.exe"},
      {"%installdir%\\x;%INSTALLDIR%", "C:\\P", "D:", "C:\\P\\x;C:\\P"},
      {"no macro", "C:\\P", "D:", "no macro"},
      {"%InstallDir%", "C:\\%InstallDir%", "D:", "C:\\%InstallDir%"},  // inserted text stays
      {"%STARTDIR%readme", "C:\\P", "E:", "E:\\readme"},               // a drive root
      {"%startdir%\\setup.ini", "C:\\P", "D:\\dist", "D:\\dist\\setup.ini"},
  };
  for (const auto& c : cases) {
    installer::ResetProfile();
    Profile().InstallDir = c.installDir;
    Profile().StartDir = c.startDir;
    EXPECT_EQ(installer::ExpandStartDir(installer::ExpandInstallDir(c.text)), c.expected) << c.text;
  }
  installer::ResetProfile();
}

TEST_F(CopyPassTest, CleanInstallPlacesRegistersLinksLogsAndReports) {
  Prepare();
  Write(Sys("sysvanta.exe"), "uninstaller");
  WriteVolume(1, ProductMembers());
  ui_.ExpectMessage(platform::kButtonOk, SuccessReport());
  Run();

  ASSERT_EQ(BoxTexts(), std::vector<std::string>{SuccessReport()});
  EXPECT_EQ(ui_.Shown()[0].kind, platform::MessageKind::Information);
  EXPECT_EQ(ui_.Shown()[0].buttons, unsigned(platform::kButtonOk));
  EXPECT_EQ(Read(Install("Lectorn.exe")), "lectorn v2");
  EXPECT_EQ(Read(Install("MENTORIX\\doc\\intro.txt")), "intro");
  uint32_t stamp = 0;
  ASSERT_TRUE(files_->GetDosTime(Install("Variomat.exe"), stamp));
  EXPECT_EQ(stamp, 0x5A8C6000u);
  EXPECT_FALSE(files_->DirectoryExists(Install("TEMP")));

  const std::string g = Group();
  const std::string log =
      Header() + "\r\n" + Install("MENTORIX\\a") + "\r\n" + Install("Variomat.ini") + "\r\n" +
      Install("Lectorn.exe") + "\r\n" + Install("Variomat.exe") + "\r\n" +
      Install("MentorixHelp.chm") + "\r\n" + Install("MENTORIX\\doc\\intro.txt") + "\r\n" + g +
      "\\ZOLV Lectorn.lnk\r\n" + g + "\\VX Variomat.lnk\r\n" + g + "\\Mentorix Info.lnk\r\n" +
      Install("UNINST\\MentorixUninstall.lnk") + "\r\n" + g + "\\Mentorix Uninstall.lnk\r\n";
  EXPECT_EQ(Read(LogPath()), log);

  ASSERT_EQ(shell_->links.size(), 5u);
  const auto& uninstall = shell_->links[3];
  EXPECT_EQ(uninstall.path, Install("UNINST\\MentorixUninstall.lnk"));
  EXPECT_EQ(uninstall.link.target, Sys("sysvanta.exe"));
  EXPECT_EQ(uninstall.link.arguments, "\"" + LogPath() + "\"");
  EXPECT_EQ(uninstall.link.workingDir, systemDir_);
  EXPECT_EQ(shell_->links[0].link.target, Install("Lectorn.exe"));
  EXPECT_EQ(shell_->links[0].link.workingDir, Install());
  EXPECT_TRUE(shell_->started.empty());

  EXPECT_EQ(registry_.writes.size(), 30u);
  auto& bar = copier_->form["ProgressBar1"];
  EXPECT_EQ(bar.maximum, 125);
  EXPECT_EQ(bar.position, 125);
  EXPECT_EQ(copier_->form["Label1"].caption, A("Установка Mentorix"));
  EXPECT_TRUE(copier_->Finished);
  EXPECT_FALSE(copier_->InstallList);
  EXPECT_TRUE(platform::App().terminated);
}

TEST_F(CopyPassTest, RunsOnceAndCannotBeClosed) {
  Prepare();
  Profile().FinalMessage = false;
  WriteVolume(1, ProductMembers());
  Run();
  EXPECT_TRUE(BoxTexts().empty());  // a clean run with FinalMessage=0 ends silently
  EXPECT_TRUE(platform::App().terminated);
  const std::string log = Read(LogPath());
  const size_t links = shell_->links.size();
  Run();  // a second activation does not start the run again
  EXPECT_EQ(shell_->links.size(), links);
  EXPECT_EQ(Read(LogPath()), log);
  EXPECT_FALSE(copier_->form.Close());
  bool canClose = true;
  copier_->FormCloseQuery(canClose);
  EXPECT_FALSE(canClose);
}

TEST_F(CopyPassTest, ParamsSettingReplacesTheProgramParameters) {
  struct Case {
    const char* setting;
    const char* profileParams;
    const char* expected;  // <D>: the distribution folder, <I>: the install folder
  };
  installer::ProductDefinition product = installer::ShippedProduct();
  product.PostInstallProgram = "%InstallDir%\\Lectorn.exe";
  product.PostInstallDir = "%installdir%";
  product.PostInstallNotice = "\r\nstarting";
  const Case cases[] = {
      {"  -s %STARTDIR%\\x.ini  ", "-p", "-s <D>\\x.ini"},
      {"   ", "/dir=%InstallDir%", "/dir=<I>"},  // blank counts as empty
      {"%INSTALLDIR%", "", "<I>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    product.PostInstallParams = c.profileParams;
    TearDown();
    SetUp();
    Prepare(product);
    const std::string expected = installer::ReplaceMacro(
        installer::ReplaceMacro(c.expected, "<D>", dist_), "<I>", Install());
    Profile().SetupParams = c.setting;
    WriteVolume(1, ProductMembers());
    ui_.ExpectMessage(platform::kButtonOk, "starting");
    Run();
    EXPECT_EQ(Profile().PostInstallParams, expected);
    ASSERT_EQ(shell_->started.size(), 1u);
    EXPECT_EQ(shell_->started[0].file, Install("Lectorn.exe"));
    EXPECT_EQ(shell_->started[0].parameters, expected);
    EXPECT_EQ(shell_->started[0].directory, Install());
    EXPECT_EQ(shell_->started[0].showCommand, 5);
  }
}

TEST_F(CopyPassTest, PostInstallProgramOnlyWithRunAndNoProblems) {
  installer::ProductDefinition product = installer::ShippedProduct();
  product.PostInstallProgram = "%InstallDir%\\Lectorn.exe";
  product.PostInstallNotice = A("\r\nСейчас будет запущена программа настройки.");
  Prepare(product);
  Profile().SetupRun = false;
  WriteVolume(1, ProductMembers());
  ui_.ExpectMessage(platform::kButtonOk);
  Run();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{SuccessReport()});
  EXPECT_TRUE(shell_->started.empty());

  TearDown();
  SetUp();
  Prepare(product);
  WriteVolume(1, ProductMembers());
  ui_.ExpectMessage(platform::kButtonOk);
  Run();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{SuccessReport() + product.PostInstallNotice});
  EXPECT_EQ(shell_->started.size(), 1u);
}

TEST_F(CopyPassTest, ProgressFollowsVolumesAndShortcutRows) {
  installer::ProductDefinition product = installer::ShippedProduct();
  product.VolumeCount = 3;
  Prepare(product);
  WriteVolume(1, {{"a.txt", std::string(1000, 'a')}});
  WriteVolume(2, {{"b.txt", "b"}});
  WriteVolume(3, ProductMembers());
  std::vector<int> positions;
  copier_->UnZipper1.OnTotalPercentDone = [&](archive::TUnZipper* s, int percent) {
    copier_->UnZipper1TotalPercentDone(s, percent);
    positions.push_back(copier_->form["ProgressBar1"].position);
  };
  ui_.ExpectMessage(platform::kButtonOk, A("успешно завершена."));
  Run();
  EXPECT_EQ(copier_->form["ProgressBar1"].maximum, 300 + 25);
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.back(), 300);
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_NE(std::find(positions.begin(), positions.end(), 100), positions.end());
  EXPECT_NE(std::find(positions.begin(), positions.end(), 200), positions.end());
  // Three program-group rows are made; both uninstall rows lack their target.
  EXPECT_EQ(copier_->form["ProgressBar1"].position, 300 + 25);
  EXPECT_EQ(Read(Install("a.txt")), std::string(1000, 'a'));
  EXPECT_EQ(Read(Install("b.txt")), "b");
}

TEST_F(CopyPassTest, DamagedLastMemberRollsBackWhatThisRunPlaced) {
  Prepare();
  Write(Install("Variomat.ini"), "user settings");  // an extra path of the log, already there
  Write(Install("Lectorn.ini"), "kept");            // a kept file, already there
  auto members = ProductMembers();
  members.insert(members.begin(), {"LECTORN.INI", "new ini"});
  members.push_back({"MENTORIX/deep/er/x.txt", "x"});
  // The damaged member is read-only: the staging folder still goes.
  members.push_back({"zz_last.txt", "last", 0x5A8C6000, true, platform::kAttrReadOnly});
  WriteVolume(1, members);
  ui_.ExpectMessage(platform::kButtonOk, AbortText("setup.dat"));
  Run();

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{AbortText("setup.dat")});
  EXPECT_EQ(ui_.Shown()[0].kind, platform::MessageKind::Error);
  EXPECT_TRUE(platform::App().terminated);
  EXPECT_FALSE(copier_->Finished);
  EXPECT_FALSE(copier_->InstallList);
  EXPECT_EQ(Read(Install("Variomat.ini")), "user settings");
  EXPECT_EQ(Read(Install("Lectorn.ini")), "kept");
  for (const char* gone : {"Lectorn.exe", "Variomat.exe", "MentorixHelp.chm", "TEMP", "MENTORIX"})
    EXPECT_FALSE(files_->FileExists(Install(gone)) || files_->DirectoryExists(Install(gone)))
        << gone;
  EXPECT_TRUE(files_->DirectoryExists(Install("UNINST")));
  EXPECT_FALSE(files_->FileExists(LogPath()));
  EXPECT_TRUE(shell_->links.empty());
  EXPECT_TRUE(registry_.writes.empty());
}

TEST_F(CopyPassTest, DamagedSecondVolumeNamesItAndSkipsTheThird) {
  installer::ProductDefinition product = installer::ShippedProduct();
  product.VolumeCount = 3;
  Prepare(product);
  WriteVolume(1, {{"one.txt", "1"}});
  Write(dist_ + "\\setup.dat2", "this is not an archive");
  WriteVolume(3, ProductMembers());
  ui_.ExpectMessage(platform::kButtonOk, AbortText("setup.dat2"));
  Run();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{AbortText("setup.dat2")});
  for (const auto& path : files_->opened)
    EXPECT_EQ(path.find("SETUP.DAT3"), std::string::npos) << path;
  EXPECT_FALSE(files_->FileExists(Install("one.txt")));
  EXPECT_FALSE(files_->DirectoryExists(Install("TEMP")));
}

TEST_F(CopyPassTest, MissingVolumeAndFolderEntryAtTheEndRollBack) {
  installer::ProductDefinition product = installer::ShippedProduct();
  product.VolumeCount = 2;
  Prepare(product);
  WriteVolume(1, ProductMembers());
  ui_.ExpectMessage(platform::kButtonOk, AbortText("setup.dat2"));
  Run();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{AbortText("setup.dat2")});
  EXPECT_FALSE(files_->FileExists(Install("Lectorn.exe")));

  TearDown();
  SetUp();
  Prepare();
  auto members = ProductMembers();
  members.push_back({"zz_folder/", ""});
  WriteVolume(1, members);
  ui_.ExpectMessage(platform::kButtonOk, AbortText("setup.dat"));
  Run();
  EXPECT_FALSE(files_->FileExists(Install("Lectorn.exe")));
}

TEST_F(CopyPassTest, LogThatCannotBeWrittenRollsBackFilesAndLinks) {
  Prepare();
  files_->ForceDirectories(LogPath());  // a folder where the log should go
  WriteVolume(1, ProductMembers());
  ui_.ExpectMessage(platform::kButtonOk, A("Ошибка при записи файла \"") + LogPath() + "\".");
  Run();
  EXPECT_EQ(shell_->links.size(), 3u);
  for (const auto& link : shell_->links) EXPECT_FALSE(files_->FileExists(link.path)) << link.path;
  EXPECT_FALSE(files_->FileExists(Install("Lectorn.exe")));
  EXPECT_FALSE(copier_->Finished);
}

TEST_F(CopyPassTest, UninstallFolderThatCannotBeMadeEndsTheRun) {
  Prepare();
  Write(Install("UNINST"), "a file in the way");
  ui_.ExpectMessage(platform::kButtonOk);
  Run();
  ASSERT_EQ(BoxTexts().size(), 1u);
  EXPECT_EQ(BoxTexts()[0].find(A("Невозможно создать каталог \"") + Install("UNINST") + "\".\r\n"),
            0u);
  EXPECT_NE(BoxTexts()[0].find(A(".\r\nПродолжение установки невозможно.")), std::string::npos);
  EXPECT_EQ(copier_->Failure, installer::fkFileSystem);
  EXPECT_TRUE(platform::App().terminated);
  EXPECT_EQ(Read(Install("UNINST")), "a file in the way");
  EXPECT_FALSE(files_->DirectoryExists(Install("MENTORIX")));
}

// A folder TEMP that is not the run's own (the host's, or one that a killed
// run left) is neither used nor emptied: the run stages into a new folder.
TEST_F(CopyPassTest, StagingFolderIsAlwaysTheRunsOwn) {
  Prepare();
  Profile().FinalMessage = false;
  Write(Install("TEMP\\host.txt"), "the host's own");
  Write(Install("TEMP\\Lectorn.exe"), "left by a killed run");
  files_->ForceDirectories(Install("TEMP2"));
  WriteVolume(1, ProductMembers());
  Run();
  EXPECT_TRUE(copier_->Finished);
  EXPECT_EQ(copier_->StagingDir, Install("TEMP3"));
  EXPECT_EQ(Read(Install("TEMP\\host.txt")), "the host's own");
  EXPECT_EQ(Read(Install("TEMP\\Lectorn.exe")), "left by a killed run");
  EXPECT_TRUE(files_->DirectoryExists(Install("TEMP2")));
  EXPECT_FALSE(files_->DirectoryExists(Install("TEMP3")));
  EXPECT_EQ(Read(Install("Lectorn.exe")), "lectorn v2");
}

TEST_F(CopyPassTest, SelfCopyIsPlacedAndLogged) {
  installer::ProductDefinition product = installer::ShippedProduct();
  product.SelfCopyName = "setup.exe";
  Prepare(product);
  Write(dist_ + "\\setup.exe", "the installer");
  files_->SetAttributes(dist_ + "\\setup.exe", platform::kAttrReadOnly);
  WriteVolume(1, ProductMembers());
  ui_.ExpectMessage(platform::kButtonOk);
  Run();
  EXPECT_EQ(Read(Install("setup.exe")), "the installer");
  EXPECT_EQ(files_->GetAttributes(Install("setup.exe")) & platform::kAttrReadOnly, 0u);
  EXPECT_NE(Read(LogPath()).find(Install("setup.exe") + "\r\n"), std::string::npos);
  files_->SetAttributes(dist_ + "\\setup.exe", platform::kAttrNormal);
}

}  // namespace
// Where each member's file is made: in its place when its folder is one the
// run made, or else in the staging folder, to be moved there afterwards.
TEST_F(CopyPassTest, MembersOfFoldersTheRunMadeAreWrittenInPlace) {
  struct Case {
    const char* name;
    std::vector<std::string> before;  // files there before the run
    std::vector<ArchiveMember> members;
    std::vector<std::string> inPlace, staged;                // members by where they were made
    std::vector<std::pair<std::string, std::string>> after;  // contents at the end
  };
  const Case cases[] = {
      {"a folder the run made",
       {},
       {{"NEW\\a.txt", "a"}},
       {"NEW\\a.txt"},
       {},
       {{"NEW\\a.txt", "a"}}},
      {"a folder that was there",
       {"OLD\\x.txt"},
       {{"OLD\\a.txt", "a"}},
       {},
       {"OLD\\a.txt"},
       {{"OLD\\a.txt", "a"}, {"OLD\\x.txt", "before"}}},
      {"the install folder itself", {}, {{"a.txt", "a"}}, {}, {"a.txt"}, {{"a.txt", "a"}}},
      {"a second member of one name",
       {},
       {{"NEW\\a.txt", "one"}, {"NEW\\A.TXT", "two"}},
       {"NEW\\a.txt"},
       {"NEW\\A.TXT"},
       {{"NEW\\a.txt", "two"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    Prepare();
    for (const std::string& file : c.before) Write(Install(file), "before");
    WriteVolume(1, c.members);
    ui_.ExpectMessage(platform::kButtonOk, SuccessReport());
    Run();
    EXPECT_TRUE(copier_->Finished);
    for (const std::string& name : c.inPlace) {
      EXPECT_EQ(std::count(files_->created.begin(), files_->created.end(),
                           installer::UpperAscii(Install(name))),
                1)
          << name;
    }
    for (const std::string& name : c.staged) {
      EXPECT_EQ(std::count(files_->created.begin(), files_->created.end(),
                           installer::UpperAscii(Install("TEMP\\" + name))),
                1)
          << name;
    }
    for (const auto& [name, bytes] : c.after) EXPECT_EQ(Read(Install(name)), bytes) << name;
  }
}

}  // namespace run_test
