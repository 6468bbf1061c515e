// The user interface of the archive fuzz targets: every message box gets its
// first button, every dialog is cancelled, nothing waits for a person.
#pragma once

#include <string>

#include "platform/platform.h"

namespace fuzz_support {

class QuietUi : public platform::Ui {
 public:
  platform::Button MessageBox(const platform::MessageBoxRequest& r) override {
    for (unsigned b = 1; b <= platform::kButtonIgnore; b <<= 1)
      if (r.buttons & b) return platform::Button(b);
    return platform::kButtonNone;
  }
  bool ChooseFolder(const std::string&, std::string&) override { return false; }
  bool OpenFileDialog(const std::string&, const std::string&, std::string&) override {
    return false;
  }
  void ProcessMessages() override {}
  void SetCursor(platform::Cursor) override {}
  int ShowModal(platform::Form&) override { return 0; }
};

}  // namespace fuzz_support
