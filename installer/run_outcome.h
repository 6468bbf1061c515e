// The outcome of one program run and the process exit code that reports it.
// The codes are documented for administrators and stay stable: scripts that
// deploy the package to many machines test them.
#pragma once

#include <string>

namespace installer {

enum class ExitCode : int {
  Installed = 0,              // installed completely
  NotStarted = 1,             // bad switches, archive missing or unreadable, start-up failure
  Cancelled = 2,              // the user left before the run (Выход, Esc, close box)
  FolderRefused = 3,          // the Install command refused the folder
  RolledBack = 4,             // the run failed and was rolled back
  InstalledWithProblems = 5,  // installed; the final report lists problems
  AlreadyRunning = 6,         // another installer is running
  RollbackIncomplete = 7,     // the run failed and some of its changes could not be undone yet
  RestartNeeded = 3010,       // installed; files in use are replaced at the next restart
};

// What the program run came to: the code and, for the run log, why.
struct RunOutcome {
  ExitCode code = ExitCode::NotStarted;
  std::string reason;  // ANSI text; empty when the code says it all
};

// The process-wide record. Whoever learns how the run ends sets it; the last
// setting counts (a refused folder followed by the user leaving is a cancel).
RunOutcome& Outcome();
void SetOutcome(ExitCode code, const std::string& reason = "");
// Back to "not started" (a fresh program run; tests).
void ResetOutcome();

// "installed", "not started", ...: the code's name in the run log.
const char* ExitCodeName(ExitCode code);

}  // namespace installer
