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

// Whether two full paths are on one volume: the same drive letter, or the
// same server share.
bool SameVolume(const std::string& a, const std::string& b) {
  auto volume = [](const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return UpperAscii(path.substr(0, 2));
    if (path.rfind("\\\\", 0) != 0) return std::string();
    const size_t share = path.find('\\', 2);
    const size_t end = share == std::string::npos ? share : path.find('\\', share + 1);
    return UpperAscii(path.substr(0, end));
  };
  const std::string va = volume(a);
  return !va.empty() && va == volume(b);
}

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

bool IsSystemMember(const std::string& name) {
  return UpperAscii(name.substr(0, kSystemPrefixLength)) == kSystemPrefix;
}

std::string TargetOf(const std::string& name) {
  const ProductProfile& p = Profile();
  return IsSystemMember(name)
             ? p.SystemDir + "\\" + name.substr(kSystemPrefixLength, kSystemNameMax)
             : p.InstallDir + "\\" + name;
}

}  // namespace

// A member bound for a folder that this run made is written straight to its
// place: only a file of this run could be in the way there, and the file is
// noted for the rollback before it is made, as a move is. A member of the
// install folder that replaces, or may keep, an earlier file, a system
// member, one of an excluded component and a second member of one name are
// staged, and placed after their extraction.
void TInstF3::ChooseOutput(int fileIndex, std::string& path) {
  const std::string name = UnZipper1.MemberFullName(fileIndex);
  if (IsExcluded(name) || IsSystemMember(name) || IsKeptFile(name)) return;
  const std::string target = TargetOf(name);
  const std::string targetDir = FolderOf(target);
  EnsureFolder(targetDir);
  const std::string upper = platform::text().UpperCase(target);
  if (!freshFolders_.count(UpperAscii(targetDir)) || knownFolders_.count(UpperAscii(target)) ||
      !writtenInPlace_.insert(upper).second)
    return;
  undo_.NewBefore(target);
  path = target;
  inPlace_ = target;
}

void TInstF3::PlaceFile(const std::string& name) {
  const std::string target = TargetOf(name);
  // Extracted to its place: ChooseOutput has made the checks below.
  if (!inPlace_.empty() && inPlace_ == target) {
    inPlace_.clear();
    LogEvent(log_event::kPlaced, "\"" + target + "\"");
    Record(target);
    return;
  }
  if (IsExcluded(name)) return;

  auto& files = platform::files();
  const std::string staged = StagingDir + "\\" + name;
  const bool system = IsSystemMember(name);

  if (system && files.FileExists(target) && !StagedIsNewer(staged, target)) {
    LogEvent(log_event::kKept, "\"" + target + "\" (the installed copy is not older)");
    return;
  }

  const std::string targetDir = FolderOf(target);
  EnsureFolder(targetDir);

  if (!IsKeptFile(name)) {
    // In a folder this run made, only a file of this run can be in the way
    // (a member named twice): the move itself tells, with no probe first.
    if (!system && freshFolders_.count(UpperAscii(targetDir)) && TryMove(staged, target)) {
      Record(target);
      return;
    }
    const uint32_t attributes = files.GetAttributes(target);
    const bool replacing =
        attributes != platform::kInvalidAttributes && !(attributes & platform::kAttrDirectory);
    const bool placed =
        replacing ? Replace(staged, target, system, attributes) : Move(staged, target);
    if (!placed) {
      AddEntry(NotUpdatedFiles, target);
      LogEvent(log_event::kNotUpdated, "\"" + target + "\"");
      return;
    }
  } else if (files.FileExists(target)) {
    files.DeleteFile(staged);  // the existing file stays, and is still recorded
    LogEvent(log_event::kKept, "\"" + target + "\"");
  } else if (!Move(staged, target)) {
    AddEntry(NotCreatedFiles, target);
    LogEvent(log_event::kNotCreated, "\"" + target + "\"");
    return;
  }

  if (!system) Record(target);
}

// Makes the folder of a target, once per folder: one seen to exist or made
// by this run is not checked again for its other files.
void TInstF3::EnsureFolder(const std::string& dir) {
  if (dir.empty() || knownFolders_.count(UpperAscii(dir))) return;
  if (!platform::files().DirectoryExists(dir)) {
    MakeFolder(dir);
    RecordProductDir(dir);
    if (!freshFolders_.count(UpperAscii(dir))) return;  // not made: tried again for the next file
  }
  knownFolders_.insert(UpperAscii(dir));
}

