// What the copy window shows while the run goes on: it stays on screen with
// its progress bar during the extraction and the finishing pass, and is
// hidden once the run is complete, before the final report comes up. A run
// that is rolled back keeps it on screen behind the error message.
#include <gtest/gtest.h>

#include "installer/inst_f3.h"
#include "tests/common/forwarding_ui.h"
#include "tests/installer/run_fixture.h"

namespace run_test {
namespace {

using installer::Profile;

// The copy window's state at one moment of the run.
struct Snapshot {
  bool visible;
  int maximum, position;
  std::string caption;
};

// Passes everything on to the scripted interface and takes a snapshot of the
// copy window whenever a message box comes up.
class ObservingUi : public testing_support::ForwardingUi {
 public:
  ObservingUi(platform::Ui& inner, std::function<Snapshot()> take)
      : ForwardingUi(inner), take_(std::move(take)) {}
  std::vector<Snapshot> atBoxes;

  platform::Button MessageBox(const platform::MessageBoxRequest& request) override {
    atBoxes.push_back(take_());
    return inner_.MessageBox(request);
  }

 private:
  std::function<Snapshot()> take_;
};

class CopyWindowStateTest : public RunTest {
 protected:
  void SetUp() override {
    RunTest::SetUp();
    observer_ = std::make_unique<ObservingUi>(ui_, [this] { return Take(); });
    platform::Current().ui = observer_.get();
    // Every pass through the message loop is a moment the window is drawn.
    ui_.SetProcessMessagesHook([this] { atMessages_.push_back(Take()); });
  }

  Snapshot Take() {
    platform::Form& f = copier_->form;
    return {f.visible, f["ProgressBar1"].maximum, f["ProgressBar1"].position, f["Label1"].caption};
  }

  // True when the window was on screen at every pass through the message
  // loop before the last n.
  bool VisibleThroughout(size_t lastHidden) const {
    if (atMessages_.size() < lastHidden) return false;
    for (size_t i = 0; i + lastHidden < atMessages_.size(); ++i) {
      if (!atMessages_[i].visible) return false;
    }
    return true;
  }

  std::unique_ptr<ObservingUi> observer_;
  std::vector<Snapshot> atMessages_;
};

TEST_F(CopyWindowStateTest, HiddenWithAFullBarWhenTheReportComesUp) {
  Prepare();
  WriteVolume(1, ProductMembers());
  ui_.ExpectMessage(platform::kButtonOk, A("успешно завершена."));
  Run();

  ASSERT_EQ(observer_->atBoxes.size(), 1u);
  const Snapshot& report = observer_->atBoxes[0];
  EXPECT_FALSE(report.visible);
  EXPECT_EQ(report.maximum, 125);  // one volume and five shortcut rows
  EXPECT_EQ(report.position, 125);
  EXPECT_EQ(report.caption, A("Установка Mentorix"));

  // On screen through the extraction and while the shortcut rows move the
  // bar; the hiding reaches the windows in the one pass before the report.
  ASSERT_GE(atMessages_.size(), 3u);
  EXPECT_TRUE(VisibleThroughout(1));
  EXPECT_FALSE(atMessages_.back().visible);
  EXPECT_EQ(atMessages_.back().position, 125);
  bool sawShortcuts = false;
  for (const Snapshot& s : atMessages_)
    sawShortcuts = sawShortcuts || (s.visible && s.position > 100 && s.position < 125);
  EXPECT_TRUE(sawShortcuts);
}

TEST_F(CopyWindowStateTest, HiddenAlsoWhenNoReportIsShown) {
  Prepare();
  Profile().FinalMessage = false;
  WriteVolume(1, ProductMembers());
  Run();
  EXPECT_TRUE(observer_->atBoxes.empty());
  EXPECT_TRUE(copier_->Finished);
  EXPECT_FALSE(copier_->form.visible);
  ASSERT_FALSE(atMessages_.empty());
  EXPECT_FALSE(atMessages_.back().visible);  // passed on before the program ends
}

TEST_F(CopyWindowStateTest, StaysOnScreenBehindTheRollbackMessage) {
  // The log cannot be written: the run is not complete, so the finishing
  // pass must not have hidden the window before the rollback.
  Prepare();
  files_->ForceDirectories(LogPath() + ".new");
  files_->ForceDirectories(LogPath());
  WriteVolume(1, ProductMembers());
  ui_.ExpectMessage(platform::kButtonOk, A("Невозможно создать файл \"") + LogPath() + "\".");
  Run();

  ASSERT_EQ(observer_->atBoxes.size(), 1u);
  EXPECT_TRUE(observer_->atBoxes[0].visible);
  EXPECT_EQ(observer_->atBoxes[0].maximum, 125);
  EXPECT_TRUE(copier_->form.visible);
  EXPECT_TRUE(VisibleThroughout(0));
}

}  // namespace
}  // namespace run_test
