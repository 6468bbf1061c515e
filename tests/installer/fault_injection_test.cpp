// Whole installation runs on the posix platform with its fault switches: a
// disk that fills up, a move or a delete that fails, a registry that refuses
// writes, shortcuts that cannot be saved, an install log that cannot be
// written. Each run ends with the report entries, the retry dialog or the
// rollback that the run owes the user, and a rollback leaves the machine as
// it was before the run (the UNINST folder aside, which stays).
#ifndef _WIN32

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "tests/common/forwarding_ui.h"
#include "tests/installer/posix_run_fixture.h"

namespace run_test {
namespace {

namespace posix = platform::posix;

// The rollback's message when a write finds the disk full.
std::string DiskFull(const std::string& path) {
  return A("Ошибка при записи файла \"") + path + "\".\r\n" +
         "There is not enough space on the disk.\r\n" + A("Продолжение установки невозможно.");
}

class FaultInjectionTest : public PosixRunTest {
 protected:
  // The shipped product, its uninstaller present, an unrelated file in the
  // install folder: the machine before a run.
  void Machine() {
    Prepare();
    Write(Sys("sysvanta.exe"), "uninstaller");
    Write(Install("notes\\mine.txt"), "the user's own file");
  }

  static std::vector<ArchiveMember> Members(size_t lastSize) {
    std::vector<ArchiveMember> m = RunTest::ProductMembers();
    m.push_back({"MENTORIX/big.bin", std::string(lastSize, 'x')});
    return m;
  }
};

// Passes everything to the scripted user interface and runs an action once
// the n-th message box has been answered, as a user acting meanwhile would.
class AfterBox : public testing_support::ForwardingUi {
 public:
  AfterBox(platform::Ui& inner, int n, std::function<void()> action)
      : ForwardingUi(inner), saved_(platform::Current().ui), n_(n), action_(std::move(action)) {
    platform::Current().ui = this;
  }
  ~AfterBox() override { platform::Current().ui = saved_; }
  platform::Button MessageBox(const platform::MessageBoxRequest& r) override {
    platform::Button b = inner_.MessageBox(r);
    if (++shown_ == n_) action_();
    return b;
  }

