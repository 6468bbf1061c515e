// TInstF3, the copy window: a borderless strip below the main window with a
// status caption and a progress bar. The Install command places it and shows
// it modally; its activation runs the installation run.
#pragma once

#include <functional>

#include "platform/form.h"

namespace installer {

class TInstF3 {
 public:
  TInstF3();
  platform::Form form;
};

}  // namespace installer
