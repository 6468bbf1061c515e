// Program entry of setup.exe: installs the Windows platform and the window
// layer, creates the main window (whose creation runs the start-up sequence)
// and runs the message loop until the window is closed or the program is
// told to terminate.
#include <windows.h>

#include "app/dll_safety.h"
#include "installer/folder_chooser.h"
#include "installer/inst_f1.h"
#include "platform/form.h"
#include "platform/platform.h"
#include "platform/win32/form_view.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  app::RestrictDllSearch();
  platform::InstallDefault();
  platform::win32::InstallFormView();
  installer::TFolderChooser::NetworkDialog() = [] {
    return WNetConnectionDialog(GetActiveWindow(), RESOURCETYPE_DISK) == NO_ERROR;
  };
  installer::TInstF1 mainForm;
  mainForm.FormCreate();
  // A failed archive check has shown its message and asked to terminate:
  // the main window never appears.
  if (platform::App().terminated) return 0;
  return platform::win32::RunMainForm(mainForm.form);
}
