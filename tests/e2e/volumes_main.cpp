// setup.exe with a product of two archive volumes and a post-install program,
// so that the end-to-end tests can reach what the shipped product does not:
// a volume missing during the run and the start of the post-install program
// with its parameters.
#include <windows.h>

#include "installer/program_run.h"
#include "platform/form.h"
#include "platform/platform.h"
#include "platform/win32/form_view.h"
#include "support/cp1251.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  platform::InstallDefault();
  platform::win32::InstallFormView();
  installer::ProductDefinition product = installer::ShippedProduct();
  product.VolumeCount = 2;
  product.PostInstallProgram = "%InstallDir%\\post.exe";
  product.PostInstallParams = "default";
  product.PostInstallDir = "%InstallDir%";
  product.PostInstallNotice =
      "\r\n" + support::Cp1251("Сейчас будет запущена программа настройки.");
  return installer::RunProgram(commandLine ? commandLine : "", product,
                               platform::win32::RunMainForm);
}
