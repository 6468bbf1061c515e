#include "installer/final_report.h"

#include "installer/profile.h"
#include "installer/shortcuts.h"
#include "platform/platform.h"
#include "support/cp1251.h"

namespace installer {

using support::Cp1251;

std::string CompleteListText(const std::string& heading, const std::string& entries) {
  if (entries.empty()) return std::string();
  const size_t keep = entries.size() >= 2 ? entries.size() - 2 : 0;
  return heading + entries.substr(0, keep) + ".\r\n";
}

ReportTexts CompleteReportTexts(const std::string& notUpdated, const std::string& notCreated,
                                const std::string& failedShortcuts, const std::string& groupError) {
  ReportTexts t;
  t.NotUpdatedFiles =
      CompleteListText(Cp1251("Не удалось обновить следующие файлы: \r\n"), notUpdated);
  t.NotCreatedFiles =
      CompleteListText(Cp1251("Не удалось создать следующие файлы: \r\n"), notCreated);
  t.FailedShortcuts =
      CompleteListText(Cp1251("Не удалось создать следующие ярлыки: \r\n"), failedShortcuts);
  t.GroupError = groupError;
  return t;
}

bool PostInstallWillRun(const ProductProfile& p) {
  return !p.PostInstallProgram.empty() && platform::files().FileExists(p.PostInstallProgram) &&
         p.SetupRun;
}

std::string ComposeFinalReport(const ProductProfile& p, const ReportTexts& t,
                               bool postInstallStarts) {
  const std::string product = p.ProductNounGenitive + " " + p.ProductName;
  const bool shortcutLine = p.ShortcutCount > 0 && p.LinksStartMenu;
  const std::string groupLine = Cp1251("Ярлыки ") + product + Cp1251(" помещены в группу \"") +
                                GroupDisplayName(p.ProgramGroup) +
                                Cp1251("\" раздела \"Программы\" меню \"Пуск\".");

  if (!t.HasProblems()) {
    std::string report = Cp1251("Установка ") + product + Cp1251(" успешно завершена.");
    if (shortcutLine) report += "\r\n" + groupLine;
    if (postInstallStarts) report += p.PostInstallNotice;
    return report;
  }

  std::string report = Cp1251("Установка ") + product + Cp1251(" завершена.\r\n");
  if (t.GroupError.empty()) {
    if (shortcutLine) report += groupLine + "\r\n";
    report += t.NotUpdatedFiles + t.NotCreatedFiles + t.FailedShortcuts;
  } else {
    report += t.NotUpdatedFiles + t.NotCreatedFiles + t.GroupError;
  }
  report += Cp1251("Из-за указанных проблем ") + p.ProductNoun + " " + p.ProductName +
            Cp1251(" может работать не вполне корректно.\r\n");
  report += Cp1251("Рекомендуется перезагрузить компьютер и повторно выполнить установку ") +
            product + ".";
  return report;
}

bool StartProgram(const std::string& file, const std::string& parameters, const std::string& folder,
                  int showMode) {
  static const int kShowCommands[] = {5, 3, 2, 7};  // SW_SHOW, MAXIMIZED, MINIMIZED, MINNOACTIVE
  platform::ExecuteRequest request;
  request.file = file;
  request.parameters = parameters;
  request.directory = folder;
  request.showCommand = showMode >= 0 && showMode <= 3 ? kShowCommands[showMode] : 0;  // SW_HIDE
  return platform::shell().Execute(request);
}

}  // namespace installer
