// The final report's compositions and the install log's merge into an
// earlier log.
#include <gtest/gtest.h>

#include "installer/final_report.h"
#include "installer/inst_f3.h"
#include "installer/install_log.h"
#include "tests/installer/run_fixture.h"

namespace run_test {
namespace {

using installer::Profile;

const char kTail[] =
    "Из-за указанных проблем комплекс Mentorix может работать не вполне корректно.\r\n"
    "Рекомендуется перезагрузить компьютер и повторно выполнить установку комплекса Mentorix.";
const char kGroupLine[] =
    "Ярлыки комплекса Mentorix помещены в группу \"Mentorix for Volmar\" раздела \"Программы\" "
    "меню \"Пуск\".";

TEST(FinalReport, Compositions) {
  installer::ResetProfile();
  auto& p = Profile();
  installer::FillProductTexts(p, installer::ShippedProduct());
  struct Case {
    const char* name;
    bool startMenu;
    const char* notUpdated;
    const char* notCreated;
    const char* failedLinks;
    const char* groupError;
    std::string expected;
  };
  const std::string done = A("Установка комплекса Mentorix завершена.\r\n");
  const Case cases[] = {
      {"success", true, "", "", "", "",
       A("Установка комплекса Mentorix успешно завершена.\r\n") + A(kGroupLine)},
      {"success without start menu", false, "", "", "", "",
       A("Установка комплекса Mentorix успешно завершена.")},
      {"all three lists", true, "\"C:\\a\", \"C:\\b\", ", "\"C:\\c\", ", "\"L\\x\", ", "",
       done + A(kGroupLine) + "\r\n" + A("Не удалось обновить следующие файлы: \r\n") +
           "\"C:\\a\", \"C:\\b\".\r\n" + A("Не удалось создать следующие файлы: \r\n") +
           "\"C:\\c\".\r\n" + A("Не удалось создать следующие ярлыки: \r\n") + "\"L\\x\".\r\n" +
           A(kTail)},
      {"group error hides the shortcut lists", true, "", "\"C:\\c\", ", "\"L\\x\", ", "GROUP.\r\n",
       done + A("Не удалось создать следующие файлы: \r\n") + "\"C:\\c\".\r\n" + "GROUP.\r\n" +
           A(kTail)},
      {"problems without start menu", false, "\"C:\\a\", ", "", "", "",
       done + A("Не удалось обновить следующие файлы: \r\n") + "\"C:\\a\".\r\n" + A(kTail)},
  };
  for (const Case& c : cases) {
    p.LinksStartMenu = c.startMenu;
    const auto texts =
        installer::CompleteReportTexts(c.notUpdated, c.notCreated, c.failedLinks, c.groupError);
    EXPECT_EQ(installer::ComposeFinalReport(p, texts, false), c.expected) << c.name;
  }
  installer::ResetProfile();
}

TEST(InstallLog, SplitLines) {
  using V = std::vector<std::string>;
  EXPECT_EQ(installer::SplitLines("a\r\nb\r\n"), (V{"a", "b"}));
  EXPECT_EQ(installer::SplitLines("a\nb\rc"), (V{"a", "b", "c"}));
  EXPECT_EQ(installer::SplitLines("a\r\n\r\nb"), (V{"a", "", "b"}));
  EXPECT_EQ(installer::SplitLines(""), V{});
}

class InstallLogTest : public RunTest {};

TEST_F(InstallLogTest, SecondInstallKeepsTheFirstHeaderAndAddsOnlyNewPaths) {
  Prepare();
  const std::string oldLog = "old header|\r\n" + installer::UpperAscii(Install("Lectorn.exe")) +
                             "\r\n" + Install("gone.txt") + "\r\n";
  Write(LogPath(), oldLog);
  files_->SetAttributes(LogPath(), platform::kAttrReadOnly);
  Write(Install("Lectorn.ini"), "user's");
  auto members = ProductMembers();
  members.push_back({"Lectorn.ini", "shipped"});
  members.push_back({"new.txt", "n"});
  WriteVolume(1, members);
  Profile().FinalMessage = false;
  Run();
  const std::string log = oldLog + Install("MENTORIX\\a") + "\r\n" + Install("Variomat.ini") +
                          "\r\n" + Install("Variomat.exe") + "\r\n" + Install("MentorixHelp.chm") +
                          "\r\n" + Install("MENTORIX\\doc\\intro.txt") + "\r\n" +
                          Install("Lectorn.ini") + "\r\n" + Install("new.txt") + "\r\n" + Group() +
                          "\\ZOLV Lectorn.lnk\r\n" + Group() + "\\VX Variomat.lnk\r\n" + Group() +
                          "\\Mentorix Info.lnk\r\n";
  EXPECT_EQ(Read(LogPath()), log);
  EXPECT_EQ(Read(Install("Lectorn.ini")), "user's");
}

TEST_F(InstallLogTest, EarlierLogSurvivesAMergeThatCannotBeWritten) {
  Prepare();
  const std::string oldLog = "old header|\r\nC:\\old\\file.txt\r\n";
  Write(LogPath(), oldLog);
  files_->ForceDirectories(LogPath() + ".new");  // the merged log cannot be created
  WriteVolume(1, ProductMembers());
  ui_.ExpectMessage(platform::kButtonOk, A("Невозможно создать файл \"") + LogPath() + "\".");
  Run();
  EXPECT_EQ(Read(LogPath()), oldLog);
  EXPECT_FALSE(files_->FileExists(Install("Lectorn.exe")));
}

TEST_F(InstallLogTest, RussianPathsAreWrittenInTheAnsiCodePage) {
  Prepare();
  Profile().FinalMessage = false;
  WriteVolume(1, {{Oem(A("Документы\\описание.txt")), "d"}});
  Run();
  const std::string log = Read(LogPath());
  EXPECT_NE(log.find(Install(A("Документы\\описание.txt")) + "\r\n"), std::string::npos);
  EXPECT_EQ(Read(Install(A("Документы\\описание.txt"))), "d");
}

}  // namespace
}  // namespace run_test
