// Pieces of the win32 platform that other layers plug into.
#pragma once

#include <functional>
#include <memory>

#include "platform/platform.h"

namespace platform::win32 {

// Shows a form modally and returns its modal result. The window layer, which
// turns form descriptions into real windows, installs it at start-up;
// Ui::ShowModal of the win32 platform hands every form to it.
using FormPresenter = std::function<int(Form&)>;
void SetFormPresenter(FormPresenter presenter);

// Shows in the windows what long-running handlers have changed so far (a
// progress bar, a status caption). The window layer installs it;
// Ui::ProcessMessages calls it before it processes the pending messages.
using FormRefresher = std::function<void()>;
void SetFormRefresher(FormRefresher refresher);

std::unique_ptr<Files> MakeFiles();
std::unique_ptr<Registry> MakeRegistry();
std::unique_ptr<Shell> MakeShell();
std::unique_ptr<Text> MakeText();
std::unique_ptr<Ui> MakeUi();

}  // namespace platform::win32
