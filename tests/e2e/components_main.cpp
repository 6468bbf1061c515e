// setup.exe with a product that has optional components, so that the end-to-end
// tests can show the component chooser (the shipped product has none).
#include <windows.h>

#include "installer/inst_f1.h"
#include "platform/form.h"
#include "platform/platform.h"
#include "platform/win32/form_view.h"
#include "support/cp1251.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
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
  installer::TInstF1 mainForm(product);
  mainForm.FormCreate();
  if (platform::App().terminated) return 0;
  return platform::win32::RunMainForm(mainForm.form);
}
