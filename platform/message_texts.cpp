#include "platform/message_texts.h"

#include "platform/form.h"
#include "support/cp1251.h"

namespace platform {

std::string MessageCaption(MessageKind kind, const std::string& custom) {
  switch (kind) {
    case MessageKind::Warning:
      return support::Cp1251("Предупреждение");
    case MessageKind::Error:
      return support::Cp1251("Ошибка");
    case MessageKind::Information:
      return support::Cp1251("Информация");
    case MessageKind::Confirmation:
      return support::Cp1251("Подтверждение");
    case MessageKind::ApplicationError:
      return App().title;
    case MessageKind::Custom:
      break;
  }
  return custom;
}

std::string ButtonCaption(Button button) {
  switch (button) {
    case kButtonYes:
      return support::Cp1251("Да");
    case kButtonNo:
      return support::Cp1251("Нет");
    case kButtonOk:
      return "OK";
    case kButtonCancel:
      return support::Cp1251("Отмена");
    case kButtonRetry:
      return support::Cp1251("Повтор");
    case kButtonIgnore:
      return support::Cp1251("Далее");
    case kButtonNone:
      break;
  }
  return "";
}

std::vector<Button> ButtonsInOrder(unsigned buttons) {
  std::vector<Button> out;
  for (Button b : {kButtonYes, kButtonNo, kButtonOk, kButtonRetry, kButtonIgnore, kButtonCancel}) {
    if (buttons & b) out.push_back(b);
  }
  return out;
}

Button DefaultButtonOf(const MessageBoxRequest& request) {
  if (request.defaultButton != kButtonNone && (request.buttons & request.defaultButton)) {
    return static_cast<Button>(request.defaultButton);
  }
  const auto order = ButtonsInOrder(request.buttons);
  return order.empty() ? kButtonOk : order.front();
}

}  // namespace platform
