// Recovery at start-up: the runs of this product whose process ended
// without its rollback (End task, a crash, a logoff, power loss) are undone
// from their journals before anything else happens, and runs that completed
// but did not get to clean up are cleaned up. A journal whose undo cannot
// finish (a file still held open) stays for the next start.
#pragma once

#include <string>
#include <vector>

#include "installer/profile.h"

namespace installer {

struct RecoveryReport {
  int undone = 0;                 // interrupted runs found and undone, in full or in part
  std::vector<std::string> left;  // what could not be put back yet
};

// Finishes the journals that the product's record names.
RecoveryReport RecoverInterruptedRuns(const std::string& product);

// The one short message that tells the user; empty when nothing was undone.
std::string RecoveryMessage(const ProductDefinition& product, const RecoveryReport& report);

// "\"a\", \"b\"": paths as the messages list them.
std::string QuotedList(const std::vector<std::string>& paths);

// The sentences that name what could not be put back, and say when it will be.
std::string NotRestoredText(const std::vector<std::string>& left);

}  // namespace installer
