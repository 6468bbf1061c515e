// The Install command (Button4Click): checks the install folder, creates it,
// proves it writable, lets the user choose components, works out the
// excluded top-level folders and hands over to the copy window.
#include "installer/inst_f1.h"
#include "platform/platform.h"
#include "support/cp1251.h"

namespace installer {

using support::Cp1251;

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
  const auto& items = chooser->form["CheckListBox1"].items;
  for (int32_t i = 0; i < p.ComponentCount && i < kComponentSlots; ++i) {
    const bool checked =
        static_cast<size_t>(i) < items.size() && items[static_cast<size_t>(i)].checked;
    if (!checked) excluded->push_back(text.UpperCase(p.ComponentDirs[static_cast<size_t>(i)]));
  }
  for (int32_t k = 0; k < p.ExcludeDirCount && k < kExcludeDirSlots; ++k) {
    const std::string dir = text.UpperCase(p.ExcludeDirs[static_cast<size_t>(k)]);
    bool isComponent = false;
    for (int32_t i = 0; i < p.ComponentCount && i < kComponentSlots && !isComponent; ++i) {
      isComponent = text.UpperCase(p.ComponentDirs[static_cast<size_t>(i)]) == dir;
    }
    if (!isComponent) excluded->push_back(dir);
  }
  p.ExcludedComponents = std::move(excluded);
}

void TInstF1::Button4Click() {
  ProductProfile& p = Profile();
  auto& files = platform::files();
  if (!chooser || !copier) return;  // start-up did not finish

  if (!p.PreviousVersionDir.empty() && files.DirectoryExists(p.PreviousVersionDir)) {
    ShowMessage(platform::MessageKind::Warning, p.PreviousVersionNotice);
    return;
  }

  p.InstallDir = form["Edit1"].caption;
  if (!p.InstallDir.empty() && p.InstallDir.back() == '\\') p.InstallDir.pop_back();

  for (int32_t i = 0; i < p.RequiredFileCount && i < kRequiredFileSlots; ++i) {
    if (files.FileExists(p.InstallDir + "\\" + p.RequiredFiles[static_cast<size_t>(i)])) continue;
    ShowMessage(platform::MessageKind::Error,
                ReplaceMacro(p.MissingHostMessage, "%INSTALLDIR%", p.InstallDir));
    return;
  }

  // An empty field names no folder at all: it is reported as a folder that
  // cannot be created.
  if (!p.InstallDir.empty() && !files.DirectoryExists(p.InstallDir)) {
    files.ForceDirectories(p.InstallDir);
  }
  const std::string chooseOther =
      "\r\n" + Cp1251("Выберите другой каталог для установки ") + p.ProductNounGenitive + ".";
  if (p.InstallDir.empty() || !files.DirectoryExists(p.InstallDir)) {
    ShowMessage(platform::MessageKind::Error,
                Cp1251("Невозможно создать каталог ") + "\"" + p.InstallDir + "\"." + chooseOther);
    return;
  }
  if (!WriteTest(p.InstallDir)) {
    ShowMessage(platform::MessageKind::Error, Cp1251("Каталог ") + "\"" + p.InstallDir + "\"" +
                                                  Cp1251(" закрыт на запись.") + chooseOther);
    return;
  }

  if (p.ComponentCount > 0 && p.SelectDialog) {
    chooser->form.modalResult = platform::kMrNone;
    if (platform::ui().ShowModal(chooser->form) != platform::kMrOk) return;
  }

  BuildExcludedComponents();

  platform::Form& copy = copier->form;
  copy.left = form.left;
  copy.width = form.width;
  copy.clientWidth = form.width;
  copy.top = form.top + form.height;
  copy.position = platform::FormPosition::Designed;
  auto& bar = copy["ProgressBar1"];
  bar.width = copy.width - 10;
  bar.left = 5;
  copy["Label1"].SetCaption(p.InstallCaption + Cp1251(": чтение данных..."));
  copy.modalResult = platform::kMrNone;
  platform::ui().ShowModal(copy);
}

}  // namespace installer
