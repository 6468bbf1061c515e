#include "platform/scripted_ui.h"

#include "platform/form.h"
#include "platform/message_texts.h"

namespace platform {

namespace {

const char* KindName(MessageKind kind) {
  switch (kind) {
    case MessageKind::Warning:
      return "warning";
    case MessageKind::Error:
      return "error";
    case MessageKind::Information:
      return "information";
    case MessageKind::Confirmation:
      return "confirmation";
    case MessageKind::ApplicationError:
      return "application error";
    case MessageKind::Custom:
      break;
  }
  return "custom";
}

}  // namespace

void ScriptedUi::ExpectMessage(Button answer, const std::string& textPart) {
  script_.push_back({Kind::Message, answer, textPart, true, {}});
}

void ScriptedUi::ExpectFolder(bool ok, const std::string& folder) {
  script_.push_back({Kind::Folder, kButtonNone, folder, ok, {}});
}

void ScriptedUi::ExpectOpenFile(bool ok, const std::string& file) {
  script_.push_back({Kind::File, kButtonNone, file, ok, {}});
}

void ScriptedUi::ExpectForm(std::function<int(Form&)> handler) {
  script_.push_back({Kind::Form, kButtonNone, "", true, std::move(handler)});
}

void ScriptedUi::Flag(const std::string& what) {
  unexpected_.push_back(what);
  if (unexpectedHook_) unexpectedHook_(what);
}

bool ScriptedUi::Next(Kind kind, Step& step, const std::string& what) {
  if (script_.empty() || script_.front().kind != kind) {
    Flag("unexpected " + what);
    return false;
  }
  step = std::move(script_.front());
  script_.pop_front();
  return true;
}

Button ScriptedUi::MessageBox(const MessageBoxRequest& request) {
  const std::string caption = MessageCaption(request.kind, request.caption);
  std::string what =
      std::string(KindName(request.kind)) + " box \"" + caption + "\": " + request.text;
  Step step;
  bool expected = Next(Kind::Message, step, what);
  if (expected && !step.text.empty() && request.text.find(step.text) == std::string::npos) {
    Flag(what + " (expected a text containing: " + step.text + ")");
    expected = false;
  }
  if (expected && !(request.buttons & step.answer)) {
    Flag(what + " (the scripted answer is not one of its buttons)");
    expected = false;
  }
  Button answer = step.answer;
  if (!expected) {
    // Leave the way a user closing the box would: Cancel, else No, else the default.
    answer = (request.buttons & kButtonCancel) ? kButtonCancel
             : (request.buttons & kButtonNo)   ? kButtonNo
                                               : DefaultButtonOf(request);
  }
  shown_.push_back({request.kind, caption, request.text, request.buttons, answer, expected});
  return answer;
}

bool ScriptedUi::ChooseFolder(const std::string& title, std::string& folder) {
  Step step;
  if (!Next(Kind::Folder, step, "folder chooser \"" + title + "\" at " + folder)) return false;
  if (step.ok) folder = step.text;
  return step.ok;
}

bool ScriptedUi::OpenFileDialog(const std::string& title, const std::string& filter,
                                std::string& file) {
  Step step;
  if (!Next(Kind::File, step, "file dialog \"" + title + "\" (" + filter + ")")) return false;
  if (step.ok) file = step.text;
  return step.ok;
}

void ScriptedUi::ProcessMessages() {
  ++processCount_;
  if (processHook_) processHook_();
}

int ScriptedUi::ShowModal(Form& form) {
  Step step;
  if (!Next(Kind::Form, step, "modal form \"" + form.name + "\"")) return kMrCancel;
  return step.form ? step.form(form) : kMrCancel;
}

std::vector<std::string> ScriptedUi::Unused() const {
  std::vector<std::string> out;
  for (const auto& step : script_) {
    switch (step.kind) {
      case Kind::Message:
        out.push_back("expected message box never shown" +
                      (step.text.empty() ? std::string() : ": " + step.text));
        break;
      case Kind::Folder:
        out.push_back("expected folder chooser never shown");
        break;
      case Kind::File:
        out.push_back("expected file dialog never shown");
        break;
      case Kind::Form:
        out.push_back("expected modal form never shown");
        break;
    }
  }
  return out;
}

void ScriptedUi::Reset() {
  script_.clear();
  shown_.clear();
  unexpected_.clear();
  processHook_ = nullptr;
  processCount_ = 0;
  cursor_ = Cursor::Default;
}

}  // namespace platform