// Moves a staged file to its target, noted for the rollback first. False,
// with the staged file still there, when the move failed. A move to another
// volume copies the file; when that volume is full the run cannot go on,
// and its rollback removes the cut copy with the rest.
bool TInstF3::TryMove(const std::string& staged, const std::string& target) {
  auto& files = platform::files();
  undo_.NewBefore(target);
  if (files.MoveFile(staged, target)) {
    LogEvent(log_event::kPlaced, "\"" + target + "\"");
    return true;
  }
  const platform::FileError error = files.LastError();
  if (error.diskFull) throw WriteFailure(target, error);
  undo_.NotPlaced(target);
  return false;
}

// Moves a staged file to its free target; a file that is not moved leaves
// the staging folder.
bool TInstF3::Move(const std::string& staged, const std::string& target) {
  if (TryMove(staged, target)) return true;
  platform::files().DeleteFile(staged);
  return false;
}

// Puts a staged file in place of an existing one. The earlier file is kept
// until the run ends. A system member is first brought onto the system
// folder's volume, so that the replacement itself is one rename and the
// target is never without a file, however long the copy. An earlier file
// that cannot be moved (another program holds it) brings up the retry
// dialog.
bool TInstF3::Replace(const std::string& staged, const std::string& target, bool system,
                      uint32_t attributes) {
  const ProductProfile& p = Profile();
  auto& files = platform::files();
  // Kept copies stay on the volume of their root folder.
  const std::string& root = system ? p.SystemDir : p.InstallDir;
  std::string from = staged;
  if (system && !SameVolume(StagingDir, root)) {
    from = undo_.BringOnto(staged, root);
    if (from.empty()) {
      const platform::FileError error = files.LastError();
      if (error.diskFull) throw WriteFailure(target, error);
      files.DeleteFile(staged);
      return false;
    }
  }
  const bool readOnly = attributes & platform::kAttrReadOnly;
  bool ok = undo_.Replace(from, target, root, readOnly);
  while (!ok) {
    platform::MessageBoxRequest box;
    box.kind = platform::MessageKind::Warning;
    box.text = RetryText(target);
    box.buttons = platform::kButtonRetry | platform::kButtonIgnore;
    if (platform::ui().MessageBox(box) == platform::kButtonIgnore) break;
    // Whatever happened while the box was open (the other program
    // closing, windows to repaint) is dealt with before the next attempt.
    platform::ui().ProcessMessages();
    ok = undo_.Replace(from, target, root, readOnly);
  }
  if (!ok && RestartReplacement) return StageForRestart(from, target);
  if (!ok) {
    files.DeleteFile(from);
    return false;
  }
  LogEvent(log_event::kPlaced, "\"" + target + "\"");
  return true;
}

// An unattended run cannot wait for a program that holds the earlier file:
// the new file waits beside its target, under a free name on the same
// volume, until the run has committed and the system can put it in place at
// the next restart. Until then it is a file of the run like any other, so
// a rollback deletes it.
bool TInstF3::StageForRestart(const std::string& from, const std::string& target) {
  auto& files = platform::files();
  constexpr int kStagedNames = 100;  // .~new, .~new2, ... .~new100
  const std::string base = target + ".~new";
  std::string staged = base;
  for (int n = 2; files.GetAttributes(staged) != platform::kInvalidAttributes; ++n) {
    if (n > kStagedNames) {
      files.DeleteFile(from);
      return false;
    }
    staged = base + std::to_string(n);
  }
  if (!TryMove(from, staged)) {
    files.DeleteFile(from);
    return false;
  }
  restartReplacements_.push_back({staged, target});
  LogEvent(log_event::kRestart, "\"" + target + "\": in use; its new file waits as \"" + staged +
                                    "\" for the next restart");
  return true;
}

// In the order the files were staged, so that the restart puts them in
// place as the run would have. A replacement the system refuses to
// schedule leaves its earlier file, reported like any file not updated.
bool TInstF3::ScheduleRestartReplacements() {
  auto& files = platform::files();
  bool scheduled = false;
  for (const PendingRestart& r : restartReplacements_) {
    if (files.ReplaceAtRestart(r.staged, r.target)) {
      scheduled = true;
      LogEvent(log_event::kRestart, "\"" + r.target + "\": replaced at the next restart");
      continue;
    }
    files.DeleteFile(r.staged);
    AddEntry(NotUpdatedFiles, r.target);
    LogEvent(log_event::kNotUpdated, "\"" + r.target + "\" (the restart cannot be scheduled)");
  }
  restartReplacements_.clear();
  return scheduled;
}

}  // namespace installer
