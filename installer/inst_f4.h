// TInstF4, the component chooser: a check list of the optional components.
// Item i stands for ComponentDirs[i]; the check states are the user's choice.
#pragma once

#include "platform/form.h"

namespace installer {

class TInstF4 {
 public:
  TInstF4();
  TInstF4(const TInstF4&) = delete;
  TInstF4& operator=(const TInstF4&) = delete;

  platform::Form form;
  // The controls, captured as the window is built.
  platform::Control& StaticText1;    // the explanation above the list
  platform::Control& Panel1;         // the button strip along the bottom
  platform::Control& CheckListBox1;  // one item per component
  platform::Control& Button1;        // OK, on Panel1
  platform::Control& Button2;        // cancel, on Panel1

  void FormShow();
  // Runs when the user toggles an item: OK is enabled while any item is checked.
  void CheckListBox1Click();
  // Sets caption, text and client height for the profile's components and
  // fills the check list (the start-up sequence's chooser preparation).
  void Prepare();
};

}  // namespace installer
