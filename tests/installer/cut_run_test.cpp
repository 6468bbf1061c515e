// A run cut off at any moment is undone by the next start. The run goes on
// in a child process that ends (_exit, no rollback, no destructors) at its
// n-th journal step, for every n in turn; the child hands its registry back,
// as the real one outlives a process. The next start's recovery must then
// leave the machine as it was before the run, also when the recovery is
// itself cut off once on the way. The machine holds an earlier installation:
// replaced files (one read-only), a system file on another drive, a link,
// an install log and association values.
#ifndef _WIN32

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "installer/run_journal.h"
#include "installer/run_recovery.h"
#include "installer/run_undo.h"
#include "platform/posix/folder_watch.h"
#include "tests/installer/posix_run_fixture.h"

namespace run_test {
namespace {

namespace posix = platform::posix;
using platform::RootKey;

constexpr int kCutExit = 42, kEndExit = 43;

class CutRunTest : public PosixRunTest {
 protected:
  void SetUp() override {
    // Children share the parent's change notices and would use them up:
    // every lookup reads the disk instead.
    posix::SetFolderWatch(false);
    PosixRunTest::SetUp();
    otherDrive_ = "D:" + root_->Path().substr(root_->Path().rfind('\\'));
    UseSystemDir(otherDrive_ + "\\system32");
    // Outside the machine that snapshots compare.
    dump_ = "/tmp/setup_cut_registry_" + std::to_string(getpid());
  }
  void TearDown() override {
    installer::SetJournalStepHook(nullptr);
    ::unlink(dump_.c_str());
    PosixRunTest::TearDown();
    testing_support::RemoveTree(otherDrive_);
    posix::SetFolderWatch(true);
  }

  void MakeMachine() {
    Write(Sys("mtxrt32.dll"), "runtime v1");
    files_->SetDosTime(Sys("mtxrt32.dll"), 0x2A8C6000);  // older than the run's copy
    Write(Install("Lectorn.exe"), "lectorn v1");
    Write(Install("MENTORIX\\doc\\intro.txt"), "intro v1");
    Write(LogPath(), "old header|\r\n" + Install("Lectorn.exe") + "\r\n");
    Write(Group() + "\\ZOLV Lectorn.lnk", "earlier link");
    posix::SetRegistryString(RootKey::ClassesRoot, ".vmv", "", "OtherApp.vmv");
    posix::SetRegistryString(RootKey::ClassesRoot, "vlmgroup\\Shell\\Open\\command", "",
                             "\"C:\\Old\\Lectorn.exe\" \"%1\"");
    WriteVolume(1, {{"Lectorn.exe", "lectorn v2"},
                    {"Variomat.exe", "variomat v2"},
                    {"MentorixHelp.chm", "help v2"},
                    {"MENTORIX/doc/intro.txt", "intro v2"},
                    {"SYSTEM/mtxrt32.dll", "runtime v2"}});
  }

