#include "installer/unattended_ui.h"

#include <chrono>
#include <thread>

#include "installer/run_log.h"
#include "platform/form.h"
#include "platform/message_texts.h"

namespace installer {

namespace {

std::string BoxDescription(const platform::MessageBoxRequest& request) {
  const std::string caption = platform::MessageCaption(request.kind, request.caption);
  return "[" + caption + "] " + request.text;
}

}  // namespace

TUnattendedUi::TUnattendedUi(platform::Ui& inner, const Options& options,
                             std::function<void(int ms)> wait)
    : inner_(inner), options_(options), wait_(std::move(wait)) {}

void TUnattendedUi::Wait(int ms) {
  if (wait_) {
    wait_(ms);
    return;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    inner_.ProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

platform::Button TUnattendedUi::DefaultAnswer(const platform::MessageBoxRequest& request) {
  const unsigned b = request.buttons;
  if ((b & platform::kButtonRetry) && (b & platform::kButtonIgnore)) {
    // Consecutive boxes with the same text are one file that stays in use.
    if (request.text != retryText_) {
      retryText_ = request.text;
      retries_ = 0;
    }
    if (retries_ < options_.retryAttempts) {
      ++retries_;
      LogEvent(log_event::kRetry, std::to_string(retries_) + "/" +
                                      std::to_string(options_.retryAttempts) + " " +
                                      BoxDescription(request));
      Wait(options_.retryDelayMs);
      return platform::kButtonRetry;
    }
    retryText_.clear();
    return platform::kButtonIgnore;
  }
  if (b & platform::kButtonYes) return platform::kButtonYes;
  if (b & platform::kButtonOk) return platform::kButtonOk;
  return platform::DefaultButtonOf(request);
}

platform::Button TUnattendedUi::MessageBox(const platform::MessageBoxRequest& request) {
  const bool hidden = options_.suppressBoxes ||
                      (options_.silent && request.kind == platform::MessageKind::Information);
  const platform::Button answer = hidden ? DefaultAnswer(request) : inner_.MessageBox(request);
  // A retry logs its own line; the final "Далее" is logged as the box's answer.
  if (!(hidden && answer == platform::kButtonRetry)) {
    LogEvent(log_event::kMessage, BoxDescription(request) + " -> " +
                                      platform::ButtonCaption(answer) +
                                      (hidden ? " (not shown)" : ""));
  }
  return answer;
}

bool TUnattendedUi::ChooseFolder(const std::string& title, std::string& folder) {
  if (options_.suppressBoxes) return false;
  return inner_.ChooseFolder(title, folder);
}

bool TUnattendedUi::OpenFileDialog(const std::string& title, const std::string& filter,
                                   std::string& file) {
  if (options_.suppressBoxes) {
    LogEvent(log_event::kMessage, "[" + title + "] " + file + " -> cancelled (not shown)");
    return false;
  }
  return inner_.OpenFileDialog(title, filter, file);
}

int TUnattendedUi::ShowModal(platform::Form& form) {
  if (!options_.hideForms) return inner_.ShowModal(form);
  form.modalResult = platform::kMrNone;
  form.closeRequested = false;
  form.Shown();
  return form.modalResult != platform::kMrNone ? form.modalResult : platform::kMrCancel;
}

}  // namespace installer
