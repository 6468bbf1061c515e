// A run that does not complete leaves the machine as it found it: the fault
// matrix. Each fault runs twice, over an empty install folder and over an
// earlier installation with other file contents, shortcuts and association
// values, a read-only file, an empty folder and a TEMP folder of the host's.
// The system folder is on another drive, so that placing a system file
// copies it there. After a rollback the install folder, the system folder,
// the shortcuts and the registry are what they were before the run (a fresh
// install keeps its new UNINST folder); a completed run lists its problems.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <tuple>

#include "installer/profile.h"
#include "tests/installer/posix_run_fixture.h"

namespace run_test {
namespace {

namespace posix = platform::posix;
using installer::Profile;
using platform::RootKey;

enum class Fault {
  DamagedFirst,
  DamagedMiddle,
  DamagedLast,
  SecondVolumeMissing,
  FullWhileStaging,
  FullWhilePlacing,
  HeldFileGoneOn,
  RegistryRefused,
  LinkNotSaved,
  LogUnwritable,
  LogMoveFails,
};

struct Row {
  Fault fault;
  const char* name;
  installer::TRunOutcome outcome;
  installer::TFailureKind failure;
  const char* says;  // a piece of the last message box; <LOG>, <SYS>: those paths
};

const Row kRows[] = {
    {Fault::DamagedFirst, "DamagedFirstMember", installer::roRolledBack, installer::fkArchive,
     "испорчен файл setup.dat."},
    {Fault::DamagedMiddle, "DamagedMiddleMember", installer::roRolledBack, installer::fkArchive,
     "испорчен файл setup.dat."},
    {Fault::DamagedLast, "DamagedLastMember", installer::roRolledBack, installer::fkArchive,
     "испорчен файл setup.dat."},
    {Fault::SecondVolumeMissing, "SecondVolumeMissing", installer::roRolledBack,
     installer::fkArchive, "испорчен файл setup.dat2."},
    {Fault::FullWhileStaging, "DiskFullWhileStaging", installer::roRolledBack,
     installer::fkDiskFull, "\".\r\nThere is not enough space on the disk.\r\n"},
    {Fault::FullWhilePlacing, "DiskFullWhilePlacing", installer::roRolledBack,
     installer::fkDiskFull, "Ошибка при записи файла \"<SYS>\".\r\nThere is not enough space"},
    {Fault::HeldFileGoneOn, "HeldFileGoneOn", installer::roCompletedWithProblems, installer::fkNone,
     "Не удалось обновить следующие файлы: \r\n\"<SYS>\"."},
    {Fault::RegistryRefused, "RegistryRefused", installer::roCompleted, installer::fkNone,
     "успешно завершена."},
    {Fault::LinkNotSaved, "LinkNotSaved", installer::roCompletedWithProblems, installer::fkNone,
     "Не удалось создать следующие ярлыки"},
    {Fault::LogUnwritable, "LogUnwritable", installer::roRolledBack, installer::fkDiskFull,
     "Ошибка при записи файла \"<LOG>\".\r\nThere is not enough space"},
    {Fault::LogMoveFails, "LogMoveFails", installer::roRolledBack, installer::fkFileSystem,
     "Ошибка при записи файла \"<LOG>\".\r\nAccess is denied."},
};

enum class Before { EmptyFolder, EarlierInstallation };

class RollbackMatrixTest : public PosixRunTest,
                           public ::testing::WithParamInterface<std::tuple<Before, Row>> {
 protected:
  void SetUp() override {
    PosixRunTest::SetUp();
    // The system folder on drive D:, named after the test's folder on C:.
    otherDrive_ = "D:" + root_->Path().substr(root_->Path().rfind('\\'));
    UseSystemDir(otherDrive_ + "\\system32");
  }
  void TearDown() override {
    PosixRunTest::TearDown();
    testing_support::RemoveTree(otherDrive_);
  }

  static std::vector<ArchiveMember> Members() {
    return {{"Lectorn.exe", "lectorn v2"},     {"Variomat.exe", "variomat v2"},
            {"MentorixHelp.chm", "help v2"},   {"MENTORIX/doc/intro.txt", "intro v2"},
            {"MENTORIX/new/deep.txt", "deep"}, {"SYSTEM/mtxrt32.dll", "runtime v2"}};
  }

  // The host's files, and with an earlier installation its files, links,
  // log and association keys, all different from what the run brings.
  void MakeMachine(Before before) {
    Write(Sys("sysvanta.exe"), "uninstaller");
    Write(Sys("mtxrt32.dll"), "runtime v1");
    files_->SetDosTime(Sys("mtxrt32.dll"), 0x2A8C6000);  // 2001: the run's copy is newer
    posix::SetRegistryString(RootKey::ClassesRoot, ".txt", "", "txtfile");
    if (before == Before::EmptyFolder) return;
    Write(Install("Lectorn.exe"), "lectorn v1");
    Write(Install("Variomat.exe"), "variomat v1");
    Write(Install("MentorixHelp.chm"), "help v1");
    Write(Install("MENTORIX\\doc\\intro.txt"), "intro v1");
    files_->SetAttributes(Install("MENTORIX\\doc\\intro.txt"), platform::kAttrReadOnly);
    files_->ForceDirectories(Install("MENTORIX\\empty"));
    Write(Install("Variomat.ini"), "user settings");
    Write(Install("TEMP\\host.txt"), "the host's own");
    Write(LogPath(), "old header|\r\n" + Install("Lectorn.exe") + "\r\n");
    Write(Group() + "\\ZOLV Lectorn.lnk", "earlier link");
    Write(Install("UNINST\\MentorixUninstall.lnk"), "earlier uninstall link");
    posix::SetRegistryString(RootKey::ClassesRoot, ".vmv", "", "OtherApp.vmv");
    posix::SetRegistryString(RootKey::ClassesRoot, "vlmgroup", "", "Old description");
    posix::SetRegistryString(RootKey::ClassesRoot, "vlmgroup", "EditFlags", "0");
    posix::SetRegistryString(RootKey::ClassesRoot, "vlmgroup\\Shell\\Open\\command", "",
                             "\"C:\\Old\\Lectorn.exe\" \"%1\"");
  }

  // Entries of a snapshot that are registry keys and values.
  static std::set<std::string> Registry(const std::set<std::string>& all) {
    std::set<std::string> keys;
    for (const auto& e : all)
      if (e.rfind("key ", 0) == 0 || e.rfind("value ", 0) == 0) keys.insert(e);
    return keys;
  }

  std::string otherDrive_;
};

TEST_P(RollbackMatrixTest, RollbackRestoresTheMachineAndCompletedRunsListTheirProblems) {
  const auto& [machine, row] = GetParam();
  installer::ProductDefinition product = installer::ShippedProduct();
  if (row.fault == Fault::SecondVolumeMissing) product.VolumeCount = 2;
  Prepare(product);
  MakeMachine(machine);
  std::vector<ArchiveMember> members = Members();
  if (row.fault == Fault::DamagedFirst) members.front().damaged = true;
  if (row.fault == Fault::DamagedMiddle) members[2].damaged = true;
  if (row.fault == Fault::DamagedLast) members.back().damaged = true;
  WriteVolume(1, members);
  const std::set<std::string> before = Snapshot();

  auto& faults = posix::faults();
  switch (row.fault) {
    case Fault::FullWhileStaging:
      faults.freeBytes = 3;
      break;
    case Fault::FullWhilePlacing:  // every member is staged; the system file's copy finds no room
      faults.freeBytes = int64_t(Bytes(members));
      break;
    case Fault::HeldFileGoneOn:
      faults.deleteFails = {Sys("mtxrt32.dll")};
      ui_.ExpectMessage(platform::kButtonIgnore, A("Ошибка при обновлении файла"));
      break;
    case Fault::RegistryRefused:
      faults.registryReadOnly = true;
      break;
    case Fault::LinkNotSaved:
      faults.shellLinkFails = true;
      break;
    case Fault::LogUnwritable:  // the disk fills up once the last shortcut row is done
      ui_.SetProcessMessagesHook([this] {
        const auto& bar = copier_->form["ProgressBar1"];
        if (bar.maximum > 0 && bar.position == bar.maximum) posix::faults().fullDisk = true;
      });
      break;
    case Fault::LogMoveFails:
      faults.moveFails = {LogPath()};
      break;
    default:
      break;
  }
  ui_.ExpectMessage(platform::kButtonOk);
  Run();
  faults = posix::Faults();

  EXPECT_EQ(copier_->Outcome, row.outcome);
  EXPECT_EQ(copier_->Failure, row.failure);
  const std::string says = installer::ReplaceMacro(
      installer::ReplaceMacro(A(row.says), "<LOG>", LogPath()), "<SYS>", Sys("mtxrt32.dll"));
  EXPECT_NE(Report().find(says), std::string::npos) << Report();
  const std::set<std::string> after = Snapshot();
  if (row.outcome == installer::roRolledBack) {
    std::vector<std::string> expected;
    if (machine == Before::EmptyFolder) expected.push_back("+ " + Install("UNINST") + "\\");
    EXPECT_EQ(Changes(before, after), expected);
  } else {
    EXPECT_TRUE(copier_->Finished);
    if (row.fault == Fault::RegistryRefused) {
      EXPECT_EQ(Registry(after), Registry(before));
    }
    if (row.fault == Fault::HeldFileGoneOn) {
      EXPECT_EQ(Read(Sys("mtxrt32.dll")), "runtime v1");
    }
    if (row.fault == Fault::LinkNotSaved && machine == Before::EarlierInstallation) {
      EXPECT_EQ(Read(Group() + "\\ZOLV Lectorn.lnk"), "earlier link");
      EXPECT_EQ(Read(Install("UNINST\\MentorixUninstall.lnk")), "earlier uninstall link");
    }
    // Nothing of the run's own stays behind: no staging or backup folder.
    EXPECT_FALSE(files_->DirectoryExists(Install("TEMP2")));
    EXPECT_FALSE(files_->DirectoryExists(Install("~BACKUP")));
    EXPECT_FALSE(files_->DirectoryExists(Sys("~BACKUP")));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RollbackMatrixTest,
    ::testing::Combine(::testing::Values(Before::EmptyFolder, Before::EarlierInstallation),
                       ::testing::ValuesIn(kRows)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param) == Before::EmptyFolder ? "Empty_" : "Earlier_") +
             std::get<1>(info.param).name;
    });

}  // namespace
}  // namespace run_test

#endif  // _WIN32
