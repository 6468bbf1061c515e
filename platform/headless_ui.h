// A user interface for programs that run without a person in front of them
// (the command-line tool, the fuzz targets): every dialog is cancelled,
// forms are not shown and nothing waits. What a message box is answered
// with is the deriving class's choice.
#pragma once

#include <string>

#include "platform/platform.h"

namespace platform {

class HeadlessUi : public Ui {
 public:
  bool ChooseFolder(const std::string&, std::string&) override { return false; }
  bool OpenFileDialog(const std::string&, const std::string&, std::string&) override {
    return false;
  }
  void ProcessMessages() override {}
  void SetCursor(Cursor) override {}
  int ShowModal(Form&) override { return 0; }
};

}  // namespace platform
