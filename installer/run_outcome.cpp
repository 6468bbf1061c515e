#include "installer/run_outcome.h"

namespace installer {

RunOutcome& Outcome() {
  static RunOutcome outcome;
  return outcome;
}

void SetOutcome(ExitCode code, const std::string& reason) { Outcome() = {code, reason}; }

void ResetOutcome() { Outcome() = RunOutcome(); }

const char* ExitCodeName(ExitCode code) {
  switch (code) {
    case ExitCode::Installed:
      return "completed";
    case ExitCode::NotStarted:
      return "not started";
    case ExitCode::Cancelled:
      return "cancelled by the user";
    case ExitCode::FolderRefused:
      return "install folder refused";
    case ExitCode::RolledBack:
      return "rolled back";
    case ExitCode::InstalledWithProblems:
      return "installed with problems";
    case ExitCode::AlreadyRunning:
      return "another installer is running";
    case ExitCode::RollbackIncomplete:
      return "rollback incomplete";
    case ExitCode::RestartNeeded:
      return "installed; restart needed";
  }
  return "unknown";
}

}  // namespace installer
