// The copy pass: the copy window's first activation prepares the profile and
// the install folder, then extracts every archive volume into a staging
// folder of the run's own. Each member is placed as soon as it is written
// (PlaceFile) and the last member of the last volume runs the finishing pass
// (FinishInstall). A run that ends before the finishing pass has written the
// install log is rolled back (AbortInstall): what it placed goes, what it
// replaced comes back, the keys it wrote get their earlier values.
#include "installer/inst_f3.h"
#include "installer/profile.h"
#include "installer/run_log.h"
#include "installer/run_recovery.h"
#include "platform/platform.h"
#include "support/cp1251.h"
#include "support/exceptions.h"
#include "support/path_text.h"

namespace installer {

using support::Cp1251;

std::string ExpandInstallDir(const std::string& text) {
  return ReplaceMacro(text, "%INSTALLDIR%", Profile().InstallDir);
}

std::string ExpandStartDir(const std::string& text) {
  const std::string& start = Profile().StartDir;
  return ReplaceMacro(text, "%STARTDIR%", start.size() == 2 ? start + "\\" : start);
}

void TInstF3::FormShow() {
  if (runStarted_) return;  // message boxes of the run re-activate the window
  runStarted_ = true;
  // Windows is asked not to end the session in the middle of the run.
  platform::ui().BlockShutdown(true, Profile().InstallCaption);
  platform::ui().ProcessMessages();
  PrepareRun();
  if (!MakeRunFolders()) {
    AbortInstall();
    return;
  }

  ProductProfile& p = Profile();
  if (!p.SelfCopyName.empty()) {
    const std::string copy = StagingDir + "\\" + p.SelfCopyName;
    platform::files().CopyFile(platform::shell().ExePath(), copy, false);
    ClearReadOnly(copy);
  }

  InstallList = std::make_unique<std::vector<std::string>>();
  std::string header;
  for (const std::string& text : p.UninstallTexts) header += text + "|";
  InstallList->push_back(header);
  for (const std::string& extra : InUse(p.UninstallExtras, p.UninstallExtraCount))
    Record(ExpandInstallDir(extra));

  Finished = false;
  RunVolumes();
  if (!Finished) AbortInstall();
}

// Expands the macros of the profile, sets up the unzip component, the
// progress bar and the report texts.
void TInstF3::PrepareRun() {
  ProductProfile& p = Profile();
  p.PostInstallProgram = ExpandInstallDir(p.PostInstallProgram);
  p.PostInstallDir = ExpandInstallDir(p.PostInstallDir);
  p.SetupParams = support::Trim(ExpandStartDir(ExpandInstallDir(p.SetupParams)));
  p.PostInstallParams =
      p.SetupParams.empty() ? ExpandInstallDir(p.PostInstallParams) : p.SetupParams;
  for (std::string& dir : InUse(p.ProductDirs, p.ProductDirCount)) dir = ExpandInstallDir(dir);
  for (ShortcutRecord& s : InUse(p.Shortcuts, p.ShortcutCount)) {
    s.Target = ExpandInstallDir(s.Target);
    s.Arguments = ExpandInstallDir(s.Arguments);
    s.WorkDir = ExpandInstallDir(s.WorkDir);
    s.LinkDir = ExpandInstallDir(s.LinkDir);
  }
  for (AssociationRecord& a : InUse(p.Associations, p.AssociationCount))
    a.ProgramDir = ExpandInstallDir(a.ProgramDir);

  UnZipper1.Password = ArchivePassword();

  ProgressBar1.position = 0;
  ProgressBar1.maximum = p.VolumeCount * 100 + p.ShortcutCount * 5;

  NotUpdatedFiles.clear();
  NotCreatedFiles.clear();
  FailedShortcuts.clear();
  GroupError.clear();
}

// Creates the UNINST sub-folder and starts the run's journal there, then the
// product folders (failures ignored: placement tries again for each file)
// and the staging folder. The staging
// folder is always a new one, so that removing it afterwards removes nothing
// but what the run put there: TEMP, or TEMP2, TEMP3, ... when a folder of
// that name is already there (the host's own, or one a killed run left).
// Without UNINST or the staging folder the run cannot go on: false, with the
// reason for the rollback's message.
bool TInstF3::MakeRunFolders() {
  ProductProfile& p = Profile();
  auto& files = platform::files();
  // UNINST stays even when the run is rolled back, as it always has; the
  // journal lives there, beside the install log.
  const std::string uninst = p.InstallDir + "\\UNINST";
  if (!files.DirectoryExists(uninst) && !files.CreateDir(uninst)) {
    NoteFailure(CreateFolderFailure(uninst, files.LastError()));
    return false;
  }
  if (undo_.Begin(uninst, p.ProductName, p.InstallDir, JournalRoots()))
    LogEvent(log_event::kRun, "journal \"" + undo_.JournalPath() + "\"");
  else
    LogEvent(log_event::kError, "no journal could be made in \"" + uninst + "\"");
  for (const std::string& dir : InUse(p.ProductDirs, p.ProductDirCount)) MakeFolder(dir);
  StagingDir = ClaimFolder(p.InstallDir, kStagingFolderName);
  if (StagingDir.empty()) {
    NoteFailure(CreateFolderFailure(p.InstallDir + "\\" + kStagingFolderName, files.LastError()));
    return false;
  }
  undo_.StagingMade(StagingDir);
  UnZipper1.SetDestDir(StagingDir);
  return true;
}

// Extracts the volumes in order; the first exception ends the loop. The
// failures of the run's own files keep their reason for the rollback's
// message (read at once, before the clean-up makes calls of its own);
// everything else is the archive's.
void TInstF3::RunVolumes() {
  const ProductProfile& p = Profile();
  auto& files = platform::files();
  for (int32_t v = 1; v <= p.VolumeCount; ++v) {
    try {
      // The number goes first so that a failure to open the volume is
      // reported with this volume's name.
      CurrentVolume = v;
      UnZipper1.SetZipName(VolumePath(p, v));
      LogEvent(log_event::kVolume, std::to_string(v) + "/" + std::to_string(p.VolumeCount) + " \"" +
                                       VolumePath(p, v) + "\"");
      UnZipper1.UnZip();
    } catch (const ERunFailure& failure) {
      NoteFailure(failure);
      break;
    } catch (const support::EWriteError&) {
      NoteFailure(WriteFailure(UnZipper1.OutputPath(), files.LastError()));
      break;
    } catch (const support::EFCreateError&) {
      NoteFailure(CreateFileFailure(UnZipper1.OutputPath(), files.LastError()));
      break;
    } catch (...) {
      Failure = fkArchive;
      break;
    }
  }
}

void TInstF3::NoteFailure(const ERunFailure& failure) {
  abortReason_ = failure.Message();
  Failure = failure.Kind();
}

std::string TInstF3::AbortMessage() const {
  std::string text = abortReason_;
  if (text.empty()) {
    const ProductProfile& p = Profile();
    text = Cp1251("Ошибка при чтении данных. Вероятно, испорчен файл ") + p.ArchiveName +
           VolumeSuffix(CurrentVolume) + ".\r\n" + Cp1251("Продолжение установки невозможно.");
  }
  if (notRestored_.empty()) return text;
  return text + "\r\n" + NotRestoredText(notRestored_);
}

// The folders the run may change things in, for its journal: a later
// undo touches nothing outside them.
std::vector<std::string> TInstF3::JournalRoots() const {
  const ProductProfile& p = Profile();
  std::vector<std::string> roots = {p.InstallDir, p.SystemDir, p.ProgramsDir, p.DesktopDir};
  for (const ShortcutRecord& s : InUse(p.Shortcuts, p.ShortcutCount)) {
    roots.push_back(s.LinkDir);
    roots.push_back(LinkBackupRoot(s.LinkDir));
  }
  std::erase_if(roots, [](const std::string& r) { return r.empty(); });
  return roots;
}

// The undo comes first and the message after it, so that a program ended
// at the message has already put everything back.
void TInstF3::AbortInstall() {
  ProductProfile& p = Profile();
  auto& files = platform::files();
  if (Failure == fkNone) Failure = fkArchive;
  LogEvent(log_event::kRollback, AbortMessage());

  // Only what this run changed is put back: the files it placed go (the
  // extra paths of the log and kept files that were already there are left
  // alone), the files it replaced return, the keys get their earlier values.
  InstallList.reset();
  notRestored_ = undo_.Undo();
  for (const std::string& path : notRestored_)
    LogEvent(log_event::kNotRestored, "\"" + path + "\"");
  if (groupCreated_) files.RemoveDir(p.ProgramsDir + p.ProgramGroup);
  groupCreated_ = false;

  if (!StagingDir.empty()) RemoveTree(StagingDir);
  // The folders this run created go when they are empty, deepest first.
  // Folders of ProductDirs that were there before the run stay, even empty.
  RemoveCreatedFolders();
  // What could not be put back stays in the journal for the next start.
  undo_.EndJournal(notRestored_.empty());
  files.RemoveDir(p.InstallDir);
  Outcome = notRestored_.empty() ? roRolledBack : roRollbackIncomplete;

  platform::MessageBoxRequest box;
  box.kind = platform::MessageKind::Error;
  box.text = AbortMessage();
  box.buttons = platform::kButtonOk;
  platform::ui().MessageBox(box);
  EndProgram();
}

}  // namespace installer
