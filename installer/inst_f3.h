// TInstF3, the copy window: a borderless strip below the main window with a
// status caption and a progress bar. The Install command places it and shows
// it modally; its first activation runs the whole installation run: the copy
// pass extracts the archive volumes into a staging folder of its own
// (InstallDir\TEMP), places each member as soon as it is written, and after
// the last member of the last volume the finishing pass registers
// associations, makes shortcuts, writes the install log and shows the final
// report. A run that does not get that far is rolled back: everything it
// changed is put back as it was. Either way the program ends with the run.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/unzipper.h"
#include "installer/run_failure.h"
#include "installer/run_undo.h"
#include "platform/form.h"

namespace installer {

struct ShortcutRecord;

// The 1-based number of the archive volume being extracted; read by the
// progress handler, the end-of-member handler and the rollback's message.
extern int32_t CurrentVolume;

// The password the archive volumes are encrypted with (fixed at build time).
const std::string& ArchivePassword();

class TInstF3 {
 public:
  TInstF3();
  TInstF3(const TInstF3&) = delete;
  TInstF3& operator=(const TInstF3&) = delete;

  platform::Form form;
  // The controls, captured as the window is built.
  platform::Control& Panel1;        // the raised frame filling the window
  platform::Control& Label1;        // status caption, on Panel1
  platform::Control& ProgressBar1;  // on Panel1
  archive::TUnZipper UnZipper1;

  // Line 0: the install log's header; then every file and shortcut file in
  // the order they were put in place. Exists from the start of the
  // extraction until the log is written or the run is rolled back.
  std::unique_ptr<std::vector<std::string>> InstallList;
  // Report texts: runs of entries "\"path\", " (GroupError is a whole sentence).
  std::string NotUpdatedFiles, NotCreatedFiles, FailedShortcuts, GroupError;
  bool Finished = false;
  // The folder the archive is extracted into: one that this run made,
  // InstallDir\TEMP unless a folder of that name is already there.
  std::string StagingDir;
  // Set for an unattended run: a file that another program still holds
  // after the retries is put in place at the next restart, not left out.
  bool RestartReplacement = false;
  // How the run ended, and why when it was rolled back.
  TRunOutcome Outcome = roNotEnded;
  TFailureKind Failure = fkNone;

  // Window events.
  void FormShow();  // activation: runs the installation run once
  void FormCloseQuery(bool& canClose);
  void UnZipper1TotalPercentDone(archive::TUnZipper* sender, int percent);
  void UnZipper1EndUnZip(archive::TUnZipper* sender, int fileIndex, const std::string& fName);

  // Steps of the run, shared by the handlers above.
  void PlaceFile(const std::string& name);
  void FinishInstall();
  void AbortInstall();
  // Message of the rollback: names the volume that was being read, or the
  // file or folder that failed when the failure is not the archive's.
  std::string AbortMessage() const;

  // Association pass, program group and shortcut pass of the finishing pass.
  void RegisterAssociations();
  void CreateProgramGroup();
  void CreateShortcuts();
  bool PlaceShortcut(const ShortcutRecord& row, const std::string& linkPath);

  // True once the run has started (a later activation does nothing).
  bool RunStarted() const { return runStarted_; }

 private:
  void PrepareRun();
  bool MakeRunFolders();
  std::vector<std::string> JournalRoots() const;
  void RunVolumes();
  void ShowFinalReport();
  void EndProgram();
  void Record(const std::string& path);
  bool Move(const std::string& staged, const std::string& target);
  bool TryMove(const std::string& staged, const std::string& target);
  void EnsureFolder(const std::string& dir);
  // Names the file a member is extracted to: its place, where it can go
  // there at once, or else (path unchanged) the staging folder.
  void ChooseOutput(int fileIndex, std::string& path);
  bool Replace(const std::string& staged, const std::string& target, bool system,
               uint32_t attributes);
  bool StageForRestart(const std::string& from, const std::string& target);
  // Once the run has committed: has the system put the staged files in place
  // at the next restart. False when none is scheduled.
  bool ScheduleRestartReplacements();
  // Keeps the reason of a failure that is not the archive's for the rollback.
  void NoteFailure(const ERunFailure& failure);
  // Stops the run when a member was skipped or failed its check.
  [[noreturn]] void MemberFailed(const std::string& why);
  // Creates a folder with its missing parents and remembers those it made.
  void MakeFolder(const std::string& dir);
  void RemoveCreatedFolders();
  void SetCaption(const std::string& text);
  void AdvanceProgress(int units);

  bool runStarted_ = false;
  // The files this run placed or replaced and the keys it wrote: the
  // rollback puts back exactly these, never a file that it did not touch.
  TRunUndo undo_;
  // Folders this run created, parents included; the rollback removes those
  // that are empty, deepest first.
  std::vector<std::string> createdFolders_;
  // Folders (upper case) that this run made, and those it has seen to exist:
  // a folder is checked once, not for each of its files.
  std::set<std::string> freshFolders_, knownFolders_;
  // Targets (upper case) of members extracted straight to their place, and
  // that of the member being extracted so, if it is.
  std::set<std::string> writtenInPlace_;
  std::string inPlace_;
  bool groupCreated_ = false;  // the program group is this run's
  // Set when the run cannot go on for a reason other than the archive; the
  // rollback then shows this text instead of the archive message.
  std::string abortReason_;
  // What the rollback could not put back; kept in the journal.
  std::vector<std::string> notRestored_;
  struct PendingRestart {
    std::string staged, target;  // staged beside target, on its volume
  };
  std::vector<PendingRestart> restartReplacements_;
};

// Where a link's earlier file is kept while the run replaces it: the
// parent of its folder, on the same volume but out of the folder shown.
std::string LinkBackupRoot(const std::string& linkDir);

// Replaces every "%InstallDir%" (any letter case) by InstallDir.
std::string ExpandInstallDir(const std::string& text);
// Replaces every "%STARTDIR%" (any letter case) by StartDir, with a backslash
// appended when StartDir is a bare drive such as "C:".
std::string ExpandStartDir(const std::string& text);

// Clears the read-only attribute of a file if it is set.
void ClearReadOnly(const std::string& path);
// Deletes a folder with everything in it, read-only files included; what
// cannot be deleted stays, and so do the folders that hold them.
void RemoveTree(const std::string& folder);
// Makes a new folder in parent named name, or name2, name3, ... when that
// name is taken, and returns its path: a folder that nobody else has put
// anything into. Empty when no folder can be made there.
std::string ClaimFolder(const std::string& parent, const std::string& name);
// The name of the staging folder the run claims in the install folder.
inline constexpr const char* kStagingFolderName = "TEMP";

}  // namespace installer
