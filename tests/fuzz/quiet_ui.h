// The user interface of the archive fuzz targets: every message box gets its
// first button, every dialog is cancelled, nothing waits for a person.
#pragma once

#include "platform/headless_ui.h"

namespace fuzz_support {

class QuietUi : public platform::HeadlessUi {
 public:
  platform::Button MessageBox(const platform::MessageBoxRequest& r) override {
    for (unsigned b = 1; b <= platform::kButtonIgnore; b <<= 1)
      if (r.buttons & b) return platform::Button(b);
    return platform::kButtonNone;
  }
};

}  // namespace fuzz_support
