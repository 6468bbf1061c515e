#include "platform/scripted_ui.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "platform/form.h"
#include "platform/message_texts.h"
#include "support/cp1251.h"
#include "tests/common/ui_script.h"

namespace {

using platform::Button;
using platform::MessageBoxRequest;
using platform::MessageKind;
using platform::ScriptedUi;
using support::Cp1251;

MessageBoxRequest Box(MessageKind kind, const std::string& text, unsigned buttons) {
  MessageBoxRequest r;
  r.kind = kind;
  r.text = text;
  r.buttons = buttons;
  return r;
}

TEST(ScriptedUi, AnswersExpectedBoxesAndRecordsWhatWasShown) {
  testing_support::UiScript script;
  script->ExpectMessage(platform::kButtonRetry, Cp1251("занят"));
  script->ExpectMessage(platform::kButtonOk);
  auto& ui = platform::ui();
  EXPECT_EQ(ui.MessageBox(Box(MessageKind::Warning, Cp1251("Файл занят"),
                              platform::kButtonRetry | platform::kButtonIgnore)),
            platform::kButtonRetry);
  MessageBoxRequest custom = Box(MessageKind::Custom, "Disk 2", platform::kButtonOk);
  custom.caption = "Insert disk";
  EXPECT_EQ(ui.MessageBox(custom), platform::kButtonOk);
  const auto& shown = script->Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].caption, Cp1251("Предупреждение"));
  EXPECT_EQ(shown[0].buttons, platform::kButtonRetry | platform::kButtonIgnore);
  EXPECT_TRUE(shown[0].expected);
  EXPECT_EQ(shown[1].caption, "Insert disk");
}

TEST(ScriptedUi, UnexpectedBoxesAreFlaggedAndAnsweredTheSafeWay) {
  ScriptedUi ui;
  EXPECT_EQ(ui.MessageBox(Box(MessageKind::Confirmation, "Quit?",
                              platform::kButtonYes | platform::kButtonNo)),
            platform::kButtonNo);
  EXPECT_EQ(
      ui.MessageBox(Box(MessageKind::Error, "x", platform::kButtonOk | platform::kButtonCancel)),
      platform::kButtonCancel);
  ui.ExpectMessage(platform::kButtonOk, "other text");
  ui.MessageBox(Box(MessageKind::Information, "Done", platform::kButtonOk));
  ui.ExpectMessage(platform::kButtonYes);  // not a button of the box
  ui.MessageBox(Box(MessageKind::Information, "Done", platform::kButtonOk));
  ASSERT_EQ(ui.Unexpected().size(), 4u);
  EXPECT_NE(ui.Unexpected()[0].find("Quit?"), std::string::npos);
  EXPECT_NE(ui.Unexpected()[0].find(Cp1251("Подтверждение")), std::string::npos);
  EXPECT_NE(ui.Unexpected()[2].find("other text"), std::string::npos);
  for (const auto& box : ui.Shown()) EXPECT_FALSE(box.expected);

  ui.ExpectFolder(true, "C:\\X");
  EXPECT_TRUE(ui.Unused().size() == 1);
  std::string file;
  EXPECT_FALSE(ui.OpenFileDialog("Open", "", file));  // a file dialog where a folder was expected
  EXPECT_EQ(ui.Unexpected().size(), 5u);
}

TEST(ScriptedUi, DialogsAndMessagePumpFollowTheScript) {
  testing_support::UiScript script;
  script->ExpectFolder(true, "D:\\Volmar");
  script->ExpectFolder(false);
  script->ExpectOpenFile(true, "C:\\a.txt");
  std::string folder = "C:\\";
  EXPECT_TRUE(platform::ui().ChooseFolder("Folder", folder));
  EXPECT_EQ(folder, "D:\\Volmar");
  EXPECT_FALSE(platform::ui().ChooseFolder("Folder", folder));
  EXPECT_EQ(folder, "D:\\Volmar");
  std::string file;
  EXPECT_TRUE(platform::ui().OpenFileDialog("Open", "Text|*.txt", file));
  EXPECT_EQ(file, "C:\\a.txt");

  bool cancel = false;
  script->SetProcessMessagesHook([&] {
    if (script->ProcessMessagesCount() == 3) cancel = true;
  });
  for (int i = 0; i < 2; ++i) platform::ui().ProcessMessages();
  EXPECT_FALSE(cancel);
  platform::ui().ProcessMessages();
  EXPECT_TRUE(cancel);
  platform::ui().SetCursor(platform::Cursor::Wait);
  EXPECT_EQ(script->CurrentCursor(), platform::Cursor::Wait);
}

TEST(ScriptedUi, ScriptRestoresThePreviousUi) {
  platform::Ui* before = platform::Current().ui;
  {
    testing_support::UiScript script;
    EXPECT_EQ(platform::Current().ui, &script.ui());
  }
  EXPECT_EQ(platform::Current().ui, before);
}

TEST(ScriptedUi, ScriptFailsTheTestForUnexpectedAndMissingBoxes) {
  EXPECT_NONFATAL_FAILURE(
      {
        testing_support::UiScript script;
        platform::ui().MessageBox(Box(MessageKind::Error, "Disk full", platform::kButtonOk));
      },
      "Disk full");
  EXPECT_NONFATAL_FAILURE(
      {
        testing_support::UiScript script;
        script->ExpectMessage(platform::kButtonOk, "Done");
      },
      "never shown: Done");
}

TEST(ScriptedUi, ModalFormsGoToTheScriptedHandler) {
  platform::Form form("TInstF3");
  ScriptedUi ui;
  ui.ExpectForm([](platform::Form& shown) {
    return shown.name == "TInstF3" ? platform::kMrOk : platform::kMrNone;
  });
  EXPECT_EQ(ui.ShowModal(form), platform::kMrOk);
  EXPECT_TRUE(ui.Unexpected().empty());
  // Without a script the form counts as cancelled.
  EXPECT_EQ(ui.ShowModal(form), platform::kMrCancel);
  ASSERT_EQ(ui.Unexpected().size(), 1u);
}

TEST(MessageTexts, CaptionsOfKindsAndButtons) {
  EXPECT_EQ(platform::MessageCaption(MessageKind::Error, "x"), Cp1251("Ошибка"));
  EXPECT_EQ(platform::MessageCaption(MessageKind::Information, "x"), Cp1251("Информация"));
  EXPECT_EQ(platform::MessageCaption(MessageKind::Custom, "Own"), "Own");
  EXPECT_EQ(platform::ButtonCaption(platform::kButtonIgnore), Cp1251("Далее"));
  EXPECT_EQ(platform::ButtonCaption(platform::kButtonRetry), Cp1251("Повтор"));
  EXPECT_EQ(platform::ButtonCaption(platform::kButtonCancel), Cp1251("Отмена"));
  MessageBoxRequest r =
      Box(MessageKind::Confirmation, "", platform::kButtonYes | platform::kButtonNo);
  EXPECT_EQ(platform::DefaultButtonOf(r), platform::kButtonYes);
  r.defaultButton = platform::kButtonNo;
  EXPECT_EQ(platform::DefaultButtonOf(r), platform::kButtonNo);
  r.defaultButton = platform::kButtonCancel;  // not shown: the first one
  EXPECT_EQ(platform::DefaultButtonOf(r), platform::kButtonYes);
}

}  // namespace
