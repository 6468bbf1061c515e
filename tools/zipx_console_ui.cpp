#include "zipx_console_ui.h"

#include <cstdio>

namespace zipx {

platform::Button ConsoleUi::MessageBox(const platform::MessageBoxRequest& request) {
  std::fprintf(stderr, "zipx: %s\n", request.text.c_str());
  for (platform::Button b : {platform::kButtonNo, platform::kButtonCancel, platform::kButtonOk})
    if (request.buttons & b) return b;
  return platform::kButtonNone;
}

}  // namespace zipx
