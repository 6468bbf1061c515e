#include "installer/settings.h"

#include <gtest/gtest.h>

#include "platform/profile_string.h"
#include "support/path_text.h"
#include "tests/installer/installer_fixture.h"

namespace installer_test {
namespace {

using installer::ProductProfile;

struct FlagCase {
  const char* text;
  bool start;
  bool expected;
};

class ParseFlagTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(ParseFlagTest, ReadsDecimalAndHexadecimalOrKeepsTheDefault) {
  bool value = GetParam().start;
  installer::ParseFlag(GetParam().text, value);
  EXPECT_EQ(value, GetParam().expected) << "text: \"" << GetParam().text << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseFlagTest,
    ::testing::Values(FlagCase{"1", false, true}, FlagCase{"0", true, false},
                      FlagCase{"-1", false, true}, FlagCase{"+0", true, false},
                      FlagCase{"12", false, true}, FlagCase{"$1", false, true},
                      FlagCase{"$0", true, false}, FlagCase{"$ff", false, true},
                      FlagCase{"0x1", false, true}, FlagCase{"0X0", true, false},
                      FlagCase{"0xFFFFFFFF", false, true}, FlagCase{"00", true, false},
                      // Not numbers: the default stays.
                      FlagCase{"yes", false, false}, FlagCase{"yes", true, true},
                      FlagCase{"", true, true}, FlagCase{"$", true, true},
                      FlagCase{"0x", true, true}, FlagCase{"1a", false, false},
                      FlagCase{"$g", false, false}, FlagCase{"0x1FFFFFFFF", false, false},
                      FlagCase{"2147483648", false, false}, FlagCase{"-2147483648", false, true},
                      FlagCase{"1.0", false, false}, FlagCase{"-", true, true}));

TEST(SettingsPath, ReplacesOnlyTheFileNamesExtension) {
  EXPECT_EQ(installer::SettingsPath("D:\\dist\\setup.exe"), "D:\\dist\\setup.ini");
  EXPECT_EQ(installer::SettingsPath("D:\\v1.2\\setup"), "D:\\v1.2\\setup.ini");
  EXPECT_EQ(support::ChangeFileExt("E:\\a.b.exe", ".dat"), "E:\\a.b.dat");
}

class SettingsTest : public ::testing::Test {
 protected:
  ProductProfile Load(const std::string& ini) {
    ProductProfile p;
    p.ProgramFilesDir = "C:\\Program Files";
    if (!ini.empty()) {
      EXPECT_TRUE(testing_support::WriteFileBytes(path_, ini));
    }
    installer::LoadSettings(p, path_);
    return p;
  }
  testing_support::TempFolder folder_;
  std::string path_ = folder_ / "setup.ini";
};

TEST_F(SettingsTest, NoFileKeepsTheDefaults) {
  ProductProfile p;
  p.AutoRun = true;
  p.SelectDialog = false;
  p.ExcludeDirCount = 3;
  installer::LoadSettings(p, folder_ / "missing.ini");
  EXPECT_FALSE(p.AutoRun);
  EXPECT_TRUE(p.SelectDialog && p.FinalMessage && p.LinksStartMenu && p.LinksDesktop && p.SetupRun);
  EXPECT_EQ(p.ExcludeDirCount, 0);
  EXPECT_TRUE(p.PresetInstallDir.empty());
}

TEST_F(SettingsTest, ProgramFilesMacroIsReplacedOnceWithoutRegardToCase) {
  const ProductProfile p =
      Load("[Main]\r\nInstallDir=%programfilesdir%\\Tools\\%PROGRAMFILESDIR%\r\n");
  EXPECT_EQ(p.PresetInstallDir, "C:\\Program Files\\Tools\\%PROGRAMFILESDIR%");
}

TEST_F(SettingsTest, FlagsParamsAndSections) {
  const ProductProfile p = Load(
      "; distribution settings\r\n"
      "[main]\r\nautorun = $1\r\nSelectDialog=0\r\nFinalMessage=yes\r\n"
      "[Links]\r\nStartMenu=0x0\r\nDesktop=0\r\n"
      "[Setup]\r\nRun=0\r\nParams=  \"/q %STARTDIR%\"  \r\n");
  EXPECT_TRUE(p.AutoRun);
  EXPECT_FALSE(p.SelectDialog);
  EXPECT_TRUE(p.FinalMessage);  // "yes" is no number
  EXPECT_FALSE(p.LinksStartMenu);
  EXPECT_FALSE(p.LinksDesktop);
  EXPECT_FALSE(p.SetupRun);
  EXPECT_EQ(p.SetupParams, "/q %STARTDIR%");  // blanks and enclosing quotes removed
}

TEST_F(SettingsTest, ExcludeDirStopsAtTheFirstGap) {
  const ProductProfile p = Load("[ExcludeDir]\n1=DOCS\n2=Demo\n4=Extra\n");
  ASSERT_EQ(p.ExcludeDirCount, 2);
  EXPECT_EQ(p.ExcludeDirs[0], "DOCS");
  EXPECT_EQ(p.ExcludeDirs[1], "Demo");
  EXPECT_TRUE(p.ExcludeDirs[2].empty());
}

TEST_F(SettingsTest, ExcludeDirReadsAtMostTwentyKeys) {
  std::string ini = "[ExcludeDir]\n";
  for (int k = 1; k <= 25; ++k) ini += std::to_string(k) + "=D" + std::to_string(k) + "\n";
  const ProductProfile p = Load(ini);
  EXPECT_EQ(p.ExcludeDirCount, 20);
  EXPECT_EQ(p.ExcludeDirs[19], "D20");
  EXPECT_TRUE(p.ExcludeDirs[20].empty());
}

TEST_F(SettingsTest, ProfileStringSemantics) {
  std::string ini = "[A]\r\nkey=first\r\nKEY=second\r\nlong=" + std::string(3000, 'v') +
                    "\r\n[b]\r\nx=1\r\n[ B ]\r\ny=2\r\n";
  ASSERT_TRUE(testing_support::WriteFileBytes(path_, ini));
  EXPECT_EQ(platform::ReadProfileString(path_, "a", "Key", "d"), "first");
  EXPECT_EQ(platform::ReadProfileString(path_, "A", "long", "").size(), 2047u);
  EXPECT_EQ(platform::ReadProfileString(path_, "B", "x", "d"), "1");
  EXPECT_EQ(platform::ReadProfileString(path_, "A", "missing", "dflt"), "dflt");
  EXPECT_EQ(platform::ReadProfileString(path_, "none", "x", ""), "");
  EXPECT_EQ(platform::ReadProfileString(folder_ / "absent.ini", "A", "key", "z"), "z");
}

}  // namespace
}  // namespace installer_test
