// Placement of one extracted member: from the staging folder to the install
// folder, or to the system folder for members under SYSTEM\. Members of
// excluded components stay staged, kept files that exist are not replaced,
// system files are replaced only by newer copies, and an old file that cannot
// be moved out of the way (another program holds it) brings up the retry
// dialog. The old file is kept aside until the run ends, so that a rollback
// can put it back. What was placed goes to the install list, what failed to
// the report texts, new folders to ProductDirs.
#include "installer/inst_f3.h"
#include "installer/profile.h"
#include "installer/run_log.h"
#include "platform/platform.h"
#include "support/cp1251.h"
#include "support/path_text.h"

namespace installer {

using support::Cp1251;
using support::FolderOf;

namespace {

const char kSystemPrefix[] = "SYSTEM\\";
constexpr size_t kSystemPrefixLength = sizeof kSystemPrefix - 1;
constexpr size_t kSystemNameMax = 200;  // characters of a system member's name kept

bool IsExcluded(const std::string& name) {
  const ProductProfile& p = Profile();
  const std::string dir = FolderOf(name);
  if (dir.empty() || !p.ExcludedComponents) return false;
  auto& text = platform::text();
  const std::string top = support::Trim(text.UpperCase(dir.substr(0, dir.find('\\'))));
  for (const std::string& excluded : *p.ExcludedComponents) {
    if (text.Compare(excluded, top, true) == 0) return true;
  }
  return false;
}

bool IsKeptFile(const std::string& name) {
  const ProductProfile& p = Profile();
  auto& text = platform::text();
  const std::string upper = text.UpperCase(name);
  for (const std::string& kept : InUse(p.KeptFiles, p.KeptFileCount)) {
    if (text.UpperCase(kept) == upper) return true;
  }
  return false;
}

// True when the staged copy of a system file is strictly newer than the
// installed one (local times, two-second resolution). When a time cannot be
// read the installed file is left alone.
bool StagedIsNewer(const std::string& staged, const std::string& target) {
  auto& files = platform::files();
  uint32_t stagedTime = 0, targetTime = 0;
  if (!files.GetDosTime(staged, stagedTime) || !files.GetDosTime(target, targetTime)) return false;
  return stagedTime > targetTime;  // date in the high word, time in the low word
}

void AddEntry(std::string& list, const std::string& path) { list += "\"" + path + "\", "; }

// Records a folder that placement created, in upper case, unless
// ProductDirs already lists it or is full.
void RecordProductDir(const std::string& dir) {
  ProductProfile& p = Profile();
  const std::string upper = UpperAscii(dir);
  for (const std::string& known : InUse(p.ProductDirs, p.ProductDirCount)) {
    if (UpperAscii(known) == upper) return;
  }
  p.AddProductDir(upper);
}

std::string RetryText(const std::string& target) {
  return Cp1251("Ошибка при обновлении файла \"") + target +
         Cp1251("\". Возможно, прежняя версия файла используется ") +
         Cp1251("в одном из работающих приложений. Закройте все приложения, ") +
         Cp1251("кроме программы установки ") + Profile().ProductName +
         Cp1251(", и повторите попытку обновления, ") +
         Cp1251(
             "нажав кнопку \"Повтор\".\r\nПри повторном возникновении ошибки нажмите кнопку "
             "\"Далее\".");
}

}  // namespace

void TInstF3::PlaceFile(const std::string& name) {
  if (IsExcluded(name)) return;

  const ProductProfile& p = Profile();
  auto& files = platform::files();
  const std::string staged = StagingDir + "\\" + name;
  const bool system = UpperAscii(name.substr(0, kSystemPrefixLength)) == kSystemPrefix;
  const std::string target =
      system ? p.SystemDir + "\\" + name.substr(kSystemPrefixLength, kSystemNameMax)
             : p.InstallDir + "\\" + name;

  if (system && files.FileExists(target) && !StagedIsNewer(staged, target)) {
    LogEvent(log_event::kKept, "\"" + target + "\" (the installed copy is not older)");
    return;
  }

  const std::string targetDir = FolderOf(target);
  if (!targetDir.empty() && !files.DirectoryExists(targetDir)) {
    MakeFolder(targetDir);
    RecordProductDir(targetDir);
  }

  // Kept-aside copies stay on the volume of their root folder.
  const std::string backupRoot = system ? p.SystemDir : p.InstallDir;
  if (!IsKeptFile(name)) {
    const bool replacing = files.FileExists(target);
    bool ok = !replacing || undo_.KeepAside(target, backupRoot);
    while (!ok) {
      platform::MessageBoxRequest box;
      box.kind = platform::MessageKind::Warning;
      box.text = RetryText(target);
      box.buttons = platform::kButtonRetry | platform::kButtonIgnore;
      if (platform::ui().MessageBox(box) == platform::kButtonIgnore) break;
      // Whatever happened while the box was open (the other program
      // closing, windows to repaint) is dealt with before the next attempt.
      platform::ui().ProcessMessages();
      ok = undo_.KeepAside(target, backupRoot);
    }
    if (!ok || !Move(staged, target)) {
      if (ok && replacing) undo_.PutBack(target);  // the earlier file is not lost
      AddEntry(NotUpdatedFiles, target);
      LogEvent(log_event::kNotUpdated, "\"" + target + "\"");
      files.DeleteFile(staged);
      return;
    }
  } else if (files.FileExists(target)) {
    files.DeleteFile(staged);  // the existing file stays, and is still recorded
    LogEvent(log_event::kKept, "\"" + target + "\"");
  } else if (!Move(staged, target)) {
    AddEntry(NotCreatedFiles, target);
    LogEvent(log_event::kNotCreated, "\"" + target + "\"");
    files.DeleteFile(staged);
    return;
  }

  if (!system) Record(target);
}

// Moves a staged file to its target and notes it for the rollback. A move
// to another volume copies the file; when that volume is full the run
// cannot go on.
bool TInstF3::Move(const std::string& staged, const std::string& target) {
  auto& files = platform::files();
  if (files.MoveFile(staged, target)) {
    undo_.Placed(target);
    LogEvent(log_event::kPlaced, "\"" + target + "\"");
    return true;
  }
  const platform::FileError error = files.LastError();
  if (!error.diskFull) return false;
  // The target was free before the move: what is there now is a cut copy.
  ClearReadOnly(target);
  files.DeleteFile(target);
  throw WriteFailure(target, error);
}

}  // namespace installer
