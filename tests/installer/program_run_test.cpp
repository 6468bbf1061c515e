// Whole program runs through the posix platform: the exit code of each way a
// run can end, the run log, and what the switches change.
#include "installer/program_run.h"

#include <gtest/gtest.h>

#include "installer/run_log.h"
#include "platform/instance_lock.h"
#include "tests/installer/installer_fixture.h"
#include "tests/installer/run_fixture.h"

#ifdef _WIN32
#include "platform/win32/call_count.h"
#endif

namespace {

using installer::ProductDefinition;
using run_test::A;

enum class Archive { Good, DamagedLast, DamagedMiddle, Missing };
enum class MainWindow { NotShown, LeftWithYes };

struct ExitCase {
  const char* name;
  const char* commandLine;  // %D: the install folder, %L: the run log, %F: a file
  int code;
  Archive archive = Archive::Good;
  std::vector<const char*> boxes = {};            // UTF-8 parts of the boxes shown, in order
  platform::Button answer = platform::kButtonOk;  // the answer to each of them
  const char* logged = "";                        // UTF-8 part of the run log
  MainWindow main = MainWindow::NotShown;
  bool hostProduct = false;  // a product that needs results.vlm in the folder
  bool lockHeld = false;     // another installer runs
  bool heldFile = false;     // an earlier Lectorn.exe that a running program holds
};

class ProgramRunTest : public run_test::RunTest {
 protected:
  int RunSetup(std::string line, const ProductDefinition& product = installer::ShippedProduct(),
               MainWindow main = MainWindow::NotShown) {
    for (const auto& [key, value] : {std::pair<std::string, std::string>{"%D", Install()},
                                     {"%L", LogFile()},
                                     {"%F", dist_ + "\\setup.exe"}}) {
      for (size_t at; (at = line.find(key)) != std::string::npos;) line.replace(at, 2, value);
    }
    return installer::RunProgram(line, product, [main](platform::Form& form) {
      if (main == MainWindow::NotShown) ADD_FAILURE() << "the main window was shown";
      if (main == MainWindow::LeftWithYes) form.Close();
      return 0;
    });
  }
  std::string LogFile() const { return root_->Path() + "\\run.log"; }
};

class ExitCodes : public ProgramRunTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitCodes, TellHowTheRunEnded) {
  const ExitCase& c = GetParam();
  auto members = ProductMembers();
  members.back().damaged = c.archive == Archive::DamagedLast;
  members[members.size() / 2].damaged = c.archive == Archive::DamagedMiddle;
  if (c.archive != Archive::Missing) WriteVolume(1, members);
  ProductDefinition product = installer::ShippedProduct();
  if (c.hostProduct) {
    product.RequiredFiles = {"results.vlm"};
    product.RequiredFileCount = 1;
  }
  Write(dist_ + "\\setup.exe", "exe");
  for (const char* box : c.boxes) ui_.ExpectMessage(c.answer, A(box));
  std::unique_ptr<platform::InstanceLock> other;
  if (c.lockHeld) other = platform::AcquireInstanceLock(installer::InstanceLockName(product), 0);
  if (c.heldFile) {
    Write(Install("Lectorn.exe"), "lectorn v1, running");
    files_->deleteFails[installer::UpperAscii(Install("Lectorn.exe"))] = -1;
  }

