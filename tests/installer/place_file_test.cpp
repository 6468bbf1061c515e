// Placement of single members: replaced, kept, system and excluded members,
// new folders, and the retry dialog for a file that cannot be deleted.
#include <gtest/gtest.h>

#include "installer/inst_f3.h"
#include "tests/installer/run_fixture.h"

namespace run_test {
namespace {

using installer::Profile;

std::string RetryText(const std::string& target) {
  return A("Ошибка при обновлении файла \"") + target +
         A("\". Возможно, прежняя версия файла используется в одном из работающих приложений. "
           "Закройте все приложения, кроме программы установки Mentorix, и повторите попытку "
           "обновления, нажав кнопку \"Повтор\".\r\nПри повторном возникновении ошибки нажмите "
           "кнопку \"Далее\".");
}

class PlaceFileTest : public RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    Prepare();
    files_->ForceDirectories(Install("TEMP"));
    copier_->StagingDir = Install("TEMP");
    copier_->InstallList = std::make_unique<std::vector<std::string>>(1, "header|");
  }
  void Stage(const std::string& name, const std::string& bytes, uint32_t dosTime = 0) {
    Write(Install("TEMP\\" + name), bytes);
    if (dosTime) files_->SetDosTime(Install("TEMP\\" + name), dosTime);
  }
  std::vector<std::string> Recorded() const {
    return {copier_->InstallList->begin() + 1, copier_->InstallList->end()};
  }
  std::vector<std::string> ProductDirs() const {
    return {Profile().ProductDirs.begin(),
            Profile().ProductDirs.begin() + Profile().ProductDirCount};
  }
};

TEST_F(PlaceFileTest, ReadOnlyFileIsReplacedWithoutAQuestion) {
  Write(Install("Lectorn.exe"), "old");
  files_->SetAttributes(Install("Lectorn.exe"), platform::kAttrReadOnly);
  Stage("Lectorn.exe", "new");
  copier_->PlaceFile("Lectorn.exe");
  EXPECT_EQ(Read(Install("Lectorn.exe")), "new");
  EXPECT_FALSE(files_->FileExists(Install("TEMP\\Lectorn.exe")));
  EXPECT_EQ(Recorded(), std::vector<std::string>{Install("Lectorn.exe")});
  EXPECT_TRUE(copier_->NotUpdatedFiles.empty());
}

TEST_F(PlaceFileTest, KeptFiles) {
  Write(Install("Lectorn.ini"), "user's");
  Stage("LECTORN.INI", "shipped");    // present: kept, still recorded
  Stage("variomat.ini", "shipped");   // absent: installed (names match in any case)
  Stage("sub\\Lectorn.ini", "deep");  // not at the root: an ordinary member
  Write(Install("sub\\Lectorn.ini"), "old deep");
  copier_->PlaceFile("LECTORN.INI");
  copier_->PlaceFile("variomat.ini");
  copier_->PlaceFile("sub\\Lectorn.ini");
  EXPECT_EQ(Read(Install("Lectorn.ini")), "user's");
  EXPECT_FALSE(files_->FileExists(Install("TEMP\\LECTORN.INI")));
  EXPECT_EQ(Read(Install("variomat.ini")), "shipped");
  EXPECT_EQ(Read(Install("sub\\Lectorn.ini")), "deep");
  EXPECT_EQ(Recorded(), (std::vector<std::string>{Install("LECTORN.INI"), Install("variomat.ini"),
                                                  Install("sub\\Lectorn.ini")}));
}

TEST_F(PlaceFileTest, SystemMembersOnlyWhenNewerAndNeverRecorded) {
  const uint32_t older = 0x4A8C6000, newer = 0x5A8C6000;
  Write(Sys("old.dll"), "installed old");
  files_->SetDosTime(Sys("old.dll"), older);
  Write(Sys("same.dll"), "installed same");
  files_->SetDosTime(Sys("same.dll"), newer);
  Stage("SYSTEM\\old.dll", "shipped", newer);
  Stage("system\\same.dll", "shipped", newer);
  Stage("System\\new\\fresh.dll", "shipped", older);
  for (const char* name : {"SYSTEM\\old.dll", "system\\same.dll", "System\\new\\fresh.dll"})
    copier_->PlaceFile(name);
  EXPECT_EQ(Read(Sys("old.dll")), "shipped");
  EXPECT_EQ(Read(Sys("same.dll")), "installed same");
  EXPECT_TRUE(files_->FileExists(Install("TEMP\\system\\same.dll")));  // left for the cleanup
  EXPECT_EQ(Read(Sys("new\\fresh.dll")), "shipped");
  EXPECT_TRUE(Recorded().empty());
  EXPECT_TRUE(copier_->NotUpdatedFiles.empty() && copier_->NotCreatedFiles.empty());
}

TEST_F(PlaceFileTest, ExcludedComponentsStayStaged) {
  Profile().ExcludedComponents->push_back("EXTRAS");
  Stage("extras\\a.txt", "a");
  Stage("Extras\\deep\\b.txt", "b");
  Stage("extras.txt", "root");  // a member at the root is never excluded
  Stage("other\\extras\\c.txt", "c");
  for (const char* name :
       {"extras\\a.txt", "Extras\\deep\\b.txt", "extras.txt", "other\\extras\\c.txt"})
    copier_->PlaceFile(name);
  EXPECT_FALSE(files_->DirectoryExists(Install("extras")));
  EXPECT_TRUE(files_->FileExists(Install("TEMP\\extras\\a.txt")));
  EXPECT_EQ(Recorded(),
            (std::vector<std::string>{Install("extras.txt"), Install("other\\extras\\c.txt")}));
}

