// A scripted user interface for one test: installs a platform::ScriptedUi as
// platform::ui() while it lives and restores the previous one afterwards. It
// fails the test for every message box or dialog shown without being expected
// (when it is shown) and, at the end, for every expected one that never came.
// Under Wine the default user interface is the real one, whose boxes wait for
// a user (or, without a display, fail at once): a test that may show a box
// must use a script.
#pragma once

#include "platform/scripted_ui.h"

namespace testing_support {

class UiScript {
 public:
  UiScript();
  ~UiScript();
  UiScript(const UiScript&) = delete;
  UiScript& operator=(const UiScript&) = delete;

  platform::ScriptedUi& ui() { return ui_; }
  platform::ScriptedUi* operator->() { return &ui_; }

 private:
  platform::ScriptedUi ui_;
  platform::Ui* previous_;
};

// Adds a test failure (with the UTF-8 text of the box) for everything the
// script did not expect, and for expected answers never asked for.
void ExpectNoUnexpectedBoxes(const platform::ScriptedUi& ui);

}  // namespace testing_support