  EXPECT_EQ(RunSetup(c.commandLine, product, c.main), c.code);
  if (*c.logged) {
    EXPECT_NE(Read(LogFile()).find(c.logged), std::string::npos) << Read(LogFile());
  }
  if (std::string(c.commandLine).find("%L") != std::string::npos) {
    const std::string log = Read(LogFile()), exit = " EXIT " + std::to_string(c.code) + "\r\n";
    EXPECT_TRUE(log.size() > exit.size() &&
                log.compare(log.size() - exit.size(), exit.size(), exit) == 0)
        << log;
  }
  if (c.code != 0 && !c.heldFile) {
    EXPECT_FALSE(files_->FileExists(Install("Lectorn.exe")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExitCodes,
    ::testing::Values(
        ExitCase{.name = "Installed",
                 .commandLine = "/VERYSILENT /SUPPRESSMSGBOXES /DIR=%D /LOG=%L",
                 .code = 0,
                 .logged = "OUTCOME 0 completed"},
        ExitCase{.name = "UnknownSwitch",
                 .commandLine = "/DIR=%D /FOO",
                 .code = 1,
                 .boxes = {"Неизвестный параметр командной строки: /FOO"}},
        ExitCase{.name = "UnknownSwitchLogged",
                 .commandLine = "/VERYSILENT /SUPPRESSMSGBOXES /FOO /LOG=%L",
                 .code = 1,
                 .logged = "MESSAGE [Ошибка] Неизвестный параметр командной строки: /FOO"},
        ExitCase{.name = "RepeatedSwitchLogged",
                 .commandLine = "/VERYSILENT /SUPPRESSMSGBOXES /LOG=%L /DIR=%D -dir=%D",
                 .code = 1,
                 .logged = "OUTCOME 1 not started: Параметр /DIR указан дважды: -dir="},
        // A log that cannot be opened changes neither the run nor its exit code.
        ExitCase{.name = "LogCannotBeCreated",
                 .commandLine = "/VERYSILENT /DIR=%D /LOG=%F\\run.log",
                 .code = 0},
        ExitCase{.name = "LogOnAMissingDrive",
                 .commandLine = "/VERYSILENT /SUPPRESSMSGBOXES /DIR=%D /LOG=Q:\\x\\setup.log",
                 .code = 0},
        ExitCase{.name = "LogCannotBeCreatedFolderRefused",
                 .commandLine = "/VERYSILENT /SUPPRESSMSGBOXES /DIR=%D /LOG=%F\\run.log",
                 .code = 3,
                 .hostProduct = true},
        ExitCase{.name = "Help",
                 .commandLine = "/?",
                 .code = 0,
                 .boxes = {"/VERYSILENT - то же без каких-либо окон."}},
        // A silent run asked for an installation: the list alone does not complete it.
        ExitCase{.name = "HelpSilent",
                 .commandLine = "/SILENT /? /LOG=%L",
                 .code = 1,
                 .boxes = {"/VERYSILENT - то же без каких-либо окон."},
                 .logged = "OUTCOME 1 not started: the list of switches was asked for"},
        ExitCase{.name = "HelpVerySilent", .commandLine = "-help /VERYSILENT", .code = 1},
        ExitCase{.name = "HelpSilentBoxesSuppressed",
                 .commandLine = "/SILENT /SUPPRESSMSGBOXES /HELP",
                 .code = 1},
        ExitCase{.name = "ArchiveMissing",
                 .commandLine = "/VERYSILENT /DIR=%D",
                 .code = 1,
                 .archive = Archive::Missing,
                 .boxes = {"Не найден файл setup.dat."}},
        ExitCase{.name = "UserLeaves",
                 .commandLine = "/LOG=%L",
                 .code = 2,
                 .boxes = {"Вы хотите выйти из программы,"},
                 .answer = platform::kButtonYes,
                 .logged = "OUTCOME 2",
                 .main = MainWindow::LeftWithYes},
        ExitCase{.name = "HostSystemMissing",
                 .commandLine = "/VERYSILENT /SUPPRESSMSGBOXES /DIR=%D /LOG=%L",
                 .code = 3,
                 .logged = "не найдены некоторые компоненты",
                 .hostProduct = true},
        ExitCase{.name = "FolderCannotBeCreated",
                 .commandLine = "/SILENT /DIR=%F\\sub",
                 .code = 3,
                 .boxes = {"Невозможно создать каталог"}},
        ExitCase{.name = "RolledBack",
                 .commandLine = "/VERYSILENT /SUPPRESSMSGBOXES /DIR=%D /LOG=%L",
                 .code = 4,
                 .archive = Archive::DamagedLast,
                 .logged = "Ошибка при чтении данных"},
        ExitCase{.name = "MiddleMemberDamaged",
                 .commandLine = "/VERYSILENT /SUPPRESSMSGBOXES /DIR=%D /LOG=%L",
                 .code = 4,
                 .archive = Archive::DamagedMiddle,
                 .logged = "ERROR volume 1: member \"MentorixHelp.chm\" skipped: wrong password or "
                           "damaged data"},
        ExitCase{.name = "FileInUseReplacedAtRestart",
                 .commandLine = "/VERYSILENT /SUPPRESSMSGBOXES /DIR=%D /LOG=%L",
                 .code = 3010,
                 .logged = "OUTCOME 3010 installed; restart needed",
                 .heldFile = true},
        ExitCase{.name = "UnknownComponent",
                 .commandLine = "/VERYSILENT /DIR=%D /COMPONENTS=Extras",
                 .code = 1,
                 .boxes = {"Неизвестный компонент в параметре /COMPONENTS: Extras"}},
        ExitCase{.name = "AlreadyRunning",
                 .commandLine = "/SILENT /SUPPRESSMSGBOXES /LOG=%L",
                 .code = 6,
                 .logged = "уже запущена",
                 .lockHeld = true}),
    [](const ::testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

TEST_F(ProgramRunTest, SilentShowsOnlyTheCopyWindowCentredWithTheApplicationTitle) {
  WriteVolume(1, ProductMembers());
  bool copied = false;
  ui_.ExpectForm([&](platform::Form& form) {
    EXPECT_EQ(form.name, "InstF3");
    EXPECT_EQ(form.position, platform::FormPosition::ScreenCenter);
    EXPECT_EQ(form.caption, "Mentorix for ZOLV");
    form.Shown();
    copied = true;
    return platform::kMrNone;
  });
  EXPECT_EQ(RunSetup("/SILENT /DIR=%D"), 0);
  EXPECT_TRUE(copied);
  EXPECT_EQ(Read(Install("Lectorn.exe")), "lectorn v2");
}

TEST_F(ProgramRunTest, SwitchesTakePrecedenceOverTheSettingsFile) {
  WriteVolume(1, ProductMembers());
  Write(dist_ + "\\setup.ini",
        "[Main]\r\nInstallDir=C:\\Elsewhere\r\n[Links]\r\nStartMenu=1\r\nDesktop=1\r\n"
        "[Setup]\r\nRun=1\r\n");
  EXPECT_EQ(RunSetup("/VERYSILENT /SUPPRESSMSGBOXES /DIR=%D /NOICONS /NORUN /NORESTART /LOG=%L"),
            0);
  EXPECT_EQ(Read(Install("Lectorn.exe")), "lectorn v2");
  EXPECT_TRUE(shell_->links.empty());
  EXPECT_FALSE(installer::Profile().SetupRun);
  const std::string log = Read(LogFile());
  EXPECT_NE(log.find(" SETTING InstallDir=" + Install() + "\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("StartMenu=0 Desktop=0 Run=0"), std::string::npos) << log;
  EXPECT_NE(log.find(" SETTING Restart=0: no restart will be made\r\n"), std::string::npos) << log;
}

// The program group goes where its users see it: every user's Start menu
// for /ALLUSERS or the machine account (deployment tools), the running
// user's otherwise; an explicit switch wins over the account.
TEST_F(ProgramRunTest, LinksGoToTheStartMenuOfThoseWhoWillUseThem) {
  const struct {
    const char* switches;
    bool machineAccount, allUsers;
  } cases[] = {{"", false, false},
               {"", true, true},
               {"/ALLUSERS", false, true},
               {"/CURRENTUSER", true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.switches) + (c.machineAccount ? " as LocalSystem" : " as a user"));
    if (&c != cases) {
      TearDown();
      SetUp();
    }
    WriteVolume(1, ProductMembers());
    shell_->machineAccount = c.machineAccount;
    EXPECT_EQ(RunSetup(std::string("/VERYSILENT /DIR=%D /LOG=%L ") + c.switches), 0);
    const std::string group =
        (c.allUsers ? shell_->commonProgramsDir : programsDir_) + "\\Mentorix for Volmar";
    ASSERT_FALSE(shell_->links.empty());
    EXPECT_EQ(shell_->links.back().path, group + "\\Mentorix Info.lnk");
    // The uninstaller removes the links that the install log names.
    EXPECT_NE(Read(LogPath()).find(group + "\\Mentorix Info.lnk"), std::string::npos);
    EXPECT_NE(Read(LogFile()).find(c.allUsers ? "Links=all users" : "Links=current user"),
              std::string::npos);
  }
}

// An unattended run does not leave out a file that a program holds: the new
// file waits beside it, and once the run has committed the system is asked
// to put it in place at the next restart (exit 3010). A run rolled back
// schedules nothing and leaves no waiting file; a move the system will not
// schedule leaves the earlier file, reported as not updated (exit 5).
TEST_F(ProgramRunTest, AFileInUseIsReplacedAtTheNextRestart) {
  const struct {
    const char* name;
    bool damaged, refused;
    int code;
  } cases[] = {{"committed", false, false, 3010},
               {"rolled back", true, false, 4},
               {"refused", false, true, 5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (&c != cases) {
      TearDown();
      SetUp();
    }
    auto members = ProductMembers();
    members.back().damaged = c.damaged;
    WriteVolume(1, members);
    const std::string target = Install("Lectorn.exe"), waiting = target + ".~new";
    Write(target, "lectorn v1, running");
    files_->deleteFails[installer::UpperAscii(target)] = -1;
    files_->restartRefused = c.refused;
    EXPECT_EQ(RunSetup("/VERYSILENT /SUPPRESSMSGBOXES /DIR=%D /LOG=%L"), c.code);
    EXPECT_EQ(Read(target), "lectorn v1, running");
    std::vector<std::pair<std::string, std::string>> scheduled;
    if (c.code == 3010) scheduled.emplace_back(waiting, target);
    EXPECT_EQ(files_->restartMoves, scheduled);
    EXPECT_EQ(files_->FileExists(waiting), c.code == 3010);
    if (c.code == 3010) {
      EXPECT_EQ(Read(waiting), "lectorn v2");
    }
  }
}

// The deepest member must fit in a Windows path below the staging folder:
// one character too many refuses the folder before anything is made.
TEST_F(ProgramRunTest, AFolderTooDeepForTheDeepestMemberIsRefused) {
  const std::string member = "MENTORIX\\" + std::string(60, 'm') + ".txt";
  for (const size_t length : {259u, 260u}) {
    SCOPED_TRACE(length);
    if (length != 259) {
      TearDown();
      SetUp();
    }
    WriteVolume(1, {{"Lectorn.exe", "l"}, {member, "deep"}});
    const std::string base = Install() + "\\";
    const size_t fixed = base.size() + std::string("\\TEMP\\").size() + member.size();
    ASSERT_LT(fixed, length);
    const std::string dir = base + std::string(length - fixed, 'd');
    const bool fits = length == 259;
    EXPECT_EQ(RunSetup("/VERYSILENT /SUPPRESSMSGBOXES /LOG=%L /DIR=" + dir), fits ? 0 : 1);
    EXPECT_EQ(files_->DirectoryExists(dir), fits);
    if (!fits) {
      EXPECT_NE(Read(LogFile()).find(member + " (260 символов в пути, допустимо 259)"),
                std::string::npos)
          << Read(LogFile());
    }
  }
}

#ifdef _WIN32
// The Windows calls a fresh installation makes for each member: the create
// of its file, in its place, and its time and attributes through the
// handle; no move, no probe, no folder call. Taken as the difference between
// runs of 4 and 8 members in the same folders, so the run's own calls
// cancel out.
TEST_F(ProgramRunTest, AFreshInstallationMakesOnlyTheCallsEachMemberNeeds) {
  using platform::win32::CallKind;
  const std::vector<std::pair<CallKind, const char*>> kinds = {
      {CallKind::Open, "opens"},
      {CallKind::Create, "creates"},
      {CallKind::Move, "moves"},
      {CallKind::Delete, "deletes"},
      {CallKind::Attributes, "attributes"},
      {CallKind::Time, "times"},
      {CallKind::Probe, "probes"},
      {CallKind::Folder, "folders"},
      {CallKind::Flush, "flushes"},
      {CallKind::Copy, "copies"},
      {CallKind::Enumerate, "enumerations"}};
  const auto calls = [&](int members) {
    std::vector<run_test::ArchiveMember> archive;
    for (int i = 0; i < members; ++i)
      archive.push_back({"MENTORIX\\doc\\f" + std::to_string(i) + ".txt", "text"});
    WriteVolume(1, archive);
    platform::win32::SetCallCounting(true);
    EXPECT_EQ(RunSetup("/VERYSILENT /SUPPRESSMSGBOXES /NOICONS /DIR=%D"), 0);
    std::map<std::string, long> counts;
    for (const auto& [kind, name] : kinds) counts[name] = platform::win32::CallsOf(kind);
    platform::win32::SetCallCounting(false);
    return counts;
  };
  const auto four = calls(4);
  TearDown();
  SetUp();
  const auto eight = calls(8);
  std::map<std::string, long> perMember;
  for (const auto& [kind, name] : kinds) perMember[name] = (eight.at(name) - four.at(name)) / 4;
  const std::map<std::string, long> expected = {{"opens", 0},   {"creates", 1},     {"moves", 0},
                                                {"deletes", 0}, {"attributes", 1},  {"times", 1},
                                                {"probes", 0},  {"folders", 0},     {"flushes", 0},
                                                {"copies", 0},  {"enumerations", 0}};
  EXPECT_EQ(perMember, expected);
}
#endif

TEST_F(ProgramRunTest, ComponentsNameTheSetToInstall) {
  WriteVolume(1, {{"A/a.txt", "a"}, {"B/b.txt", "b"}, {"C/c.txt", "c"}, {"root.txt", "r"}});
  // Components by caption or by folder, in any letter case.
  EXPECT_EQ(RunSetup("/VERYSILENT /DIR=%D /COMPONENTS=\"component c, b\"",
                     installer_test::ProductWith({"A", "B", "C"})),
            0);
  EXPECT_FALSE(files_->FileExists(Install("A\\a.txt")));
  EXPECT_EQ(Read(Install("B\\b.txt")), "b");
  EXPECT_EQ(Read(Install("C\\c.txt")), "c");
}

TEST_F(ProgramRunTest, TheRunLogRecordsChecksAndEndsWithTheExitCode) {
  WriteVolume(1, ProductMembers());
  Write(LogFile(), "earlier run\r\n");
  installer::SetRunLogClock([] { return std::string("2026-12-08 10:00:00.000"); });
  EXPECT_EQ(RunSetup("/VERYSILENT /SUPPRESSMSGBOXES /DIR=%D /LOG=%L"), 0);
  installer::SetRunLogClock({});
  const std::string log = Read(LogFile());
  const std::string stamp = "\r\n2026-12-08 10:00:00.000 ";
  for (const std::string& line : std::vector<std::string>{
           "SWITCH /DIR=" + Install(), "CHECK volume setup.dat: present",
           "CHECK install folder \"" + Install() + "\": created",
           "CHECK write test in \"" + Install() + "\": passed",
           "RUN installing into \"" + Install() + "\"", "VOLUME 1/1 \"" + dist_ + "\\setup.dat\"",
           "PLACED \"" + Install("Lectorn.exe") + "\"",
           std::string("MESSAGE [Информация] Установка комплекса Mentorix успешно завершена."),
           std::string("EXIT 0\r\n")}) {
    EXPECT_NE(log.find(stamp + line), std::string::npos) << line << "\n" << log;
  }
  // The START line names the product, its version and the build.
#ifdef _WIN32
  const std::string build = sizeof(void*) == 8 ? "win64 " : "win32 ";
#else
  const std::string build = "native ";
#endif
  EXPECT_EQ(
      log.rfind(
          "earlier run\r\n2026-12-08 10:00:00.000 START Mentorix for Volmar 2.6 (build " + build,
          0),
      0u)
      << log;
  EXPECT_FALSE(installer::RunLogActive());
}

TEST_F(ProgramRunTest, ABareLogSwitchWritesTheNextNumberedFileOfTheDayInTemp) {
  WriteVolume(1, ProductMembers());
  const std::string base = files_->TempDir() + "\\Mentorix for Volmar Setup Log 2026-12-10 #";
  const std::string first = base + "001.txt", second = base + "002.txt";
  files_->DeleteFile(second);
  Write(first, "an earlier run\r\n");
  installer::SetRunLogClock([] { return std::string("2026-12-10 12:13:55.297 +0300"); });
  EXPECT_EQ(RunSetup("/VERYSILENT /SUPPRESSMSGBOXES /DIR=%D /LOG"), 0);
  installer::SetRunLogClock({});
  const std::string earlier = Read(first), log = Read(second);
  files_->DeleteFile(first);
  files_->DeleteFile(second);
  EXPECT_EQ(earlier, "an earlier run\r\n");
  EXPECT_NE(log.find(" SWITCH /LOG\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" SETTING LogFile=" + second + "\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" EXIT 0\r\n"), std::string::npos) << log;
}

}  // namespace
