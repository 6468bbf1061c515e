// TInstF4, the component chooser: a check list of the optional components.
// Item i stands for ComponentDirs[i]; the check states are the user's choice.
#pragma once

#include "platform/form.h"

namespace installer {

class TInstF4 {
 public:
  TInstF4();
  platform::Form form;

  void FormShow();
  // Runs when the user toggles an item: OK is enabled while any item is checked.
  void CheckListBox1Click();
  // Sets caption, text and client height for the profile's components and
  // fills the check list (the start-up sequence's chooser preparation).
  void Prepare();
};

}  // namespace installer
