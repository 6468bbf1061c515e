// The switch parser: every switch, quoting, letter case, both prefixes, and
// the values it must refuse.
#include "installer/command_line.h"

#include <gtest/gtest.h>

#include "support/cp1251.h"

namespace {

using installer::ParseSwitches;
using installer::SetupSwitches;

struct Accepted {
  const char* line;
  const char* understood;  // the switches as understood, joined by blanks
};

class AcceptedSwitches : public ::testing::TestWithParam<Accepted> {};

std::string Joined(const std::vector<std::string>& parts) {
  std::string out;
  for (const auto& p : parts) out += (out.empty() ? "" : " ") + p;
  return out;
}

TEST_P(AcceptedSwitches, AreUnderstood) {
  SetupSwitches s;
  std::string error;
  EXPECT_TRUE(ParseSwitches(GetParam().line, s, error)) << error;
  EXPECT_EQ(Joined(s.understood), GetParam().understood);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AcceptedSwitches,
    ::testing::Values(
        Accepted{"", ""}, Accepted{"  \t ", ""},
        Accepted{"/SILENT /VERYSILENT /SUPPRESSMSGBOXES /NOICONS /NORUN",
                 "/SILENT /VERYSILENT /SUPPRESSMSGBOXES /NOICONS /NORUN"},
        Accepted{"-verysilent -SuppressMsgBoxes", "/VERYSILENT /SUPPRESSMSGBOXES"},
        Accepted{"/?", "/?"}, Accepted{"-help", "/HELP"},
        Accepted{"/DIR=\"C:\\Program Files\\Volmarix\"", "/DIR=C:\\Program Files\\Volmarix"},
        Accepted{"\"/dir=D:\\Mentorix Demo\"", "/DIR=D:\\Mentorix Demo"},
        // A backslash before a quote is an ordinary character.
        Accepted{"/DIR=\"C:\\\" /SILENT", "/DIR=C:\\ /SILENT"}, Accepted{"/DIR=c:", "/DIR=c:"},
        Accepted{"/DIR=C:/Tools/Volmarix", "/DIR=C:\\Tools\\Volmarix"},
        Accepted{"/DIR=\\\\server\\share\\Volmarix", "/DIR=\\\\server\\share\\Volmarix"},
        Accepted{"/LOG=setup.log", "/LOG=setup.log"},
        Accepted{"/LOG=\"C:\\logs\\setup run.log\"", "/LOG=C:\\logs\\setup run.log"},
        Accepted{"/COMPONENTS=\" help , samples,,\"", "/COMPONENTS=help,samples"},
        Accepted{"/COMPONENTS=", "/COMPONENTS="},
        // Names that only resemble device names.
        Accepted{"/DIR=C:\\Console\\COM10\\LPT\\.cfg", "/DIR=C:\\Console\\COM10\\LPT\\.cfg"}));

TEST(SwitchParser, SetsTheFieldsOfEachSwitch) {
  SetupSwitches s;
  std::string error;
  ASSERT_TRUE(
      ParseSwitches("/VERYSILENT /NOICONS /DIR=C:\\x /COMPONENTS=a,b /LOG=l.txt", s, error));
  EXPECT_TRUE(s.silent && s.verySilent && s.noIcons);
  EXPECT_FALSE(s.suppressMsgBoxes || s.noRun || s.help || s.BoxesSuppressed());
  EXPECT_EQ(s.dir.value_or(""), "C:\\x");
  EXPECT_EQ(s.components.value_or(std::vector<std::string>{}),
            (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(s.logFile, "l.txt");
  ASSERT_TRUE(ParseSwitches("/SUPPRESSMSGBOXES", s, error));
  EXPECT_FALSE(s.BoxesSuppressed()) << "boxes are answered alone only in a silent run";
  ASSERT_TRUE(ParseSwitches("/SILENT /SUPPRESSMSGBOXES", s, error));
  EXPECT_TRUE(s.BoxesSuppressed());
}

struct Refused {
  const char* line;
  const char* named;  // UTF-8 part of the message that names the culprit
};

class RefusedSwitches : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedSwitches, AreNamedInTheMessage) {
  SetupSwitches s;
  std::string error;
  EXPECT_FALSE(ParseSwitches(GetParam().line, s, error));
  EXPECT_NE(error.find(support::Cp1251(GetParam().named)), std::string::npos)
      << support::Utf8FromCp1251(error);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedSwitches,
    ::testing::Values(Refused{"/SILENT /FOO", "Неизвестный параметр командной строки: /FOO"},
                      Refused{"setup.ini", "Неизвестный параметр командной строки: setup.ini"},
                      Refused{"/", "Неизвестный параметр командной строки: /"},
                      Refused{"/SILENTLY", ": /SILENTLY"},
                      Refused{"/SILENT=1", "Параметр /SILENT не имеет значения: /SILENT=1"},
                      Refused{"/DIR", "Для параметра /DIR не указано значение: /DIR"},
                      Refused{"/LOG=", "Неверный путь в параметре /LOG: /LOG="},
                      Refused{"/DIR=", "Неверный путь в параметре /DIR: /DIR="},
                      Refused{"/DIR=Volmarix", "Неверный путь в параметре /DIR: /DIR=Volmarix"},
                      Refused{"/DIR=\\Volmarix", "Неверный путь в параметре /DIR"},
                      Refused{"/DIR=\\\\server", "Неверный путь в параметре /DIR"},
                      Refused{"/DIR=C:Volmarix", "Неверный путь в параметре /DIR"},
                      Refused{"/DIR=C:\\a|b", "Неверный путь в параметре /DIR"},
                      Refused{"/DIR=C:\\a:b", "Неверный путь в параметре /DIR"},
                      Refused{"/LOG=C:\\logs\\*.log", "Неверный путь в параметре /LOG"},
                      Refused{"/DIR=\"C:\\Program Files",
                              "Не закрыта кавычка в параметре: /DIR=C:\\Program Files"}));

TEST(SwitchParser, ReadsPastAnErrorAndReportsTheFirst) {
  SetupSwitches s;
  std::string error;
  EXPECT_FALSE(ParseSwitches("/BAD1 /VERYSILENT /BAD2 /SUPPRESSMSGBOXES /LOG=x.log", s, error));
  EXPECT_NE(error.find("/BAD1"), std::string::npos);
  EXPECT_EQ(error.find("/BAD2"), std::string::npos);
  EXPECT_TRUE(s.BoxesSuppressed() && s.verySilent);
  EXPECT_EQ(s.logFile, "x.log");
}

// Switches administrators copy from other installers' command lines, the
// user scope, repeats and conflicts. An empty error: the line is accepted
// and understood as given.
struct Borrowed {
  const char* line;
  const char* understood;  // joined by blanks, when accepted
  const char* error;       // UTF-8 part of the message, when refused
};

class BorrowedSwitches : public ::testing::TestWithParam<Borrowed> {};

TEST_P(BorrowedSwitches, AreAcceptedOrNamed) {
  const Borrowed& c = GetParam();
  SetupSwitches s;
  std::string error;
  EXPECT_EQ(ParseSwitches(c.line, s, error), !*c.error) << support::Utf8FromCp1251(error);
  if (*c.error) {
    EXPECT_NE(error.find(support::Cp1251(c.error)), std::string::npos)
        << support::Utf8FromCp1251(error);
  } else {
    EXPECT_EQ(Joined(s.understood), c.understood);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, BorrowedSwitches,
    ::testing::Values(Borrowed{"/VERYSILENT /NORESTART /SP- -nocancel /NoCloseApplications",
                               "/VERYSILENT /NORESTART /SP- (no effect) /NOCANCEL (no effect) "
                               "/NOCLOSEAPPLICATIONS (no effect)",
                               ""},
                      Borrowed{"/LOG /SILENT", "/LOG /SILENT", ""},
                      Borrowed{"/ALLUSERS", "/ALLUSERS", ""},
                      Borrowed{"-currentuser", "/CURRENTUSER", ""},
                      Borrowed{"/? /VERYSILENT", "/? /VERYSILENT", ""},
                      Borrowed{"/SP", "", "Неизвестный параметр командной строки: /SP"},
                      Borrowed{"/NORESTART=1", "", "Параметр /NORESTART не имеет значения"},
                      Borrowed{"/ALLUSERS /CURRENTUSER", "",
                               "Параметры /ALLUSERS и /CURRENTUSER несовместимы: /CURRENTUSER"},
                      Borrowed{"/SILENT -silent", "", "Параметр /SILENT указан дважды: -silent"},
                      Borrowed{"/DIR=C:\\a /VERYSILENT -Dir=C:\\b", "",
                               "Параметр /DIR указан дважды: -Dir=C:\\b"},
                      Borrowed{"/LOG=a.log /log", "", "Параметр /LOG указан дважды: /log"},
                      Borrowed{"/sp- /SP-", "", "Параметр /SP- указан дважды"},
                      Borrowed{"/CURRENTUSER /currentuser", "",
                               "Параметр /CURRENTUSER указан дважды"}));

TEST(SwitchParser, SetsTheFieldsOfTheBorrowedSwitchesAndKeepsTheFirstOfARepeat) {
  SetupSwitches s;
  std::string error;
  ASSERT_TRUE(ParseSwitches("/NORESTART /CURRENTUSER /LOG", s, error));
  EXPECT_TRUE(s.noRestart && s.logInTemp);
  EXPECT_EQ(s.logFile, "");
  EXPECT_EQ(s.userScope, installer::UserScope::CurrentUser);
  ASSERT_TRUE(ParseSwitches("/ALLUSERS /NOCANCEL", s, error));
  EXPECT_FALSE(s.noRestart || s.logInTemp);
  EXPECT_EQ(s.userScope, installer::UserScope::AllUsers);
  EXPECT_FALSE(ParseSwitches("/DIR=C:\\first /LOG=a.log /DIR=C:\\second /LOG", s, error));
  EXPECT_EQ(s.dir.value_or(""), "C:\\first");
  EXPECT_EQ(s.logFile, "a.log");
  EXPECT_FALSE(s.logInTemp);
}

// Install folders Windows would not keep as given, or that leave no room
// below them, each refused with its reason.
class RefusedInstallFolders : public ::testing::TestWithParam<Refused> {};

TEST_P(RefusedInstallFolders, NameTheReason) {
  SetupSwitches s;
  std::string error;
  EXPECT_FALSE(ParseSwitches(GetParam().line, s, error));
  EXPECT_NE(error.find(support::Cp1251(GetParam().named)), std::string::npos)
      << support::Utf8FromCp1251(error);
  EXPECT_FALSE(s.dir.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedInstallFolders,
    ::testing::Values(Refused{"/DIR=C:\\Volmarix.",
                              "имя \"Volmarix.\" оканчивается пробелом или точкой"},
                      Refused{"/DIR=\"C:\\Program Files \\Volmarix\"",
                              "имя \"Program Files \" оканчивается пробелом или точкой"},
                      Refused{"/DIR=\"C:\\Volmarix \"", "имя \"Volmarix \" оканчивается"},
                      Refused{"/DIR=C:\\a\\.\\b", "путь содержит \".\""},
                      Refused{"/DIR=C:\\a\\..", "путь содержит \"..\""},
                      Refused{"/DIR=C:\\CON", "имя \"CON\" занято устройством"},
                      Refused{"/DIR=C:\\x\\con.txt\\y", "имя \"con.txt\" занято устройством"},
                      Refused{"/DIR=\"C:\\x\\Nul .txt\"", "имя \"Nul .txt\" занято устройством"},
                      Refused{"/DIR=c:/lpt9", "имя \"lpt9\" занято устройством"},
                      Refused{"/DIR=C:\\Com1.a.b", "имя \"Com1.a.b\" занято устройством"},
                      Refused{"/DIR=\\\\server\\aux\\Volmarix", "имя \"aux\" занято устройством"},
                      Refused{"/DIR=C:\\a>b",
                              "Неверный путь в параметре /DIR: /DIR=C:\\a>b (недопустимый символ)"},
                      Refused{"/DIR=\"C:\\a\x01"
                              "b\"",
                              "недопустимый символ"}));

TEST(SwitchParser, InstallFolderOfMoreThan200CharactersIsRefused) {
  SetupSwitches s;
  std::string error;
  const std::string longest = "C:\\" + std::string(197, 'x');
  ASSERT_EQ(longest.size(), installer::kMaxInstallDirLength);
  EXPECT_TRUE(ParseSwitches("/DIR=" + longest, s, error)) << error;
  EXPECT_FALSE(ParseSwitches("/DIR=" + longest + "y", s, error));
  EXPECT_NE(error.find(support::Cp1251("путь длиннее 200 символов")), std::string::npos)
      << support::Utf8FromCp1251(error);
}

}  // namespace
