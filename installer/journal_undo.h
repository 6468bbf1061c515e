// Undoing the records of a run's journal: the one way back for a run that
// is rolled back by its own process and for one that the next start finds
// interrupted. Every step can be done again without harm (a file that is
// already back, or already gone, is left alone), so that an undo that is
// itself cut off is finished by the next one.
//
// Only paths inside the folders that the journal names as its roots before
// them are touched, and no path with "." or ".." in it: a damaged or made-up
// journal cannot reach the rest of the machine.
#pragma once

#include <string>
#include <vector>

#include "installer/run_journal.h"

namespace installer {

// Undoes the records in reverse order: placed files go, kept files come back
// by replacing, keys get their earlier state, the staging folder goes and
// the folders made go when empty. Returns what could not be put back.
std::vector<std::string> UndoJournal(const std::vector<JournalRecord>& records);

// Removes the folders the records made, deepest first, when they are empty
// (a second pass, after the journal itself has gone from one of them).
void RemoveJournalFolders(const std::vector<JournalRecord>& records);

// The clean-up of a run that completed: the kept earlier files and the
// run's spare files go (those that cannot, at the next restart), and so do
// the empty backup folders.
void CleanUpJournal(const std::vector<JournalRecord>& records);

// Whether path is a full path without "." or ".." parts inside one of roots
// (or, with mayBeRoot, one of them itself).
bool InsideRoots(const std::string& path, const std::vector<std::string>& roots, bool mayBeRoot);

}  // namespace installer
