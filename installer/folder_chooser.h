// The folder chooser of the main window's browse button: a drive list, a
// folder tree and a field for typing a folder name, which may name a folder
// that does not exist yet (accepted only after the user agrees to have it
// created later). The chooser itself creates nothing.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/form.h"

namespace installer {

class TFolderChooser {
 public:
  TFolderChooser();
  TFolderChooser(const TFolderChooser&) = delete;
  TFolderChooser& operator=(const TFolderChooser&) = delete;

  platform::Form form;
  // The controls, captured as the window is built.
  platform::Control& Label1;     // "Имя каталога:"
  platform::Control& Edit1;      // the folder name, typed or picked
  platform::Control& Label2;     // "Каталоги:"
  platform::Control& ListBox1;   // the folder tree
  platform::Control& Label3;     // "Диски:"
  platform::Control& ComboBox1;  // the drives
  platform::Control& Button1;    // OK
  platform::Control& Button2;    // cancel
  platform::Control& Button3;    // network drive

  // Shows the chooser modally, starting at folder; on OK folder receives the
  // choice (no trailing backslash except for a drive root) and true is returned.
  bool Execute(std::string& folder);

  // Connects a network drive ("Сеть..."); the program installs the system's
  // dialog. Returns true when a drive was connected.
  static std::function<bool()>& NetworkDialog();

  // Handlers.
  void DriveChange();     // a drive picked in ComboBox1
  void FolderClick();     // a folder selected in ListBox1: the field shows it
  void FolderDblClick();  // a folder opened in ListBox1: the tree shows its sub-folders
  void OkClick();         // checks the typed name
  void NetworkClick();

  // The folder the tree shows.
  const std::string& Current() const { return current_; }

 private:
  void Open(const std::string& folder);
  void FillDrives();
  std::string Resolve(const std::string& typed) const;
  std::string current_;
  std::vector<std::string> paths_;  // folder of each ListBox1 item
  std::string result_;
};

}  // namespace installer
