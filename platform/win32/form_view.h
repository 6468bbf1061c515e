// The window layer of the win32 platform: turns a form description into real
// windows at 96 DPI (fonts by pixel height, labels painted as the form draws
// them, bevel lines, check list, progress bar, timers) and routes the
// windows' messages to the form's events. Between events the form's data and
// the windows are kept in step: texts typed by the user are read back before
// a handler runs, and whatever the handler changed is shown after it.
#pragma once

#include <string>

#include "platform/form.h"

namespace platform::win32 {

// Installs the presenter of Ui::ShowModal and text metrics from real fonts.
void InstallFormView();

// Shows a form modally over the active window; returns its modal result.
int ShowFormModal(Form& form);

// Shows form as the main window and runs the message loop until it is closed
// or the application is told to terminate. Returns the process exit code.
int RunMainForm(Form& form);

// While on, every window of the program refuses WM_QUERYENDSESSION and the
// application window gives reason to ShutdownBlockReasonCreate.
void SetShutdownBlocked(bool on, const std::string& reason);

}  // namespace platform::win32
