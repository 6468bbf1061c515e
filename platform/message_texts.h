// Captions of the message boxes and their buttons, in the ANSI code page.
// Every user interface of the program (the Windows one and the scripted one
// of the tests) takes them from here.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

// "Предупреждение", "Ошибка", "Информация", "Подтверждение"; Custom gives custom.
std::string MessageCaption(MessageKind kind, const std::string& custom);

// "Да", "Нет", "OK", "Отмена", "Повтор", "Далее"; empty for kButtonNone.
std::string ButtonCaption(Button button);

// The buttons of a request in the order a box shows them.
std::vector<Button> ButtonsInOrder(unsigned buttons);

// The button a box starts with: the requested default when shown, else the first.
Button DefaultButtonOf(const MessageBoxRequest& request);

}  // namespace platform
