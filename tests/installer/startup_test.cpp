// The main window's start-up sequence and its handlers.
#include <gtest/gtest.h>

#include "installer/inst_f1.h"
#include "tests/installer/installer_fixture.h"

namespace installer_test {
namespace {

using installer::Profile;
const char* const kKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

class StartupTest : public InstallerTest {
 protected:
  void SetRegistryProgramFiles(const std::string& value) {
    registry_.keys.insert(installer::UpperAscii(kKey));
    registry_.values[installer::UpperAscii(kKey) + "|PROGRAMFILESDIR"] = value;
  }
  platform::Control& C(const char* name) { return main_->form[name]; }
};

TEST_F(StartupTest, ShippedTextsGeometryAndColours) {
  SetRegistryProgramFiles("C:\\Program Files");
  WriteDistFile("readme.txt");
  WriteDistFile("license.txt");
  Start();
  EXPECT_EQ(main_->form.caption, A("Mentorix Install - Программа установки"));
  EXPECT_EQ(platform::App().title, "Mentorix for ZOLV");
  EXPECT_EQ(main_->form.clientWidth, 632);
  EXPECT_EQ(main_->form.clientHeight, 248);
  EXPECT_EQ(C("Label1").caption, "Mentorix for Volmar");
  EXPECT_EQ(C("Label2").caption, "Mentorix for Volmar");
  EXPECT_EQ(C("Label3").caption, A("Комплекс программ для преподавателя программирования"));
  EXPECT_EQ(C("Label5").caption, A("Комплекс будет установлен в следующем каталоге:"));
  EXPECT_EQ(C("Edit1").caption, "C:\\Program Files\\Volmarix");
  EXPECT_EQ(C("Button2").caption, A("Описание комплекса"));
  EXPECT_EQ(C("Button3").caption, A("Лицензионное соглашение"));
  EXPECT_EQ(C("Button4").caption, A("Установка"));
  EXPECT_EQ(C("Button5").caption, A("Выход"));
  EXPECT_EQ(C("Button1").caption, A("Обзор..."));
  EXPECT_TRUE(C("Button4").isDefault);
  EXPECT_EQ(main_->form.activeControl, "Button4");
  for (const char* name : {"Label1", "Label3", "Label4", "Label6"}) {
    EXPECT_EQ(C(name).font.color, platform::Rgb(0, 0, 192)) << name;
  }
  EXPECT_EQ(C("Label2").left - C("Label1").left, 2);
  EXPECT_EQ(C("Label2").top - C("Label1").top, 1);
  // The folder field starts 20 pixels after the prompt; its right edge stays at 529.
  EXPECT_EQ(C("Edit1").left, C("Label5").left + C("Label5").width + 20);
  EXPECT_EQ(C("Edit1").left + C("Edit1").width, 312 + 217);
  EXPECT_TRUE(C("Button2").visible && C("Button3").visible);
  EXPECT_EQ(C("Button3").left, 207);
  EXPECT_EQ(Profile().InstallCaption, A("Установка Mentorix"));
  EXPECT_EQ(Profile().SystemDir, "C:\\WINDOWS\\system32");
  EXPECT_EQ(Profile().ProgramsDir, "C:\\Menu\\Programs");
  EXPECT_EQ(Profile().Shortcuts[1].LinkDir, "C:\\Menu\\Programs\\Mentorix for Volmar");
  EXPECT_TRUE(main_->viewer && main_->copier && main_->chooser);
  EXPECT_FALSE(platform::App().terminated);
}

struct ProgramFilesCase {
  const char* name;
  bool registryValue;
  bool denyAccess;
  std::set<char> programFiles;
  std::set<char> drives;
  const char* expected;
};

class ProgramFilesTest : public StartupTest,
                         public ::testing::WithParamInterface<ProgramFilesCase> {};

TEST_P(ProgramFilesTest, RegistryThenDriveScans) {
  const ProgramFilesCase& c = GetParam();
  if (c.registryValue) SetRegistryProgramFiles("Q:\\Progs");
  registry_.denyFullAccess = c.denyAccess;
  files_->programFilesDrives = c.programFiles;
  files_->drives = c.drives;
  Start();
  EXPECT_EQ(Profile().ProgramFilesDir, c.expected);
  EXPECT_EQ(C("Edit1").caption, std::string(c.expected) + "\\Volmarix");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramFilesTest,
    ::testing::Values(
        ProgramFilesCase{"registry", true, false, {'D'}, {'C', 'D'}, "Q:\\Progs"},
        ProgramFilesCase{
            "noAdminRights", true, true, {'E', 'D'}, {'C', 'D', 'E'}, "D:\\Program Files"},
        ProgramFilesCase{"firstProgramFiles", false, false, {'F', 'Z'}, {'C'}, "F:\\Program Files"},
        ProgramFilesCase{"driveRoot", false, false, {}, {'C', 'D'}, "C:"},
        ProgramFilesCase{"laterDriveRoot", false, false, {}, {'K'}, "K:"},
        ProgramFilesCase{"nothing", false, false, {}, {}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartupTest, InstallerInADriveRoot) {
  shell_->exePath = "E:\\SETUP.EXE";
  ui_.ExpectMessage(platform::kButtonOk, "SETUP.dat");
  Start();
  EXPECT_EQ(Profile().StartDir, "E:");
  EXPECT_EQ(Profile().ArchiveName, "SETUP.dat");
  EXPECT_TRUE(platform::App().terminated);
}

TEST_F(StartupTest, MissingVolumeIsNamedAndEndsTheProgram) {
  installer::ProductDefinition product = installer::ShippedProduct();
  product.VolumeCount = 3;
  WriteDistFile("setup.dat2");
  ui_.ExpectMessage(platform::kButtonOk);
  Start(product);
  ASSERT_EQ(ui_.Shown().size(), 1u);
  EXPECT_EQ(ui_.Shown()[0].kind, platform::MessageKind::Error);
  EXPECT_EQ(ui_.Shown()[0].text,
            A("Не найден файл setup.dat3.\r\nВыполнить установку комплекса Mentorix невозможно."));
  EXPECT_TRUE(platform::App().terminated);
  EXPECT_EQ(main_->form.windowState, platform::WindowState::Minimized);
  EXPECT_FALSE(main_->viewer || main_->copier || main_->chooser);
  // Nothing after the check ran: the shadow title and the version line stay empty.
  EXPECT_TRUE(C("Label2").caption.empty());
  EXPECT_TRUE(C("Label6").caption.empty());
}

TEST_F(StartupTest, ArchiveNamedAfterTheExecutable) {
  shell_->exePath = Dist("mtx26.exe");
  WriteDistFile("mtx26.dat");
  Start();
  EXPECT_EQ(Profile().ArchiveName, "mtx26.dat");
  EXPECT_FALSE(platform::App().terminated);
}

TEST_F(StartupTest, VersionLineCarriesTheArchiveDate) {
  // 5 March 2011, 10:20:30 in MS-DOS format.
  const uint32_t stamp =
      ((2011u - 1980) << 25) | (3u << 21) | (5u << 16) | (10u << 11) | (20u << 5) | 15u;
  ASSERT_TRUE(platform::files().SetDosTime(Dist("setup.dat"), stamp));
  Start();
  EXPECT_EQ(C("Label6").caption, A("Версия 2.6 от 05.03.2011"));
}

TEST_F(StartupTest, ReadmeAndLicenseButtons) {
  struct Case {
    bool readme, license;
    bool button2, button3;
    int button3Left;
  };
  for (const Case c : {Case{true, true, true, true, 207}, Case{false, true, false, true, 15},
                       Case{true, false, true, false, 207}, Case{false, false, false, false, 15}}) {
    SCOPED_TRACE(std::to_string(c.readme) + std::to_string(c.license));
    files_->DeleteFile(Dist("readme.txt"));
    files_->DeleteFile(Dist("license.txt"));
    if (c.readme) WriteDistFile("readme.txt", "description");
    if (c.license) WriteDistFile("license.txt", "licence");
    Start();
    EXPECT_EQ(C("Button2").visible, c.button2);
    EXPECT_EQ(C("Button3").visible, c.button3);
    EXPECT_EQ(C("Button3").left, c.button3Left);
  }
}

TEST_F(StartupTest, F1OpensTheFirstTextThatIsThere) {
  WriteDistFile("license.txt", "licence text");
  Start();
  ExpectForm("InstF2", [](platform::Form& f) {
    EXPECT_EQ(f.caption, A("Лицензионное соглашение [файл license.txt]"));
    EXPECT_EQ(f["Memo1"].lines, std::vector<std::string>{"licence text"});
  });
  EXPECT_EQ(main_->form.KeyDown(platform::kVkF1, platform::kShiftCtrl), platform::kVkF1);
  EXPECT_EQ(shownForms_.size(), 1u);

  WriteDistFile("readme.txt", "readme text");
  Start();
  ExpectForm("InstF2", [](platform::Form& f) {
    EXPECT_EQ(f.caption, A("Описание комплекса [файл readme.txt]"));
  });
  main_->form.KeyDown(platform::kVkF1, 0);
  EXPECT_EQ(shownForms_.size(), 2u);
}

TEST_F(StartupTest, F1WithoutTextsDoesNothing) {
  Start();
  main_->form.KeyDown(platform::kVkF1, 0);
  main_->form.KeyDown(0x71, 0);  // F2
  EXPECT_TRUE(shownForms_.empty());
}

TEST_F(StartupTest, SettingsPresetReplacesTheDefaultFolder) {
  SetRegistryProgramFiles("C:\\PF");
  WriteDistFile("setup.ini", "[Main]\nInstallDir=%ProgramFilesDir%\\Mentorix\n");
  Start();
  EXPECT_EQ(C("Edit1").caption, "C:\\PF\\Mentorix");
}

TEST_F(StartupTest, UnknownSpecialFoldersStayEmpty) {
  shell_->programsDir.clear();
  shell_->desktopDir.clear();
  Start();
  EXPECT_TRUE(Profile().ProgramsDir.empty());
  EXPECT_TRUE(Profile().DesktopDir.empty());
  EXPECT_EQ(Profile().Shortcuts[0].LinkDir, "\\Mentorix for Volmar");
}

TEST_F(StartupTest, CloseAsksAndNoKeepsTheWindow) {
  Start();
  const std::string question =
      A("Вы хотите выйти из программы,\r\nне выполнив установку комплекса?");
  ui_.ExpectMessage(platform::kButtonNo);
  EXPECT_EQ(main_->form.KeyPress(platform::kCharEscape), 0);
  ASSERT_EQ(ui_.Shown().size(), 1u);
  EXPECT_EQ(ui_.Shown()[0].kind, platform::MessageKind::Confirmation);
  EXPECT_EQ(ui_.Shown()[0].text, question);
  EXPECT_EQ(ui_.Shown()[0].buttons, platform::kButtonYes | platform::kButtonNo);
  EXPECT_FALSE(main_->form.closeRequested);

  ui_.ExpectMessage(platform::kButtonNo);
  main_->form.Click("Button5");
  EXPECT_FALSE(main_->form.closeRequested);

  Profile().ExcludedComponents = std::make_unique<std::vector<std::string>>();
  ui_.ExpectMessage(platform::kButtonYes);
  EXPECT_TRUE(main_->form.Close());
  EXPECT_TRUE(main_->form.closeRequested);
  EXPECT_EQ(Profile().ExcludedComponents, nullptr);
  EXPECT_EQ(ui_.Shown().size(), 3u);
}

TEST_F(StartupTest, OtherKeysDoNotClose) {
  Start();
  EXPECT_EQ(main_->form.KeyPress('a'), 'a');
  EXPECT_EQ(main_->form.KeyPress('\r'), '\r');
  EXPECT_TRUE(ui_.Shown().empty());
}

TEST_F(StartupTest, AutoRunStartsTheInstallCommandOnce) {
  WriteDistFile("setup.ini", "[Main]\nAutoRun=1\n");
  Start();
  main_->form["Edit1"].caption.clear();  // the command stops on a message
  EXPECT_FALSE(C("Timer1").enabled);
  main_->form.Shown();
  EXPECT_TRUE(C("Timer1").enabled);
  ui_.ExpectMessage(platform::kButtonOk, A("Невозможно создать каталог"));
  main_->form.Tick("Timer1");
  EXPECT_FALSE(C("Timer1").enabled);
  main_->form.Tick("Timer1");  // a disabled timer does nothing
  EXPECT_EQ(ui_.Shown().size(), 1u);
}

TEST_F(StartupTest, WithoutAutoRunTheTimerStaysOff) {
  Start();
  main_->form.Shown();
  EXPECT_FALSE(C("Timer1").enabled);
}

TEST_F(StartupTest, ChooserIsPreparedFromComponentsAndExcludedFolders) {
  WriteDistFile("setup.ini", "[ExcludeDir]\n1=docs\n2=Other\n");
  Start(ProductWith({"BASE", "DOCS", "EXTRA"}));
  platform::Form& chooser = main_->chooser->form;
  EXPECT_EQ(chooser.caption, "Components");
  EXPECT_EQ(chooser["StaticText1"].caption, "Choose the components to install.");
  EXPECT_EQ(chooser.clientHeight, 46 + chooser["StaticText1"].height + 120);
  ASSERT_EQ(chooser["CheckListBox1"].items.size(), 3u);
  EXPECT_TRUE(chooser["CheckListBox1"].items[0].checked);
  EXPECT_FALSE(chooser["CheckListBox1"].items[1].checked);
  EXPECT_TRUE(chooser["CheckListBox1"].items[2].checked);
  EXPECT_EQ(chooser["CheckListBox1"].items[1].caption, "Component DOCS");
}

TEST_F(StartupTest, ShippedProductHasAnEmptyChooser) {
  Start();
  EXPECT_TRUE(main_->chooser->form["CheckListBox1"].items.empty());
  EXPECT_EQ(main_->chooser->form.clientHeight, 366);
}

}  // namespace
}  // namespace installer_test
