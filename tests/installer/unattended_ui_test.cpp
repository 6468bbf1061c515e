// The user interface of runs with switches: which boxes reach a person, the
// defaults that answer the others, the bounded retries of a file in use and
// forms that run without a window.
#include "installer/unattended_ui.h"

#include <gtest/gtest.h>

#include <vector>

#include "installer/run_log.h"
#include "platform/form.h"
#include "platform/scripted_ui.h"
#include "support/cp1251.h"

namespace {

using installer::TUnattendedUi;
using platform::MessageKind;

struct LinesSink : installer::RunLogSink {
  explicit LinesSink(std::vector<std::string>& lines) : lines(lines) {}
  void WriteLine(const std::string& utf8) override { lines.push_back(utf8); }
  std::vector<std::string>& lines;
};

class UnattendedUiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    installer::SetRunLogClock([] { return std::string("T"); });
    installer::SetRunLogSink(std::make_unique<LinesSink>(log_));
  }
  void TearDown() override {
    installer::SetRunLogSink(nullptr);
    installer::SetRunLogClock({});
  }
  platform::Button Box(TUnattendedUi& ui, MessageKind kind, unsigned buttons,
                       const std::string& text = "text") {
    platform::MessageBoxRequest r;
    r.kind = kind;
    r.buttons = buttons;
    r.text = text;
    return ui.MessageBox(r);
  }
  TUnattendedUi Make(bool silent, bool hideForms, bool suppress) {
    TUnattendedUi::Options o;
    o.silent = silent;
    o.hideForms = hideForms;
    o.suppressBoxes = suppress;
    return TUnattendedUi(inner_, o, [this](int ms) { waits_.push_back(ms); });
  }

  platform::ScriptedUi inner_;
  std::vector<std::string> log_;
  std::vector<int> waits_;
};

constexpr unsigned kRetryBox = platform::kButtonRetry | platform::kButtonIgnore;
constexpr unsigned kYesNo = platform::kButtonYes | platform::kButtonNo;

TEST_F(UnattendedUiTest, SuppressedBoxesTakeTheirDefaultsAndAreLogged) {
  auto ui = Make(true, true, true);
  EXPECT_EQ(Box(ui, MessageKind::Confirmation, kYesNo), platform::kButtonYes);
  EXPECT_EQ(Box(ui, MessageKind::Error, platform::kButtonOk, support::Cp1251("Ошибка\r\nчтения")),
            platform::kButtonOk);
  EXPECT_EQ(Box(ui, MessageKind::Warning, platform::kButtonOk | platform::kButtonCancel),
            platform::kButtonOk);
  EXPECT_TRUE(inner_.Shown().empty());
  ASSERT_EQ(log_.size(), 3u);
  EXPECT_EQ(log_[1], "T MESSAGE [Ошибка] Ошибка чтения -> OK (not shown)");
  std::string folder = "C:\\x";
  EXPECT_FALSE(ui.ChooseFolder("t", folder));
}

TEST_F(UnattendedUiTest, AFileInUseIsRetriedABoundedNumberOfTimesThenSkipped) {
  auto ui = Make(true, true, true);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(Box(ui, MessageKind::Warning, kRetryBox, "held"), platform::kButtonRetry) << i;
  EXPECT_EQ(Box(ui, MessageKind::Warning, kRetryBox, "held"), platform::kButtonIgnore);
  EXPECT_EQ(waits_, std::vector<int>(5, 600));
  // Another file gets its own retries.
  EXPECT_EQ(Box(ui, MessageKind::Warning, kRetryBox, "other"), platform::kButtonRetry);
  EXPECT_EQ(log_.front(), "T RETRY 1/5 [Предупреждение] held");
  EXPECT_EQ(log_[5], "T MESSAGE [Предупреждение] held -> Далее (not shown)");
}

TEST_F(UnattendedUiTest, ASilentRunShowsErrorsAndQuestionsButNoInformation) {
  auto ui = Make(true, false, false);
  inner_.ExpectMessage(platform::kButtonOk, "error");
  inner_.ExpectMessage(platform::kButtonNo, "question");
  EXPECT_EQ(Box(ui, MessageKind::Information, platform::kButtonOk, "report"), platform::kButtonOk);
  EXPECT_EQ(Box(ui, MessageKind::Error, platform::kButtonOk, "error"), platform::kButtonOk);
  EXPECT_EQ(Box(ui, MessageKind::Confirmation, kYesNo, "question"), platform::kButtonNo);
  EXPECT_TRUE(inner_.Unexpected().empty());
  EXPECT_EQ(inner_.Shown().size(), 2u);
  EXPECT_EQ(log_[0], "T MESSAGE [Информация] report -> OK (not shown)");
  EXPECT_EQ(log_[2], "T MESSAGE [Подтверждение] question -> Нет");
}

TEST_F(UnattendedUiTest, WithoutWindowsAModalFormRunsItsEventsUnseen) {
  auto hidden = Make(true, true, false);
  platform::Form form("F");
  int shown = 0;
  form.onShow = [&] {
    ++shown;
    form.modalResult = platform::kMrOk;
  };
  EXPECT_EQ(hidden.ShowModal(form), platform::kMrOk);
  EXPECT_EQ(shown, 1);
  // With windows, the form goes to the platform's interface.
  auto shownUi = Make(true, false, false);
  inner_.ExpectForm([](platform::Form&) { return platform::kMrCancel; });
  EXPECT_EQ(shownUi.ShowModal(form), platform::kMrCancel);
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(inner_.Unexpected().empty() && inner_.Unused().empty());
}

}  // namespace