TEST_F(PlaceFileTest, NewFoldersAreRecordedOnceInUpperCase) {
  const size_t before = ProductDirs().size();
  Stage("Docs\\a.txt", "a");
  Stage("docs\\b.txt", "b");
  Stage("Deep\\Er\\c.txt", "c");
  for (const char* name : {"Docs\\a.txt", "docs\\b.txt", "Deep\\Er\\c.txt"})
    copier_->PlaceFile(name);
  auto dirs = ProductDirs();
  ASSERT_EQ(dirs.size(), before + 2);
  EXPECT_EQ(dirs[before], installer::UpperAscii(Install("Docs")));
  EXPECT_EQ(dirs[before + 1], installer::UpperAscii(Install("Deep\\Er")));  // not its parent
  EXPECT_EQ(Read(Install("docs\\b.txt")), "b");
}

TEST_F(PlaceFileTest, FailedMovesGoToTheReportTexts) {
  Stage("a.txt", "a");
  Stage("Variomat.ini", "v");
  files_->moveFails = {installer::UpperAscii(Install("a.txt")),
                       installer::UpperAscii(Install("Variomat.ini"))};
  copier_->PlaceFile("a.txt");
  copier_->PlaceFile("Variomat.ini");
  copier_->PlaceFile("missing.txt");  // the staged file is not there
  EXPECT_EQ(copier_->NotUpdatedFiles,
            "\"" + Install("a.txt") + "\", \"" + Install("missing.txt") + "\", ");
  EXPECT_EQ(copier_->NotCreatedFiles, "\"" + Install("Variomat.ini") + "\", ");
  EXPECT_FALSE(files_->FileExists(Install("TEMP\\a.txt")));
  EXPECT_TRUE(Recorded().empty());
}

TEST_F(PlaceFileTest, RetryDialogUntilTheFileIsFree) {
  Write(Install("Variomat.exe"), "running");
  Stage("Variomat.exe", "new");
  files_->deleteFails[installer::UpperAscii(Install("Variomat.exe"))] = 2;
  ui_.ExpectMessage(platform::kButtonRetry, RetryText(Install("Variomat.exe")));
  ui_.ExpectMessage(platform::kButtonRetry, RetryText(Install("Variomat.exe")));
  copier_->PlaceFile("Variomat.exe");
  ASSERT_EQ(ui_.Shown().size(), 2u);
  EXPECT_EQ(ui_.Shown()[0].text, RetryText(Install("Variomat.exe")));
  EXPECT_EQ(ui_.Shown()[0].kind, platform::MessageKind::Warning);
  EXPECT_EQ(ui_.Shown()[0].buttons, unsigned(platform::kButtonRetry | platform::kButtonIgnore));
  EXPECT_EQ(Read(Install("Variomat.exe")), "new");
  EXPECT_EQ(Recorded(), std::vector<std::string>{Install("Variomat.exe")});
}

TEST_F(PlaceFileTest, GoingOnLeavesTheOldFileAndReportsIt) {
  Write(Install("Variomat.exe"), "running");
  Stage("Variomat.exe", "new");
  files_->deleteFails[installer::UpperAscii(Install("Variomat.exe"))] = -1;
  ui_.ExpectMessage(platform::kButtonIgnore, RetryText(Install("Variomat.exe")));
  copier_->PlaceFile("Variomat.exe");
  EXPECT_EQ(Read(Install("Variomat.exe")), "running");
  EXPECT_FALSE(files_->FileExists(Install("TEMP\\Variomat.exe")));
  EXPECT_EQ(copier_->NotUpdatedFiles, "\"" + Install("Variomat.exe") + "\", ");
  EXPECT_TRUE(Recorded().empty());
}

TEST_F(PlaceFileTest, HeldFileInAWholeRunIsReportedAndNothingIsStarted) {
  installer::ProductDefinition product = installer::ShippedProduct();
  product.PostInstallProgram = "%InstallDir%\\Lectorn.exe";
  product.PostInstallNotice = "\r\nnotice";
  Prepare(product);
  Profile().FinalMessage = false;  // problems are reported anyway
  Write(Install("Variomat.exe"), "running");
  files_->deleteFails[installer::UpperAscii(Install("Variomat.exe"))] = -1;
  WriteVolume(1, ProductMembers());
  ui_.ExpectMessage(platform::kButtonIgnore);
  ui_.ExpectMessage(platform::kButtonOk);
  Run();
  const std::string report =
      A("Установка комплекса Mentorix завершена.\r\n"
        "Ярлыки комплекса Mentorix помещены в группу \"Mentorix for Volmar\" раздела "
        "\"Программы\" меню \"Пуск\".\r\n"
        "Не удалось обновить следующие файлы: \r\n\"") +
      Install("Variomat.exe") +
      A("\".\r\nИз-за указанных проблем комплекс Mentorix может работать не вполне корректно.\r\n"
        "Рекомендуется перезагрузить компьютер и повторно выполнить установку комплекса "
        "Mentorix.");
  ASSERT_EQ(ui_.Shown().size(), 2u);
  EXPECT_EQ(ui_.Shown()[1].text, report);
  EXPECT_TRUE(shell_->started.empty());
  EXPECT_EQ(Read(Install("Variomat.exe")), "running");
}

}  // namespace
}  // namespace run_test