  // Runs fn in a child that ends at its cutAt-th step (0: at none). True
  // when the cut came before fn ended. The child's registry is taken over.
  bool InChild(int cutAt, const std::function<void()>& fn) {
    const pid_t pid = fork();
    if (pid == 0) {
      int step = 0;
      installer::SetJournalStepHook([&](const char*) {
        if (++step == cutAt) {
          SaveRegistry();
          _exit(kCutExit);
        }
      });
      fn();
      SaveRegistry();
      _exit(kEndExit);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "the child crashed";
    LoadRegistry();
    return WEXITSTATUS(status) == kCutExit;
  }

  void SaveRegistry() const {
    std::ofstream out(posix::LinuxPath(dump_), std::ios::binary);
    for (const auto& [root, key] : posix::RegistryKeys())
      out << "K\t" << int(root) << "\t" << key << "\n";
    for (const auto& v : posix::RegistryContents())
      out << "V\t" << int(v.root) << "\t" << v.key << "\t" << v.name << "\t" << v.value << "\n";
  }
  void LoadRegistry() const {
    posix::ClearRegistry();
    std::ifstream in(posix::LinuxPath(dump_), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      std::vector<std::string> f;
      std::stringstream parts(line);
      for (std::string part; std::getline(parts, part, '\t');) f.push_back(part);
      f.resize(5);
      const auto root = RootKey(std::stoi(f[1]));
      if (f[0] == "V") posix::SetRegistryString(root, f[2], f[3], f[4]);
      if (f[0] == "K") {  // a key without values
        posix::SetRegistryString(root, f[2], "~", "");
        platform::registry().DeleteValue(root, f[2], "~");
      }
    }
  }

  // The machine as it was before any run, with fixed file times.
  void Reset() {
    for (const std::string& dir : {Install(), programsDir_, desktopDir_, systemDir_})
      testing_support::RemoveTree(dir);
    for (const std::string& dir : {Install(), programsDir_, desktopDir_, systemDir_})
      files_->ForceDirectories(dir);
    ClearMachineRegistry();
    MakeMachine();
    FixTimes(root_->Path());
    FixTimes(systemDir_);
    files_->SetAttributes(Install("MENTORIX\\doc\\intro.txt"), platform::kAttrReadOnly);
  }
  void FixTimes(const std::string& folder) {
    for (const auto& f : files_->Enumerate(folder, "*.*")) {
      const std::string path = folder + "\\" + f.name;
      if (f.attributes & platform::kAttrDirectory)
        FixTimes(path);
      else if (f.name != "mtxrt32.dll")
        files_->SetDosTime(path, 0x4A8C6000);
    }
  }

  // Whether the journal of the cut run carries its commit mark (or is gone).
  static bool RunCommitted(const std::string& product) {
    const std::vector<std::string> journals = installer::RecordedJournals(product);
    if (journals.empty()) return true;
    auto file = platform::files().Open(journals[0], platform::OpenMode::ReadShareRead, nullptr);
    return file && installer::ReadJournal(platform::ReadToEnd(*file)).committed;
  }

  static std::set<std::string> Untimed(const std::set<std::string>& all) {
    std::set<std::string> out;
    for (const std::string& e : all) out.insert(e.substr(0, e.rfind(" @")));
    return out;
  }

  std::string otherDrive_, dump_;
};

// Every cut of the run, then a recovery that is itself cut at a step that
// moves on with the run's cut, finished by the start after it. A cut before
// the commit mark gives the machine as it was; one after it, the completed
// installation (times aside: the install log is written at run time).
TEST_F(CutRunTest, EveryCutOfTheRunIsUndoneByTheNextStart) {
  Prepare();
  const std::string product = installer::Profile().ProductName;
  Reset();
  const std::set<std::string> before = Snapshot();
  ASSERT_FALSE(InChild(0, [this] { Run(); }));
  const std::set<std::string> installed = Untimed(Snapshot());
  ASSERT_NE(installed, Untimed(before));

  int cuts = 0, committed = 0;
  for (int cut = 1;; ++cut) {
    Reset();
    ASSERT_EQ(Changes(before, Snapshot()), std::vector<std::string>());
    if (!InChild(cut, [this] { Run(); })) break;  // the run ended before this step
    ++cuts;
    const bool done = RunCommitted(product);
    committed += done;
    InChild(1 + cut % 5, [&] { installer::RecoverInterruptedRuns(product); });
    const installer::RecoveryReport report = installer::RecoverInterruptedRuns(product);
    EXPECT_TRUE(report.left.empty()) << "cut " << cut;
    if (done)
      EXPECT_EQ(Changes(installed, Untimed(Snapshot())), std::vector<std::string>())
          << "cut " << cut;
    else
      EXPECT_EQ(Changes(before, Snapshot()), std::vector<std::string>()) << "cut " << cut;
    EXPECT_TRUE(installer::RecordedJournals(product).empty()) << "cut " << cut;
    if (HasFailure()) break;
  }
  EXPECT_GT(cuts, 20);
  EXPECT_GT(committed, 0);
}

// A rollback that cannot put a file back (the new copy is held open, as a
// scanner would) says so, keeps the journal, and the next start finishes
// the restore once the file is free.
TEST_F(CutRunTest, ARestoreThatFailsIsToldAndFinishedByTheNextStart) {
  Prepare();
  Reset();
  // The archive fails at its last member, after Lectorn.exe was replaced.
  WriteVolume(1,
              {{"Lectorn.exe", "lectorn v2"}, {"Variomat.exe", "variomat v2", 0x5A8C6000, true}});
  FixTimes(dist_);
  const std::set<std::string> before = Snapshot();
  const std::string product = installer::Profile().ProductName;
  installer::SetJournalStepHook([this](const char* step) {  // held when the undo begins
    if (std::string(step) == "undo") posix::faults().deleteFails = {Install("Lectorn.exe")};
  });
  ui_.ExpectMessage(platform::kButtonOk, A("Не удалось восстановить: \"") + Install("Lectorn.exe"));
  Run();
  installer::SetJournalStepHook(nullptr);
  posix::faults().deleteFails.clear();
  EXPECT_EQ(copier_->Outcome, installer::roRollbackIncomplete);
  EXPECT_EQ(Read(Install("Lectorn.exe")), "lectorn v2");
  ASSERT_EQ(installer::RecordedJournals(product).size(), 1u);

  const installer::RecoveryReport report = installer::RecoverInterruptedRuns(product);
  EXPECT_EQ(report.undone, 1);
  EXPECT_TRUE(report.left.empty());
  EXPECT_EQ(Changes(before, Snapshot()), std::vector<std::string>());
  EXPECT_TRUE(installer::RecordedJournals(product).empty());
}

// A running program's file can be renamed but not deleted, and neither can
// a second name of it: the new file takes its place, and what stays of the
// earlier one is deleted at the next restart instead of staying for good.
TEST_F(CutRunTest, ARunningProgramsFileIsReplacedAndItsKeptCopyGoesAtTheRestart) {
  Prepare();
  Reset();
  const std::string backup = Install("~BACKUP");
  posix::faults().running = {Install("Lectorn.exe"), backup + "\\1", backup + "\\2"};
  posix::ScheduledDeletions().clear();
  ui_.ExpectMessage(platform::kButtonOk);
  Run();
  posix::faults().running.clear();
  EXPECT_EQ(copier_->Outcome, installer::roCompleted);
  EXPECT_EQ(Read(Install("Lectorn.exe")), "lectorn v2");
  EXPECT_EQ(posix::ScheduledDeletions(),
            (std::vector<std::string>{backup + "\\1", backup + "\\2", backup}));
  EXPECT_TRUE(installer::RecordedJournals(installer::Profile().ProductName).empty());
}

}  // namespace
}  // namespace run_test

#endif  // _WIN32
