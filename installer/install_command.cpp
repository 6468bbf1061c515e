// The Install command (Button4Click): checks the install folder, creates it,
// proves it writable, lets the user choose components, works out the
// excluded top-level folders and hands over to the copy window. Each check
// goes to the run log, and a refusal is the run's outcome until the user
// tries again or leaves.
#include "installer/inst_f1.h"
#include "installer/run_log.h"
#include "installer/run_outcome.h"
#include "platform/platform.h"
#include "support/cp1251.h"

namespace installer {

using support::Cp1251;

namespace {

void Check(const std::string& what) { LogEvent(log_event::kCheck, what); }

void Refuse(platform::MessageKind kind, const std::string& text) {
  SetOutcome(ExitCode::FolderRefused, text);
  ShowMessage(kind, text);
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

bool TInstF1::WriteTest(const std::string& folder) {
  const std::string probe = folder + "\\$$tfile$.tmp";
  bool created = false;
  {
    auto file = platform::files().Open(probe, platform::OpenMode::Create, nullptr);
    created = file != nullptr;
  }
  if (created) platform::files().DeleteFile(probe);
  return created;
}

void TInstF1::BuildExcludedComponents() {
  ProductProfile& p = Profile();
  auto& text = platform::text();
  auto excluded = std::make_unique<std::vector<std::string>>();
  const auto& items = chooser->CheckListBox1.items;
  const auto components = InUse(p.ComponentDirs, p.ComponentCount);
  for (size_t i = 0; i < components.size(); ++i) {
    const bool checked = i < items.size() && items[i].checked;
    if (!checked) excluded->push_back(text.UpperCase(components[i]));
  }
  for (const std::string& excludeDir : InUse(p.ExcludeDirs, p.ExcludeDirCount)) {
    const std::string dir = text.UpperCase(excludeDir);
    bool isComponent = false;
    for (const std::string& component : components)
      isComponent = isComponent || text.UpperCase(component) == dir;
    if (!isComponent) excluded->push_back(dir);
  }
  p.ExcludedComponents = std::move(excluded);
}

void TInstF1::Button4Click() {
  ProductProfile& p = Profile();
  if (!chooser || !copier) return;  // start-up did not finish

  if (!p.PreviousVersionDir.empty() && platform::files().DirectoryExists(p.PreviousVersionDir)) {
    Check("previous version in " + Quoted(p.PreviousVersionDir) + ": present");
    Refuse(platform::MessageKind::Warning, p.PreviousVersionNotice);
    return;
  }

  p.InstallDir = Edit1.caption;
  if (!p.InstallDir.empty() && p.InstallDir.back() == '\\') p.InstallDir.pop_back();
  if (!CheckHostFiles() || !CheckInstallFolder() || !ChooseComponents()) return;

  BuildExcludedComponents();
  std::string excluded;
  for (const std::string& dir : *p.ExcludedComponents)
    excluded += (excluded.empty() ? "" : ",") + dir;
  Check("folders not installed: " + (excluded.empty() ? std::string("none") : excluded));
  RunCopyWindow();
}

// The host system's files that the product needs must be in the folder.
bool TInstF1::CheckHostFiles() {
  const ProductProfile& p = Profile();
  for (const std::string& required : InUse(p.RequiredFiles, p.RequiredFileCount)) {
    const std::string host = p.InstallDir + "\\" + required;
    if (platform::files().FileExists(host)) {
      Check("host file " + Quoted(host) + ": present");
      continue;
    }
    Check("host file " + Quoted(host) + ": missing");
    Refuse(platform::MessageKind::Error,
           ReplaceMacro(p.MissingHostMessage, "%INSTALLDIR%", p.InstallDir));
    return false;
  }
  return true;
}

// The folder exists (it is created when it does not) and takes a new file.
bool TInstF1::CheckInstallFolder() {
  const ProductProfile& p = Profile();
  auto& files = platform::files();
  // An empty field names no folder at all: it is reported as a folder that
  // cannot be created.
  const bool existed = !p.InstallDir.empty() && files.DirectoryExists(p.InstallDir);
  if (!p.InstallDir.empty() && !existed) files.ForceDirectories(p.InstallDir);
  const std::string chooseOther =
      "\r\n" + Cp1251("Выберите другой каталог для установки ") + p.ProductNounGenitive + ".";
  if (p.InstallDir.empty() || !files.DirectoryExists(p.InstallDir)) {
    Check("install folder " + Quoted(p.InstallDir) + ": cannot be created");
    Refuse(platform::MessageKind::Error,
           Cp1251("Невозможно создать каталог ") + "\"" + p.InstallDir + "\"." + chooseOther);
    return false;
  }
  Check("install folder " + Quoted(p.InstallDir) + (existed ? ": exists" : ": created"));
  if (!WriteTest(p.InstallDir)) {
    Check("write test in " + Quoted(p.InstallDir) + ": failed");
    Refuse(platform::MessageKind::Error, Cp1251("Каталог ") + "\"" + p.InstallDir + "\"" +
                                             Cp1251(" закрыт на запись.") + chooseOther);
    return false;
  }
  Check("write test in " + Quoted(p.InstallDir) + ": passed");
  return true;
}

// Shows the component chooser when the product has components and the
// settings ask for it; false when the user cancels it.
bool TInstF1::ChooseComponents() {
  const ProductProfile& p = Profile();
  if (p.ComponentCount <= 0 || !p.SelectDialog) return true;
  chooser->form.modalResult = platform::kMrNone;
  if (platform::ui().ShowModal(chooser->form) == platform::kMrOk) return true;
  Check("component chooser: cancelled");
  return false;
}

// Places the copy window below this one (centred on the screen in a silent
// run), shows it for the installation run and records how the run ended.
void TInstF1::RunCopyWindow() {
  const ProductProfile& p = Profile();
  platform::Form& copy = copier->form;
  copy.left = form.left;
  copy.width = form.width;
  copy.clientWidth = form.width;
  copy.top = form.top + form.height;
  copy.position = platform::FormPosition::Designed;
  copier->ProgressBar1.width = copy.width - 10;
  copier->ProgressBar1.left = 5;
  if (Unattended) {
    copy.position = platform::FormPosition::ScreenCenter;
    copy.caption = p.AppTitle;
  }
  copier->RestartReplacement = Unattended;
  copier->Label1.SetCaption(p.InstallCaption + Cp1251(": чтение данных..."));
  copy.modalResult = platform::kMrNone;
  // Until the run says otherwise, a run that ends has failed.
  SetOutcome(ExitCode::RolledBack, "the installation run did not complete");
  LogEvent(log_event::kRun, "installing into " + Quoted(p.InstallDir));
  platform::ui().ShowModal(copy);
  switch (copier->Outcome) {
    case roCompleted:
      SetOutcome(ExitCode::Installed);
      break;
    case roCompletedWithProblems:
      SetOutcome(ExitCode::InstalledWithProblems, "the final report lists what could not be done");
      break;
    case roCompletedRestartNeeded:
      SetOutcome(ExitCode::RestartNeeded, "files in use are replaced at the next restart");
      break;
    case roRolledBack:
      SetOutcome(ExitCode::RolledBack, copier->AbortMessage());
      break;
    case roRollbackIncomplete:
      SetOutcome(ExitCode::RollbackIncomplete, copier->AbortMessage());
      break;
    case roNotEnded:
      // A run that completed without telling how still counts by its log.
      if (copier->Finished) SetOutcome(ExitCode::Installed);
      break;
  }
}

}  // namespace installer
