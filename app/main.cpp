// Program entry of setup.exe: installs the Windows platform and the window
// layer, then runs the program for the shipped product with its command
// line. The exit code tells deployment tools how the run ended.
#include "app/dll_safety.h"
#include "installer/folder_chooser.h"
#include "installer/program_run.h"
#include "platform/form.h"
#include "platform/platform.h"
#include "platform/win32/form_view.h"
#include "platform/win32/windows_api.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  app::RestrictDllSearch();
  platform::InstallDefault();
  platform::win32::InstallFormView();
  installer::TFolderChooser::NetworkDialog() = [] {
    return WNetConnectionDialog(GetActiveWindow(), RESOURCETYPE_DISK) == NO_ERROR;
  };
  return installer::RunProgram(commandLine ? commandLine : "", installer::ShippedProduct(),
                               platform::win32::RunMainForm);
}
