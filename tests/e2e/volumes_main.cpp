// setup.exe with a product of two archive volumes and a post-install program,
// so that the end-to-end tests can reach what the shipped product does not:
// a volume missing during the run and the start of the post-install program
// with its parameters.
#include <windows.h>

#include "installer/inst_f1.h"
#include "platform/form.h"
#include "platform/platform.h"
#include "platform/win32/form_view.h"
#include "support/cp1251.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  platform::InstallDefault();
  platform::win32::InstallFormView();
  installer::ProductDefinition product = installer::ShippedProduct();
  product.VolumeCount = 2;
  product.PostInstallProgram = "%InstallDir%\\post.exe";
  product.PostInstallParams = "default";
  product.PostInstallDir = "%InstallDir%";
  product.PostInstallNotice =
      "\r\n" + support::Cp1251("Сейчас будет запущена программа настройки.");
  installer::TInstF1 mainForm(product);
  mainForm.FormCreate();
  if (platform::App().terminated) return 0;
  return platform::win32::RunMainForm(mainForm.form);
}
