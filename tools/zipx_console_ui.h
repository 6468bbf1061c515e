// The user interface of the command-line tool: message boxes are printed on
// stderr and answered without waiting (OK where it is the only button,
// otherwise No or Cancel); dialogs are cancelled.
#pragma once

#include "platform/headless_ui.h"

namespace zipx {

class ConsoleUi : public platform::HeadlessUi {
 public:
  platform::Button MessageBox(const platform::MessageBoxRequest& request) override;
};

}  // namespace zipx
