// How an installation run ends, and the failures that end it early. A run
// that cannot go on is rolled back; its message says what went wrong: the
// archive's own text when a volume or a member is damaged, otherwise the
// file or folder that failed and what the system said about it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "support/exceptions.h"

namespace installer {

// The end of an installation run, as the copy window knows it.
enum TRunOutcome : uint8_t {
  roNotEnded = 0,                // not started yet, or still going on
  roCompleted = 1,               // everything is in place; the success report
  roCompletedWithProblems = 2,   // complete; the report lists what could not be done
  roRolledBack = 3,              // not complete: what the run changed was put back
  roRollbackIncomplete = 4,      // not complete, and some changes could not be put back yet
  roCompletedRestartNeeded = 5,  // complete; files in use are replaced at the next restart
};

// Why a run was rolled back.
enum TFailureKind : uint8_t {
  fkNone = 0,
  fkArchive = 1,     // a volume missing, unreadable or damaged, or a member that failed its check
  fkDiskFull = 2,    // a disk the run writes to has no room left
  fkFileSystem = 3,  // any other failure to create, write or move a file or folder
};

// A failure that ends the run for a reason other than the archive; its
// message is the whole text of the rollback's message box.
class ERunFailure : public support::Exception {
 public:
  ERunFailure(TFailureKind kind, std::string message)
      : Exception(std::move(message)), kind_(kind) {}
  TFailureKind Kind() const { return kind_; }

 private:
  TFailureKind kind_;
};

// The failures of the run's own files, each naming the path and the system's
// error text, then "Продолжение установки невозможно.".
ERunFailure WriteFailure(const std::string& path, const platform::FileError& error);
ERunFailure ReadFailure(const std::string& path, const platform::FileError& error);
ERunFailure CreateFileFailure(const std::string& path, const platform::FileError& error);
ERunFailure CreateFolderFailure(const std::string& path, const platform::FileError& error);

}  // namespace installer
