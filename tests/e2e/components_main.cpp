// setup.exe with a product that has optional components and needs the host
// system's results.vlm in the install folder, so that the end-to-end tests
// can show the component chooser and refuse a folder without the host
// system (the shipped product does neither).
#include <windows.h>

#include "installer/program_run.h"
#include "platform/form.h"
#include "platform/platform.h"
#include "platform/win32/form_view.h"
#include "support/cp1251.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
  using support::Cp1251;
  platform::InstallDefault();
  platform::win32::InstallFormView();
  installer::ProductDefinition product = installer::ShippedProduct();
  product.ComponentCaptions = {Cp1251("Программы преподавателя"), Cp1251("Справочная система"),
                               Cp1251("Примеры заданий")};
  product.ComponentDirs = {"MENTORIX", "HELP", "SAMPLES"};
  product.ChooserCaption = Cp1251("Выбор компонентов");
  product.ChooserText =
      Cp1251("Отметьте компоненты комплекса, которые нужно установить, и нажмите кнопку OK.");
  product.ChooserListHeight = 3 * 13 + 4;
  product.RequiredFiles = {"results.vlm"};
  product.RequiredFileCount = 1;
  return installer::RunProgram(commandLine ? commandLine : "", product,
                               platform::win32::RunMainForm);
}
