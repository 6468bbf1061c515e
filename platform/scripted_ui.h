// A user interface driven by a script, for tests and the native tools. The
// test queues the answers it expects to give (message boxes, folder and file
// dialogs, modal forms); every box shown is recorded with its caption, text
// and buttons. Anything shown that the script did not expect is recorded as
// unexpected and answered with Cancel (or No, or the default button), so a
// test helper can fail the test with its text. This file does not depend on
// any test framework and is built for both platforms.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

class ScriptedUi : public Ui {
 public:
  struct ShownBox {
    MessageKind kind;
    std::string caption;  // resolved caption, ANSI
    std::string text;
    unsigned buttons;
    Button answer;
    bool expected;
  };

  // Expects one more message box, answered with answer. When textPart is not
  // empty the box's text must contain it (ANSI), otherwise the box counts as
  // unexpected.
  void ExpectMessage(Button answer, const std::string& textPart = "");
  // Expects a folder chooser: ok false means the user cancels.
  void ExpectFolder(bool ok, const std::string& folder = "");
  void ExpectOpenFile(bool ok, const std::string& file = "");
  // Expects a modal form, handled by handler (which returns the modal result).
  void ExpectForm(std::function<int(Form&)> handler);

  // Called with the description of each unexpected box or dialog as it
  // happens (a test helper turns it into a test failure at that point).
  void SetUnexpectedHook(std::function<void(const std::string&)> hook) {
    unexpectedHook_ = std::move(hook);
  }

  // Called from every ProcessMessages (e.g. to set a cancel flag mid-run).
  void SetProcessMessagesHook(std::function<void()> hook) { processHook_ = std::move(hook); }

  const std::vector<ShownBox>& Shown() const { return shown_; }
  // Descriptions of everything shown without being expected, and of expected
  // answers that were never asked for.
  const std::vector<std::string>& Unexpected() const { return unexpected_; }
  std::vector<std::string> Unused() const;
  int ProcessMessagesCount() const { return processCount_; }
  Cursor CurrentCursor() const { return cursor_; }
  void Reset();

  Button MessageBox(const MessageBoxRequest& request) override;
  bool ChooseFolder(const std::string& title, std::string& folder) override;
  bool OpenFileDialog(const std::string& title, const std::string& filter,
                      std::string& file) override;
  void ProcessMessages() override;
  void SetCursor(Cursor cursor) override { cursor_ = cursor; }
  int ShowModal(Form& form) override;

 private:
  enum class Kind { Message, Folder, File, Form };
  struct Step {
    Kind kind;
    Button answer = kButtonNone;
    std::string text;  // textPart, folder or file
    bool ok = false;
    std::function<int(Form&)> form;
  };
  bool Next(Kind kind, Step& step, const std::string& what);
  void Flag(const std::string& what);

  std::deque<Step> script_;
  std::vector<ShownBox> shown_;
  std::vector<std::string> unexpected_;
  std::function<void()> processHook_;
  std::function<void(const std::string&)> unexpectedHook_;
  int processCount_ = 0;
  Cursor cursor_ = Cursor::Default;
};

}  // namespace platform
