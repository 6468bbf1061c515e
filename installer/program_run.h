// One run of setup.exe, from its command line to its exit code: reads the
// switches, opens the run log, keeps a second installer out, runs the
// start-up sequence and then either shows the main window or, in a silent
// run, starts the Install command at once. The program entry of each build
// calls it with the way to show the main window.
#pragma once

#include <functional>
#include <string>

#include "installer/profile.h"
#include "platform/form.h"

namespace installer {

// Shows the main window and runs its message loop until it is closed or the
// program is told to end; a result other than 0 means it could not be shown.
using MainWindowLoop = std::function<int(platform::Form&)>;

// Runs the program for product with the command line (without the program's
// own name) and returns the process exit code (see run_outcome.h).
int RunProgram(const std::string& commandLine, const ProductDefinition& product,
               const MainWindowLoop& showMainWindow);

// The name of the machine-wide lock that keeps two installers of a product
// from running at the same time.
std::string InstanceLockName(const ProductDefinition& product);

// How long a new installer waits for one that is just ending.
constexpr int kInstanceWaitMs = 2000;

}  // namespace installer
