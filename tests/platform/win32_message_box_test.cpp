// The real message boxes of the win32 platform: a helper thread finds the box,
// reads the captions of its buttons and presses one. Needs a display (Wine
// under Xvfb); skipped without one.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/windows_api.h"
#include "support/cp1251.h"

namespace {

struct Found {
  std::vector<std::string> buttons;  // captions in window order
  std::string caption;
};

BOOL CALLBACK CollectButton(HWND child, LPARAM data) {
  char cls[32] = {};
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Button") == 0 && IsWindowVisible(child)) {
    char text[64] = {};
    GetWindowTextA(child, text, sizeof text);
    reinterpret_cast<std::vector<std::pair<HWND, std::string>>*>(data)->emplace_back(child, text);
  }
  return TRUE;
}

// Waits for the box with the caption, records its buttons and clicks press.
void AnswerBox(const std::string& caption, const std::string& press, Found& found) {
  for (int i = 0; i < 200; ++i) {
    HWND box = FindWindowA("#32770", caption.c_str());
    if (box && IsWindowVisible(box)) {
      Sleep(100);  // let the activation hook rename the buttons
      std::vector<std::pair<HWND, std::string>> buttons;
      EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&buttons));
      found.caption = caption;
      for (const auto& [hwnd, text] : buttons) {
        found.buttons.push_back(text);
        if (text == press) PostMessageA(hwnd, BM_CLICK, 0, 0);
      }
      return;
    }
    Sleep(50);
  }
}

struct BoxCase {
  platform::MessageKind kind;
  unsigned buttons;
  std::vector<const char*> captions;  // UTF-8
  const char* press;
  platform::Button expected;
};

TEST(Win32MessageBox, ButtonsCarryRussianCaptionsAndAnswerByPosition) {
  char display[256] = {};
  if (GetEnvironmentVariableA("DISPLAY", display, sizeof display) == 0)
    GTEST_SKIP() << "no display";
  const BoxCase cases[] = {
      {platform::MessageKind::Confirmation,
       platform::kButtonYes | platform::kButtonNo,
       {"Да", "Нет"},
       "Нет",
       platform::kButtonNo},
      {platform::MessageKind::Warning,
       platform::kButtonRetry | platform::kButtonIgnore,
       {"Повтор", "Далее"},
       "Далее",
       platform::kButtonIgnore},
      {platform::MessageKind::Error,
       platform::kButtonOk | platform::kButtonCancel,
       {"OK", "Отмена"},
       "Отмена",
       platform::kButtonCancel},
      {platform::MessageKind::Information, platform::kButtonOk, {"OK"}, "OK", platform::kButtonOk},
      {platform::MessageKind::Warning,
       platform::kButtonRetry | platform::kButtonIgnore | platform::kButtonCancel,
       {"Повтор", "Далее", "Отмена"},
       "Повтор",
       platform::kButtonRetry},
  };
  const char* kCaptions[] = {"Предупреждение", "Ошибка", "Информация", "Подтверждение"};
  for (const auto& c : cases) {
    const std::string caption = support::Cp1251(kCaptions[static_cast<int>(c.kind)]);
    Found found;
    std::thread helper(AnswerBox, caption, support::Cp1251(c.press), std::ref(found));
    platform::MessageBoxRequest request;
    request.kind = c.kind;
    request.text = support::Cp1251("Проверка кнопок");
    request.buttons = c.buttons;
    const platform::Button answer = platform::ui().MessageBox(request);
    helper.join();
    std::vector<std::string> expected;
    for (const char* text : c.captions) expected.push_back(support::Cp1251(text));
    EXPECT_EQ(found.buttons, expected) << c.press;
    EXPECT_EQ(answer, c.expected) << c.press;
  }
}

}  // namespace
#endif
