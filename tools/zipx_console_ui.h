// The user interface of the command-line tool: message boxes are printed on
// stderr and answered without waiting (OK where it is the only button,
// otherwise No or Cancel); dialogs are cancelled.
#pragma once

#include "platform/platform.h"

namespace zipx {

class ConsoleUi : public platform::Ui {
 public:
  platform::Button MessageBox(const platform::MessageBoxRequest& request) override;
  bool ChooseFolder(const std::string&, std::string&) override { return false; }
  bool OpenFileDialog(const std::string&, const std::string&, std::string&) override {
    return false;
  }
  void ProcessMessages() override {}
  void SetCursor(platform::Cursor) override {}
  int ShowModal(platform::Form&) override { return 0; }
};

}  // namespace zipx
