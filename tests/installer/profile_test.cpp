#include "installer/profile.h"

#include <gtest/gtest.h>

#include "tests/installer/installer_fixture.h"

namespace installer_test {
namespace {

using installer::ProductProfile;

ProductProfile Filled(const installer::ProductDefinition& d) {
  ProductProfile p;
  p.ProgramsDir = "C:\\Menu\\Programs";
  p.SystemDir = "C:\\WIN\\system32";
  installer::FillProductTexts(p, d);
  return p;
}

TEST(ProductProfile, ComposedTextsOfTheShippedProduct) {
  const ProductProfile p = Filled(installer::ShippedProduct());
  EXPECT_EQ(p.PreviousVersionNotice,
            A("Перед установкой данной версии комплекса Mentorix необходимо удалить ранее "
              "установленную версию (команда \"Пуск | Программы | Vexlor 4 | Удаление Vexlor "
              "4\").\r\n"));
  EXPECT_EQ(p.MissingHostMessage,
            A("В каталоге \"%InstallDir%\" не найдены некоторые компоненты.\r\nДля успешной "
              "установки комплекса Mentorix необходимо, чтобы в указанном каталоге уже была "
              "установлена система Volmar версии не ниже 2.5 или система Volmarix."));
  EXPECT_EQ(p.WindowCaption, A("Mentorix Install - Программа установки"));
  EXPECT_EQ(p.UninstallTexts[3], A("Комплекс Mentorix удален, за исключением следующих файлов:"));
}

TEST(ProductProfile, ComposedTextsFollowTheProductName) {
  installer::ProductDefinition d = installer::ShippedProduct();
  d.ProductName = "Tutorix";
  d.ProductNounGenitive = A("пакета");
  const ProductProfile p = Filled(d);
  EXPECT_NE(p.PreviousVersionNotice.find(A("версии пакета Tutorix необходимо")), std::string::npos);
  EXPECT_NE(p.MissingHostMessage.find(A("установки пакета Tutorix необходимо")), std::string::npos);
}

TEST(ProductProfile, TablesAndCountsOfTheShippedProduct) {
  const ProductProfile p = Filled(installer::ShippedProduct());
  EXPECT_EQ(p.VolumeCount, 1);
  EXPECT_EQ(p.ComponentCount, 0);
  EXPECT_EQ(p.KeptFileCount, 2);
  EXPECT_EQ(p.KeptFiles[1], "VARIOMAT.INI");
  EXPECT_EQ(p.ProductDirCount, 1);
  EXPECT_EQ(p.ProductDirs[0], "%InstallDir%\\MENTORIX");
  // Stored but unused: the count is 0.
  EXPECT_EQ(p.RequiredFileCount, 0);
  EXPECT_EQ(p.RequiredFiles[1], "Volmar~1.exe");
  EXPECT_EQ(p.UninstallExtraCount, 2);
  ASSERT_EQ(p.AssociationCount, 5);
  EXPECT_EQ(p.Associations[0].Extension, "vlmgroup");
  EXPECT_EQ(p.Associations[4].Description, "VMT-data for Variomat");
  EXPECT_EQ(p.Associations[3].IconIndex, 3);
  ASSERT_EQ(p.ShortcutCount, 5);
  // The group folder and the system folder are real paths, not macros.
  EXPECT_EQ(p.Shortcuts[0].LinkDir, "C:\\Menu\\Programs\\Mentorix for Volmar");
  EXPECT_EQ(p.Shortcuts[2].Target, "%InstallDir%\\MentorixHelp.chm");
  EXPECT_EQ(p.Shortcuts[3].Target, "C:\\WIN\\system32\\sysvanta.exe");
  EXPECT_EQ(p.Shortcuts[3].Arguments, "\"%InstallDir%\\UNINST\\mtxvlm.log\"");
  EXPECT_EQ(p.Shortcuts[3].WorkDir, "C:\\WIN\\system32");
  EXPECT_EQ(p.Shortcuts[3].LinkDir, "%InstallDir%\\UNINST");
  EXPECT_EQ(p.Shortcuts[4].LinkName, "Mentorix Uninstall");
  EXPECT_TRUE(p.Shortcuts[5].Target.empty());
}

TEST(ProductProfile, OversizedDefinitionTablesStopAtTheirSlots) {
  installer::ProductDefinition d = installer::ShippedProduct();
  d.ComponentDirs.assign(30, "DIR");
  d.ComponentCaptions.assign(25, "caption");
  d.KeptFiles.assign(150, "K");
  d.RequiredFileCount = 500;
  const ProductProfile p = Filled(d);
  EXPECT_EQ(p.ComponentCount, installer::kComponentSlots);
  EXPECT_EQ(p.KeptFileCount, installer::kKeptFileSlots);
  EXPECT_EQ(p.RequiredFileCount, installer::kRequiredFileSlots);
}

TEST(ProductProfile, ComponentsNeedBothCaptionAndFolder) {
  installer::ProductDefinition d = installer::ShippedProduct();
  d.ComponentDirs = {"A", "B", "C"};
  d.ComponentCaptions = {"first", "second"};
  EXPECT_EQ(Filled(d).ComponentCount, 2);
}

TEST(ProductProfile, ProductDirsStopRecordingWhenFull) {
  ProductProfile p = Filled(installer::ShippedProduct());
  int added = 0;
  while (p.AddProductDir("X" + std::to_string(added))) ++added;
  EXPECT_EQ(added, installer::kProductDirSlots - 1);
  EXPECT_EQ(p.ProductDirCount, installer::kProductDirSlots);
  EXPECT_FALSE(p.AddProductDir("one more"));
  EXPECT_EQ(p.ProductDirCount, installer::kProductDirSlots);
}

TEST(ProductProfile, VolumeSuffixAndPath) {
  EXPECT_EQ(installer::VolumeSuffix(1), "");
  EXPECT_EQ(installer::VolumeSuffix(2), "2");
  EXPECT_EQ(installer::VolumeSuffix(10), "10");
  ProductProfile p;
  p.StartDir = "E:";
  p.ArchiveName = "setup.dat";
  EXPECT_EQ(installer::VolumePath(p, 1), "E:\\setup.dat");
  EXPECT_EQ(installer::VolumePath(p, 3), "E:\\setup.dat3");
}

struct MacroCase {
  const char* text;
  const char* value;
  const char* expected;
};

class ReplaceMacroTest : public ::testing::TestWithParam<MacroCase> {};

TEST_P(ReplaceMacroTest, ReplacesEveryOccurrenceWithoutRescanning) {
  const MacroCase& c = GetParam();
  EXPECT_EQ(installer::ReplaceMacro(c.text, "%INSTALLDIR%", c.value), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReplaceMacroTest,
    ::testing::Values(MacroCase{"%InstallDir%\\a", "D:\\W", "D:\\W\\a"},
                      MacroCase{"x %installdir% y %INSTALLDIR%", "Q", "x Q y Q"},
                      MacroCase{"no macro", "Q", "no macro"},
                      MacroCase{"%InstallDir", "Q", "%InstallDir"},
                      // A folder whose name holds the macro is inserted once.
                      MacroCase{"[%InstallDir%]", "C:\\%InstallDir%", "[C:\\%InstallDir%]"}));

}  // namespace
}  // namespace installer_test
