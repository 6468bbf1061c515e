// The copy pass: the copy window's first activation prepares the profile and
// the install folder, then extracts every archive volume into the staging
// folder InstallDir\TEMP. Each member is placed as soon as it is written
// (PlaceFile) and the last member of the last volume runs the finishing pass
// (FinishInstall). A run that ends before the finishing pass has written the
// install log is rolled back (AbortInstall).
#include "installer/inst_f3.h"
#include "installer/profile.h"
#include "platform/platform.h"
#include "support/cp1251.h"

namespace installer {

using support::Cp1251;

namespace {

// Drops leading and trailing blanks and control characters.
std::string Trim(const std::string& s) {
  size_t first = 0, last = s.size();
  while (first < last && static_cast<unsigned char>(s[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(s[last - 1]) <= ' ') --last;
  return s.substr(first, last - first);
}

template <size_t N>
int32_t Used(int32_t count) {
  return count < 0 ? 0 : (count > static_cast<int32_t>(N) ? static_cast<int32_t>(N) : count);
}

}  // namespace

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
  platform::ui().ProcessMessages();
  PrepareRun();
  if (!MakeRunFolders()) {
    AbortInstall();
    return;
  }

  ProductProfile& p = Profile();
  if (!p.SelfCopyName.empty()) {
    const std::string copy = p.InstallDir + "\\TEMP\\" + p.SelfCopyName;
    platform::files().CopyFile(platform::shell().ExePath(), copy, false);
    ClearReadOnly(copy);
  }

  InstallList = std::make_unique<std::vector<std::string>>();
  placedByRun_.clear();
  std::string header;
  for (const std::string& text : p.UninstallTexts) header += text + "|";
  InstallList->push_back(header);
  for (int32_t i = 0; i < Used<kUninstallExtraSlots>(p.UninstallExtraCount); ++i)
    Record(ExpandInstallDir(p.UninstallExtras[static_cast<size_t>(i)]), false);

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
  p.SetupParams = Trim(ExpandStartDir(ExpandInstallDir(p.SetupParams)));
  p.PostInstallParams =
      p.SetupParams.empty() ? ExpandInstallDir(p.PostInstallParams) : p.SetupParams;
  for (int32_t i = 0; i < Used<kProductDirSlots>(p.ProductDirCount); ++i) {
    std::string& dir = p.ProductDirs[static_cast<size_t>(i)];
    dir = ExpandInstallDir(dir);
  }
  for (int32_t i = 0; i < Used<kShortcutSlots>(p.ShortcutCount); ++i) {
    ShortcutRecord& s = p.Shortcuts[static_cast<size_t>(i)];
    s.Target = ExpandInstallDir(s.Target);
    s.Arguments = ExpandInstallDir(s.Arguments);
    s.WorkDir = ExpandInstallDir(s.WorkDir);
    s.LinkDir = ExpandInstallDir(s.LinkDir);
  }
  for (int32_t i = 0; i < Used<kAssociationSlots>(p.AssociationCount); ++i) {
    AssociationRecord& a = p.Associations[static_cast<size_t>(i)];
    a.ProgramDir = ExpandInstallDir(a.ProgramDir);
  }

  UnZipper1.Password = ArchivePassword();
  UnZipper1.SetDestDir(p.InstallDir + "\\TEMP");

  auto& bar = form["ProgressBar1"];
  bar.position = 0;
  bar.maximum = p.VolumeCount * 100 + p.ShortcutCount * 5;

  NotUpdatedFiles.clear();
  NotCreatedFiles.clear();
  FailedShortcuts.clear();
  GroupError.clear();
}

// Creates the product folders (failures ignored: placement tries again for
// each file) and the UNINST and TEMP sub-folders. Without those two the run
// cannot go on: false, with the reason for the rollback's message.
bool TInstF3::MakeRunFolders() {
  ProductProfile& p = Profile();
  auto& files = platform::files();
  for (int32_t i = 0; i < Used<kProductDirSlots>(p.ProductDirCount); ++i) {
    const std::string& dir = p.ProductDirs[static_cast<size_t>(i)];
    MakeFolder(dir);
  }
  for (const char* sub : {"\\UNINST", "\\TEMP"}) {
    const std::string dir = p.InstallDir + sub;
    if (!files.DirectoryExists(dir)) files.CreateDir(dir);
    if (!files.DirectoryExists(dir)) {
      abortReason_ = Cp1251("Невозможно создать каталог ") + "\"" + dir + "\".\r\n" +
                     Cp1251("Продолжение установки невозможно.");
      return false;
    }
  }
  return true;
}

// Extracts the volumes in order; the first exception ends the loop.
void TInstF3::RunVolumes() {
  const ProductProfile& p = Profile();
  for (int32_t v = 1; v <= p.VolumeCount; ++v) {
    try {
      // The number goes first so that a failure to open the volume is
      // reported with this volume's name.
      CurrentVolume = v;
      UnZipper1.SetZipName(VolumePath(p, v));
      UnZipper1.UnZip();
    } catch (...) {
      break;
    }
  }
}

std::string TInstF3::AbortMessage() const {
  if (!abortReason_.empty()) return abortReason_;
  const ProductProfile& p = Profile();
  return Cp1251("Ошибка при чтении данных. Вероятно, испорчен файл ") + p.ArchiveName +
         VolumeSuffix(CurrentVolume) + ".\r\n" + Cp1251("Продолжение установки невозможно.");
}

void TInstF3::AbortInstall() {
  ProductProfile& p = Profile();
  auto& files = platform::files();
  platform::MessageBoxRequest box;
  box.kind = platform::MessageKind::Error;
  box.text = AbortMessage();
  box.buttons = platform::kButtonOk;
  platform::ui().MessageBox(box);

  // Only what this run put in place goes: the extra paths of the log and
  // kept files that were already there are left alone.
  if (InstallList) {
    for (size_t i = 1; i < InstallList->size(); ++i) {
      const std::string& path = (*InstallList)[i];
      bool ours = false;
      for (const std::string& placed : placedByRun_) ours = ours || placed == path;
      if (!ours) continue;
      ClearReadOnly(path);
      files.DeleteFile(path);
    }
    InstallList.reset();
  }
  placedByRun_.clear();

  RemoveTree(p.InstallDir + "\\TEMP");
  files.RemoveDir(p.InstallDir);
  // Four passes remove nested folders up to four levels deep, in any order.
  for (int pass = 0; pass < 4; ++pass) {
    for (int32_t i = 0; i < Used<kProductDirSlots>(p.ProductDirCount); ++i)
      files.RemoveDir(p.ProductDirs[static_cast<size_t>(i)]);
  }
  // Parents of those folders that this run had to create go as well.
  RemoveCreatedFolders();
  EndProgram();
}

}  // namespace installer