 private:
  platform::Ui* saved_;
  int n_, shown_ = 0;
  std::function<void()> action_;
};

struct FullDiskCase {
  const char* name;
  size_t lastSize;  // size of the last member
  size_t lastRoom;  // bytes of it that still fit
};

class FullDiskTest : public FaultInjectionTest,
                     public ::testing::WithParamInterface<FullDiskCase> {};

// Without the check a short write left a cut-off file whose CRC, taken over
// the buffer, still matched: the run placed it and reported success. The
// message names the file and the disk, not the archive.
TEST_P(FullDiskTest, RollsBackEverythingTheRunAdded) {
  Machine();
  const auto members = Members(GetParam().lastSize);
  WriteVolume(1, members);
  const std::set<std::string> before = Snapshot();
  posix::faults().freeBytes = int64_t(Bytes(members) - GetParam().lastSize + GetParam().lastRoom);
  const std::string message = DiskFull(Install("MENTORIX\\big.bin"));
  ui_.ExpectMessage(platform::kButtonOk, message);
  Run();

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{message});
  EXPECT_EQ(copier_->Failure, installer::fkDiskFull);
  EXPECT_FALSE(copier_->Finished);
  EXPECT_EQ(Changes(before, Snapshot()), std::vector<std::string>{"+ " + Install("UNINST") + "\\"});
}

INSTANTIATE_TEST_SUITE_P(Writes, FullDiskTest,
                         ::testing::Values(FullDiskCase{"InAWholeChunk", 50000, 5000},
                                           FullDiskCase{"InTheLastBufferedBytes", 3000, 1000},
                                           FullDiskCase{"AtTheFirstByte", 20000, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FaultInjectionTest, FullDiskAtTheLogRollsBackFilesAndShortcuts) {
  Machine();
  WriteVolume(1, ProductMembers());
  const std::set<std::string> before = Snapshot();
  // Every member fits; the shortcuts and the log find the disk full.
  posix::faults().freeBytes = int64_t(Bytes(ProductMembers()));
  ui_.ExpectMessage(platform::kButtonOk, DiskFull(LogPath()));
  Run();

  EXPECT_EQ(BoxTexts(), std::vector<std::string>{DiskFull(LogPath())});
  // The rollback removes the placed files, the links and the program group
  // it made for them; only the UNINST folder stays.
  EXPECT_EQ(Changes(before, Snapshot()), std::vector<std::string>{"+ " + Install("UNINST") + "\\"});
}

TEST_F(FaultInjectionTest, FullDiskAtTheLogKeepsTheLogOfTheEarlierInstallation) {
  Machine();
  const std::string earlier = "earlier header|\r\n" + Install("Old.exe") + "\r\n";
  Write(LogPath(), earlier);
  Write(Install("Old.exe"), "installed before");
  WriteVolume(1, ProductMembers());
  posix::faults().freeBytes = int64_t(Bytes(ProductMembers()));
  ui_.ExpectMessage(platform::kButtonOk, DiskFull(LogPath()));
  Run();

  EXPECT_EQ(Read(LogPath()), earlier);
  EXPECT_EQ(Read(Install("Old.exe")), "installed before");
}

TEST_F(FaultInjectionTest, MoveThatFailsIsReportedAndNotLogged) {
  Machine();
  WriteVolume(1, ProductMembers());
  posix::faults().moveFails = {Install("MentorixHelp.chm")};
  ui_.ExpectMessage(platform::kButtonOk, Install("MentorixHelp.chm"));
  Run();

  EXPECT_TRUE(copier_->Finished);
  EXPECT_NE(Report().find(A("Не удалось обновить следующие файлы: \r\n\"") +
                          Install("MentorixHelp.chm") + "\"."),
            std::string::npos)
      << Report();
  EXPECT_FALSE(files_->FileExists(Install("MentorixHelp.chm")));
  EXPECT_EQ(Read(Install("MENTORIX\\doc\\intro.txt")), "intro");
  EXPECT_EQ(Read(LogPath()).find("MentorixHelp.chm"), std::string::npos);
  EXPECT_FALSE(files_->DirectoryExists(Install("TEMP")));
}

TEST_F(FaultInjectionTest, LockedFileOffersRetryUntilItIsFree) {
  Machine();
  Write(Install("Lectorn.exe"), "lectorn v1, running");
  WriteVolume(1, ProductMembers());
  posix::faults().deleteFails = {Install("Lectorn.exe")};
  const std::string retry = A("Ошибка при обновлении файла \"") + Install("Lectorn.exe");
  ui_.ExpectMessage(platform::kButtonRetry, retry);
  ui_.ExpectMessage(platform::kButtonRetry, retry);
  ui_.ExpectMessage(platform::kButtonOk, A("успешно завершена"));
  // The user closes the program that holds the file while the second box is open.
  AfterBox closes(ui_, 2, [] { posix::faults().deleteFails.clear(); });
  Run();

  EXPECT_EQ(Read(Install("Lectorn.exe")), "lectorn v2");
  EXPECT_NE(Read(LogPath()).find(Install("Lectorn.exe")), std::string::npos);
}

TEST_F(FaultInjectionTest, LockedFileLeftAloneIsReportedAndKept) {
  Machine();
  Write(Install("Lectorn.exe"), "lectorn v1, running");
  WriteVolume(1, ProductMembers());
  posix::faults().deleteFails = {Install("Lectorn.exe")};
  ui_.ExpectMessage(platform::kButtonIgnore, A("Ошибка при обновлении файла"));
  ui_.ExpectMessage(platform::kButtonOk, Install("Lectorn.exe"));
  Run();

  EXPECT_EQ(Read(Install("Lectorn.exe")), "lectorn v1, running");
  EXPECT_NE(Report().find(A("Не удалось обновить следующие файлы")), std::string::npos);
  EXPECT_EQ(Read(LogPath()).find("Lectorn.exe"), std::string::npos);
}

TEST_F(FaultInjectionTest, RefusedRegistryLeavesNoAssociationAndNoReport) {
  Machine();
  WriteVolume(1, ProductMembers());
  posix::faults().registryReadOnly = true;
  ui_.ExpectMessage(platform::kButtonOk, A("успешно завершена"));
  Run();

  EXPECT_TRUE(copier_->Finished);
  EXPECT_TRUE(posix::RegistryContents().empty());
  EXPECT_EQ(Read(Install("Lectorn.exe")), "lectorn v2");
}

TEST_F(FaultInjectionTest, ShortcutsThatCannotBeSavedAreReportedAndNotLogged) {
  Machine();
  WriteVolume(1, ProductMembers());
  posix::faults().shellLinkFails = true;
  ui_.ExpectMessage(platform::kButtonOk, A("Не удалось создать следующие ярлыки"));
  Run();

  EXPECT_TRUE(copier_->Finished);
  EXPECT_TRUE(posix::RecordedLinks().empty());
  EXPECT_EQ(Read(LogPath()).find(".lnk"), std::string::npos);
  EXPECT_NE(Read(LogPath()).find(Install("Lectorn.exe")), std::string::npos);
}

}  // namespace
}  // namespace run_test

#endif  // _WIN32
