#include "installer/run_recovery.h"

#include "installer/journal_undo.h"
#include "installer/run_journal.h"
#include "installer/run_log.h"
#include "installer/run_undo.h"
#include "platform/platform.h"
#include "support/cp1251.h"

namespace installer {

using support::Cp1251;

namespace {

// Finishes one journal; true when it is done with and may go.
bool Finish(const std::string& path, RecoveryReport& report) {
  auto& files = platform::files();
  auto file = files.Open(path, platform::OpenMode::ReadShareRead, nullptr);
  if (!file) {
    if (!files.FileExists(path)) return true;  // deleted after its run ended
    report.left.push_back(path);               // unreadable now; another start may read it
    return false;
  }
  const JournalText text = ReadJournal(platform::ReadToEnd(*file));
  file.reset();
  if (text.committed) {
    LogEvent(log_event::kRecovery, "\"" + path + "\": a completed run's clean-up");
    CleanUpJournal(text.records);
    return files.DeleteFile(path) || !files.FileExists(path);
  }
  ++report.undone;
  LogEvent(log_event::kRecovery, "\"" + path + "\": an interrupted run, " +
                                     std::to_string(text.records.size()) + " steps" +
                                     (text.whole ? "" : " (read up to a damaged line)"));
  const std::vector<std::string> left = UndoJournal(text.records);
  for (const std::string& p : left) LogEvent(log_event::kNotRestored, "\"" + p + "\"");
  report.left.insert(report.left.end(), left.begin(), left.end());
  if (!left.empty()) return false;
  if (!files.DeleteFile(path) && files.FileExists(path)) return false;
  RemoveJournalFolders(text.records);
  return true;
}

}  // namespace

RecoveryReport RecoverInterruptedRuns(const std::string& product) {
  RecoveryReport report;
  const std::vector<std::string> journals = RecordedJournals(product);
  if (journals.empty()) return report;
  std::vector<std::string> remaining;
  for (const std::string& path : journals) {
    if (!Finish(path, report)) remaining.push_back(path);
  }
  JournalStep("record");
  SetRecordedJournals(product, remaining);
  return report;
}

std::string QuotedList(const std::vector<std::string>& paths) {
  std::string list;
  for (const std::string& p : paths) list += (list.empty() ? "\"" : ", \"") + p + "\"";
  return list;
}

std::string NotRestoredText(const std::vector<std::string>& left) {
  return Cp1251("Не удалось восстановить: ") + QuotedList(left) + ".\r\n" +
         Cp1251("Восстановление будет продолжено при следующем запуске программы установки.");
}

std::string RecoveryMessage(const ProductDefinition& product, const RecoveryReport& report) {
  if (report.undone == 0 && report.left.empty()) return std::string();
  const std::string text = Cp1251("Предыдущая установка ") + product.ProductNounGenitive + " " +
                           product.ProductName + Cp1251(" была прервана.");
  if (report.left.empty()) return text + Cp1251(" Сделанные ею изменения отменены.");
  return text + " " + NotRestoredText(report.left);
}

}  // namespace installer
