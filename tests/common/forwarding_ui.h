// A user interface that hands every call to another one. Test doubles
// derive from it and override only the calls they watch.
#pragma once

#include <string>

#include "platform/platform.h"

namespace testing_support {

class ForwardingUi : public platform::Ui {
 public:
  explicit ForwardingUi(platform::Ui& inner) : inner_(inner) {}

  platform::Button MessageBox(const platform::MessageBoxRequest& request) override {
    return inner_.MessageBox(request);
  }
  bool ChooseFolder(const std::string& title, std::string& folder) override {
    return inner_.ChooseFolder(title, folder);
  }
  bool OpenFileDialog(const std::string& title, const std::string& filter,
                      std::string& file) override {
    return inner_.OpenFileDialog(title, filter, file);
  }
  void ProcessMessages() override { inner_.ProcessMessages(); }
  void SetCursor(platform::Cursor cursor) override { inner_.SetCursor(cursor); }
  void BlockShutdown(bool on, const std::string& reason) override {
    inner_.BlockShutdown(on, reason);
  }
  int ShowModal(platform::Form& form) override { return inner_.ShowModal(form); }

 protected:
  platform::Ui& inner_;
};

}  // namespace testing_support
