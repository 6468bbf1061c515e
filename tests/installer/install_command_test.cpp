// The Install command: every stop with its message, the folder rules, the
// component choice and the hand-over to the copy window.
#include <gtest/gtest.h>

#include "installer/inst_f1.h"
#include "tests/installer/installer_fixture.h"

namespace installer_test {
namespace {

using installer::Profile;

class InstallCommandTest : public InstallerTest {
 protected:
  void Install(const std::string& folder) {
    main_->form["Edit1"].caption = folder;
    main_->form.Click("Button4");
  }
  // The copy window is shown; its run (which starts on activation) is not
  // part of this command, so the window is not activated here.
  void ExpectCopyWindow() { ExpectForm("InstF3", nullptr, false); }
  std::vector<std::string> Excluded() const {
    return Profile().ExcludedComponents ? *Profile().ExcludedComponents
                                        : std::vector<std::string>{"<not built>"};
  }
  std::string target_ = Dist("target");
};

TEST_F(InstallCommandTest, HandsOverToTheCopyWindowBelowTheMainWindow) {
  Start();
  main_->form.left = 100;
  main_->form.top = 50;
  main_->form.width = 638;
  main_->form.height = 273;
  ExpectForm(
      "InstF3",
      [](platform::Form& f) {
        EXPECT_EQ(f.left, 100);
        EXPECT_EQ(f.top, 50 + 273);
        EXPECT_EQ(f.width, 638);
        EXPECT_EQ(f["ProgressBar1"].left, 5);
        EXPECT_EQ(f["ProgressBar1"].width, 628);
        EXPECT_EQ(f["Label1"].caption, A("Установка Mentorix: чтение данных..."));
      },
      false);
  Install(target_ + "\\");
  EXPECT_EQ(Profile().InstallDir, target_);
  EXPECT_TRUE(files_->DirectoryExists(target_));
  EXPECT_FALSE(files_->FileExists(target_ + "\\$$tfile$.tmp"));
  EXPECT_EQ(shownForms_, std::vector<std::string>{"InstF3"});
  EXPECT_EQ(Excluded(), std::vector<std::string>{});
}

TEST_F(InstallCommandTest, TrailingBackslashes) {
  Start();
  files_->ForceDirectories(target_);
  ExpectCopyWindow();
  Install(target_ + "\\\\");
  EXPECT_EQ(Profile().InstallDir, target_ + "\\");  // only one is removed

  ExpectCopyWindow();
  Install(target_);
  EXPECT_EQ(Profile().InstallDir, target_);
}

TEST_F(InstallCommandTest, DriveRootBecomesTheBareDrive) {
  Start();
  ExpectCopyWindow();
  Install("C:\\");
  EXPECT_EQ(Profile().InstallDir, "C:");
  EXPECT_FALSE(files_->FileExists("C:\\$$tfile$.tmp"));
}

TEST_F(InstallCommandTest, CreatesEveryMissingLevel) {
  Start();
  const std::string deep = target_ + "\\one\\two\\three";
  ExpectCopyWindow();
  Install(deep);
  EXPECT_TRUE(files_->DirectoryExists(deep));
}

TEST_F(InstallCommandTest, ExistingProbeFileIsTruncatedAndDeleted) {
  Start();
  files_->ForceDirectories(target_);
  ASSERT_TRUE(testing_support::WriteFileBytes(target_ + "\\$$tfile$.tmp", "old contents"));
  ExpectCopyWindow();
  Install(target_);
  EXPECT_FALSE(files_->FileExists(target_ + "\\$$tfile$.tmp"));
}

TEST_F(InstallCommandTest, PreviousVersionStopsFirst) {
  installer::ProductDefinition product = installer::ShippedProduct();
  product.PreviousVersionDir = Dist("old");
  Start(product);
  files_->ForceDirectories(Dist("old"));
  ui_.ExpectMessage(platform::kButtonOk);
  Install(target_);
  ASSERT_EQ(ui_.Shown().size(), 1u);
  EXPECT_EQ(ui_.Shown()[0].kind, platform::MessageKind::Warning);
  EXPECT_EQ(ui_.Shown()[0].text, Profile().PreviousVersionNotice);
  EXPECT_FALSE(files_->DirectoryExists(target_));
  EXPECT_TRUE(Profile().InstallDir.empty());
}

TEST_F(InstallCommandTest, AbsentPreviousVersionDoesNotStop) {
  installer::ProductDefinition product = installer::ShippedProduct();
  product.PreviousVersionDir = Dist("old");
  Start(product);
  ExpectCopyWindow();
  Install(target_);
}

TEST_F(InstallCommandTest, MissingHostFileShowsTheExpandedMessage) {
  installer::ProductDefinition product = installer::ShippedProduct();
  product.RequiredFiles = {"results.vlm", "Volmar~1.exe"};
  product.RequiredFileCount = 2;
  Start(product);
  files_->ForceDirectories(target_);
  ASSERT_TRUE(testing_support::WriteFileBytes(target_ + "\\results.vlm", "r"));
  ui_.ExpectMessage(platform::kButtonOk);
  Install(target_ + "\\");
  ASSERT_EQ(ui_.Shown().size(), 1u);
  EXPECT_EQ(ui_.Shown()[0].kind, platform::MessageKind::Error);
  EXPECT_EQ(ui_.Shown()[0].text,
            A("В каталоге \"") + target_ +
                A("\" не найдены некоторые компоненты.\r\nДля успешной установки комплекса "
                  "Mentorix необходимо, чтобы в указанном каталоге уже была установлена "
                  "система Volmar версии не ниже 2.5 или система Volmarix."));
  // Once both are there the command goes on.
  ASSERT_TRUE(testing_support::WriteFileBytes(target_ + "\\VOLMAR~1.EXE", "v"));
  ExpectCopyWindow();
  Install(target_);
}

TEST_F(InstallCommandTest, FolderThatCannotBeCreated) {
  Start();
  WriteDistFile("plainfile", "not a folder");
  const std::string bad = Dist("plainfile") + "\\sub";
  ui_.ExpectMessage(platform::kButtonOk);
  Install(bad);
  ASSERT_EQ(ui_.Shown().size(), 1u);
  EXPECT_EQ(ui_.Shown()[0].text, A("Невозможно создать каталог \"") + bad +
                                     A("\".\r\nВыберите другой каталог для установки комплекса."));
  EXPECT_EQ(Profile().ExcludedComponents, nullptr);
}

TEST_F(InstallCommandTest, EmptyFieldIsAFolderThatCannotBeCreated) {
  Start();
  for (const char* field : {"", "\\"}) {
    ui_.ExpectMessage(platform::kButtonOk);
    Install(field);
    EXPECT_EQ(ui_.Shown().back().text,
              A("Невозможно создать каталог \"\".\r\nВыберите другой каталог для установки "
                "комплекса."));
  }
}

TEST_F(InstallCommandTest, ReadOnlyFolder) {
  Start();
  files_->ForceDirectories(target_);
  files_->readOnlyFolders.insert(target_);
  ui_.ExpectMessage(platform::kButtonOk);
  Install(target_);
  ASSERT_EQ(ui_.Shown().size(), 1u);
  EXPECT_EQ(ui_.Shown()[0].kind, platform::MessageKind::Error);
  EXPECT_EQ(ui_.Shown()[0].text, A("Каталог \"") + target_ +
                                     A("\" закрыт на запись.\r\nВыберите другой каталог для "
                                       "установки комплекса."));
}

TEST_F(InstallCommandTest, WithoutComponentsOnlyTheSettingsAreExcluded) {
  WriteDistFile("setup.ini", "[ExcludeDir]\n1=Docs\n2=" + A("Примеры") + "\n");
  Start();
  ExpectCopyWindow();
  Install(target_);
  // Upper case by the code page: Cyrillic letters too.
  EXPECT_EQ(Excluded(), (std::vector<std::string>{"DOCS", A("ПРИМЕРЫ")}));
}

TEST_F(InstallCommandTest, ChooserDecidesAboutComponents) {
  WriteDistFile("setup.ini", "[ExcludeDir]\n1=b\n2=C\n");
  Start(ProductWith({"A", "B"}));
  // B starts unchecked; the user checks it and leaves A checked.
  ExpectForm("InstF4", [](platform::Form& f) {
    EXPECT_EQ(f.activeControl, "CheckListBox1");
    EXPECT_TRUE(f["CheckListBox1"].items[0].checked);
    EXPECT_FALSE(f["CheckListBox1"].items[1].checked);
    f.ToggleItem("CheckListBox1", 1);
    f.Click("Button1");
  });
  ExpectCopyWindow();
  Install(target_);
  EXPECT_EQ(Excluded(), std::vector<std::string>{"C"});

  // Both cleared: OK is disabled, so the user can only cancel; then A alone.
  ExpectForm("InstF4", [](platform::Form& f) {
    f.ToggleItem("CheckListBox1", 0);
    f.ToggleItem("CheckListBox1", 1);
    f.Click("Button1");
    EXPECT_EQ(f.modalResult, platform::kMrNone);
    f.ToggleItem("CheckListBox1", 1);
    f.Click("Button1");
  });
  ExpectCopyWindow();
  Install(target_);
  EXPECT_EQ(Excluded(), (std::vector<std::string>{"A", "C"}));
}

TEST_F(InstallCommandTest, CancelledChooserStopsAndKeepsTheNewFolder) {
  Start(ProductWith({"A"}));
  ExpectForm("InstF4", [](platform::Form& f) {
    f.ToggleItem("CheckListBox1", 0);
    f.ToggleItem("CheckListBox1", 0);
    f.Click("Button2");
  });
  Install(target_);
  EXPECT_TRUE(files_->DirectoryExists(target_));
  EXPECT_EQ(Profile().ExcludedComponents, nullptr);
  EXPECT_EQ(shownForms_.size(), 1u);

  // The chooser opens again as it was left; closing it by its box also cancels.
  ExpectForm("InstF4", [](platform::Form& f) {
    EXPECT_TRUE(f["CheckListBox1"].items[0].checked);
    EXPECT_TRUE(f.Close());
  });
  Install(target_);
  EXPECT_EQ(Profile().ExcludedComponents, nullptr);
}

TEST_F(InstallCommandTest, SelectDialogOffAppliesThePresetChoice) {
  WriteDistFile("setup.ini", "[Main]\nSelectDialog=0\n[ExcludeDir]\n1=a\n");
  Start(ProductWith({"A", "B"}));
  ExpectCopyWindow();
  Install(target_);
  EXPECT_EQ(Excluded(), std::vector<std::string>{"A"});
  EXPECT_EQ(shownForms_, std::vector<std::string>{"InstF3"});
}

}  // namespace
}  // namespace installer_test
