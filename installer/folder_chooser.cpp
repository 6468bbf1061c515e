#include "installer/folder_chooser.h"

#include <algorithm>

#include "installer/inst_f1.h"
#include "platform/platform.h"
#include "support/cp1251.h"

namespace installer {

using platform::ControlKind;
using support::Cp1251;

namespace {

// "C:" becomes "C:\"; other folders lose a trailing backslash.
std::string Normal(std::string folder) {
  while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  return folder;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

bool IsAbsolute(const std::string& path) {
  return (path.size() >= 2 && path[1] == ':') || path.rfind("\\\\", 0) == 0;
}

}  // namespace

std::function<bool()>& TFolderChooser::NetworkDialog() {
  static std::function<bool()> dialog;
  return dialog;
}

TFolderChooser::TFolderChooser()
    : form("FolderChooser"),
      Label1(form.Add("Label1", ControlKind::Label, 8, 8, 240, 13)),
      Edit1(form.Add("Edit1", ControlKind::Edit, 8, 24, 336, 21)),
      Label2(form.Add("Label2", ControlKind::Label, 8, 54, 200, 13)),
      ListBox1(form.Add("ListBox1", ControlKind::ListBox, 8, 70, 232, 164)),
      Label3(form.Add("Label3", ControlKind::Label, 8, 242, 200, 13)),
      ComboBox1(form.Add("ComboBox1", ControlKind::ComboBox, 8, 258, 232, 200)),
      Button1(form.Add("Button1", ControlKind::Button, 256, 70, 88, 25)),
      Button2(form.Add("Button2", ControlKind::Button, 256, 102, 88, 25)),
      Button3(form.Add("Button3", ControlKind::Button, 256, 258, 88, 25)) {
  form.borderStyle = platform::BorderStyle::Dialog;
  form.SetClientSize(352, 296);
  form.position = platform::FormPosition::ScreenCenter;
  form.caption = Cp1251("Выбор каталога");

  Label1.caption = Cp1251("Имя каталога:");
  Edit1.tabOrder = 0;
  Label2.caption = Cp1251("Каталоги:");
  ListBox1.tabOrder = 1;
  Label3.caption = Cp1251("Диски:");
  ComboBox1.tabOrder = 2;
  Button1.caption = "OK";
  Button1.isDefault = true;
  Button1.tabOrder = 3;
  Button2.caption = Cp1251("Отмена");
  Button2.isCancel = true;
  Button2.modalResult = platform::kMrCancel;
  Button2.tabOrder = 4;
  Button3.caption = Cp1251("Сеть...");
  Button3.tabOrder = 5;

  ComboBox1.onClick = [this] { DriveChange(); };
  ListBox1.onClick = [this] { FolderClick(); };
  ListBox1.onDblClick = [this] { FolderDblClick(); };
  Button1.onClick = [this] { OkClick(); };
  Button3.onClick = [this] { NetworkClick(); };
}

void TFolderChooser::FillDrives() {
  auto& combo = ComboBox1;
  combo.items.clear();
  combo.itemIndex = -1;
  for (char d = 'A'; d <= 'Z'; ++d) {
    const std::string root = std::string(1, d) + ":\\";
    // Floppy drives are listed without touching them (no "drive not ready").
    const bool removable = platform::shell().GetDriveType(root) == platform::DriveType::Removable;
    if (!removable && !platform::files().DirectoryExists(root)) continue;
    std::string caption = std::string(1, static_cast<char>(d - 'A' + 'a')) + ":";
    std::string label;
    if (!removable && platform::shell().GetVolumeLabel(root, label) && !label.empty()) {
      caption += " [" + label + "]";
    }
    if (!current_.empty() && (current_[0] & ~0x20) == d) {
      combo.itemIndex = static_cast<int>(combo.items.size());
    }
    combo.items.push_back({caption, false});
  }
}

void TFolderChooser::Open(const std::string& folder) {
  current_ = Normal(folder);
  Edit1.caption = current_;
  // The tree: every folder from the root down to the current one, indented
  // by depth, then the current folder's sub-folders.
  auto& tree = ListBox1;
  tree.items.clear();
  paths_.clear();
  std::vector<std::string> chain;
  size_t start = current_.size() >= 3 && current_[1] == ':' ? 3 : 0;
  chain.push_back(current_.substr(0, start));
  for (size_t pos = start; pos < current_.size();) {
    size_t end = current_.find('\\', pos);
    if (end == std::string::npos) end = current_.size();
    chain.push_back(current_.substr(0, end));
    pos = end + 1;
  }
  if (chain.front().empty()) chain.erase(chain.begin());
  std::string indent;
  for (const std::string& path : chain) {
    const size_t slash = path.find_last_of('\\', path.size() > 3 ? path.size() - 1 : 0);
    const std::string name = path.size() <= 3 ? path : path.substr(slash + 1);
    tree.items.push_back({indent + name, false});
    paths_.push_back(path);
    indent += "   ";
  }
  tree.itemIndex = static_cast<int>(tree.items.size()) - 1;
  std::vector<std::string> subfolders;
  for (const auto& entry : platform::files().Enumerate(current_, "*")) {
    if (entry.attributes & platform::kAttrDirectory) subfolders.push_back(entry.name);
  }
  std::sort(subfolders.begin(), subfolders.end(), [](const std::string& a, const std::string& b) {
    return platform::text().Compare(a, b, true) < 0;
  });
  for (const std::string& name : subfolders) {
    tree.items.push_back({indent + name, false});
    paths_.push_back(Join(current_, name));
  }
  FillDrives();
}

bool TFolderChooser::Execute(std::string& folder) {
  std::string start = folder;
  if (start.empty() || !platform::files().DirectoryExists(start)) start = "C:\\";
  Open(start);
  form.activeControl = Edit1.name;
  result_.clear();
  form.modalResult = platform::kMrNone;
  if (platform::ui().ShowModal(form) != platform::kMrOk || result_.empty()) return false;
  folder = result_;
  return true;
}

void TFolderChooser::DriveChange() {
  const auto& combo = ComboBox1;
  if (combo.itemIndex < 0 || combo.itemIndex >= static_cast<int>(combo.items.size())) return;
  const char letter =
      static_cast<char>(combo.items[static_cast<size_t>(combo.itemIndex)].caption[0] & ~0x20);
  const std::string root = std::string(1, letter) + ":\\";
  if (!platform::files().DirectoryExists(root)) {
    ShowMessage(platform::MessageKind::Error,
                Cp1251("Диск ") + std::string(1, letter) + Cp1251(": не готов."));
    FillDrives();
    return;
  }
  Open(root);
}

void TFolderChooser::FolderClick() {
  const int i = ListBox1.itemIndex;
  if (i >= 0 && i < static_cast<int>(paths_.size())) Edit1.caption = paths_[static_cast<size_t>(i)];
}

void TFolderChooser::FolderDblClick() {
  const int i = ListBox1.itemIndex;
  if (i >= 0 && i < static_cast<int>(paths_.size())) Open(paths_[static_cast<size_t>(i)]);
}

std::string TFolderChooser::Resolve(const std::string& typed) const {
  std::string name = typed;
  while (!name.empty() && name.front() == ' ') name.erase(name.begin());
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (name.empty()) return name;
  if (!IsAbsolute(name)) {
    // "\Tools" is on the current drive; "Tools" is below the current folder.
    name = name[0] == '\\' ? current_.substr(0, 2) + name : Join(current_, name);
  }
  return Normal(name);
}

void TFolderChooser::OkClick() {
  const std::string folder = Resolve(Edit1.caption);
  if (folder.empty()) return;
  if (!platform::files().DirectoryExists(folder) &&
      ShowMessage(platform::MessageKind::Confirmation,
                  Cp1251("Указанный каталог не существует. Создать его?"),
                  platform::kButtonYes | platform::kButtonNo) != platform::kButtonYes) {
    return;
  }
  result_ = folder.size() == 3 && folder[1] == ':' ? folder.substr(0, 2) + "\\" : folder;
  form.modalResult = platform::kMrOk;
}

void TFolderChooser::NetworkClick() {
  if (NetworkDialog() && NetworkDialog()()) FillDrives();
}

}  // namespace installer
