// The user interface of a run started with switches. It wraps the
// platform's one and
//   - records every message box and its answer in the run log;
//   - in a silent run, keeps information boxes (the final report) out of
//     sight: they go to the run log only;
//   - without windows (/VERYSILENT), runs a modal form's events without
//     showing it, so the copy window does its work unseen;
//   - with suppressed boxes (/SUPPRESSMSGBOXES), lets no box wait for a
//     person. Each takes its default: a retry box ("Повтор"/"Далее") is
//     answered "Повтор" a few times, a short wait apart, then "Далее"; a
//     question is answered "Да"; any other box "OK". Folder and file dialogs
//     are cancelled.
#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

namespace installer {

class TUnattendedUi : public platform::Ui {
 public:
  struct Options {
    bool silent = false;         // no final report or other information boxes
    bool hideForms = false;      // modal forms run without a window
    bool suppressBoxes = false;  // no box waits for a person
    int retryAttempts = 5;       // automatic "Повтор" answers to one retry box
    int retryDelayMs = 600;      // wait before each of them
  };
  // wait(ms) pauses between retries; empty: the inner interface processes
  // its messages while the time passes (the copy window stays drawn).
  TUnattendedUi(platform::Ui& inner, const Options& options, std::function<void(int ms)> wait = {});

  platform::Button MessageBox(const platform::MessageBoxRequest& request) override;
  bool ChooseFolder(const std::string& title, std::string& folder) override;
  bool OpenFileDialog(const std::string& title, const std::string& filter,
                      std::string& file) override;
  void ProcessMessages() override { inner_.ProcessMessages(); }
  void SetCursor(platform::Cursor cursor) override { inner_.SetCursor(cursor); }
  void BlockShutdown(bool on, const std::string& reason) override {
    inner_.BlockShutdown(on, reason);
  }
  int ShowModal(platform::Form& form) override;

 private:
  platform::Button DefaultAnswer(const platform::MessageBoxRequest& request);
  void Wait(int ms);

  platform::Ui& inner_;
  Options options_;
  std::function<void(int ms)> wait_;
  std::string retryText_;  // the retry box answered last, and how often
  int retries_ = 0;
};

}  // namespace installer
