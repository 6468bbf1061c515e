#include "installer/program_run.h"

#include <exception>
#include <memory>

#include "archive/unzipper.h"
#include "installer/command_line.h"
#include "installer/inst_f1.h"
#include "installer/inst_f3.h"
#include "installer/run_log.h"
#include "installer/run_outcome.h"
#include "installer/run_recovery.h"
#include "installer/unattended_ui.h"
#include "platform/instance_lock.h"
#include "platform/platform.h"
#include "support/cp1251.h"

// The build, for the START line of the run log: the target (win32, win64 or
// native) and the CMake build type.
#ifndef SETUP_BUILD_NAME
#define SETUP_BUILD_NAME "unknown"
#endif

namespace installer {

using support::Cp1251;

namespace {

// Puts the unattended user interface in front of the platform's one for the
// length of the run.
class UiScope {
 public:
  explicit UiScope(const SetupSwitches& s) : saved_(platform::Current().ui) {
    TUnattendedUi::Options options;
    options.silent = s.silent;
    options.hideForms = s.verySilent;
    options.suppressBoxes = s.BoxesSuppressed();
    ui_ = std::make_unique<TUnattendedUi>(*saved_, options);
    platform::Current().ui = ui_.get();
  }
  ~UiScope() { platform::Current().ui = saved_; }
  UiScope(const UiScope&) = delete;
  UiScope& operator=(const UiScope&) = delete;

 private:
  platform::Ui* saved_;
  std::unique_ptr<TUnattendedUi> ui_;
};

// Detaches the run log when the run ends, however it ends.
struct LogScope {
  ~LogScope() { SetRunLogSink(nullptr); }
};

const char* Flag(bool on) { return on ? "1" : "0"; }

// Whose Start menu and desktop get the links: every user's when /ALLUSERS
// asks, or when the program runs as the machine account (a deployment tool,
// a computer startup script), whose own folders no user ever sees.
bool LinksForAllUsers(const SetupSwitches& s) {
  if (s.userScope != UserScope::Unset) return s.userScope == UserScope::AllUsers;
  return platform::shell().RunsAsMachineAccount();
}

// The switches that change settings: command line over settings file over profile.
bool ApplySwitches(TInstF1& main, const SetupSwitches& s, std::string& error) {
  ProductProfile& p = Profile();
  if (s.dir) main.Edit1.caption = *s.dir;
  if (s.noIcons) p.LinksStartMenu = p.LinksDesktop = false;
  if (s.noRun) p.SetupRun = false;
  // A silent run never shows the chooser: the preset choice applies.
  if (s.silent) p.SelectDialog = false;
  if (!s.components) return true;

  auto& items = main.chooser->CheckListBox1.items;
  std::vector<bool> chosen(items.size(), false);
  for (const std::string& name : *s.components) {
    bool known = false;
    for (size_t i = 0; i < items.size() && i < p.ComponentDirs.size(); ++i) {
      if (platform::text().Compare(name, p.ComponentCaptions[i], true) == 0 ||
          platform::text().Compare(name, p.ComponentDirs[i], true) == 0) {
        chosen[i] = known = true;
      }
    }
    if (!known) {
      error = Cp1251("Неизвестный компонент в параметре /COMPONENTS: ") + name;
      return false;
    }
  }
  bool any = false;
  for (bool c : chosen) any = any || c;
  if (!items.empty() && !any && !p.AllowEmptyChoice) {
    error = Cp1251("В параметре /COMPONENTS не выбран ни один компонент.");
    return false;
  }
  for (size_t i = 0; i < items.size(); ++i) items[i].checked = chosen[i];
  return true;
}

void LogSettings(TInstF1& main, const SetupSwitches& s) {
  const ProductProfile& p = Profile();
  using log_event::kSetting;
  LogEvent(kSetting, std::string("mode=") +
                         (s.verySilent ? "very silent"
                          : s.silent   ? "silent"
                                       : "interactive") +
                         (s.BoxesSuppressed() ? ", message boxes suppressed" : ""));
  LogEvent(kSetting, "InstallDir=" + main.Edit1.caption);
  LogEvent(kSetting,
           std::string("AutoRun=") + Flag(p.AutoRun) + " SelectDialog=" + Flag(p.SelectDialog) +
               " FinalMessage=" + Flag(p.FinalMessage) + " StartMenu=" + Flag(p.LinksStartMenu) +
               " Desktop=" + Flag(p.LinksDesktop) + " Run=" + Flag(p.SetupRun));
  if (!p.SetupParams.empty()) LogEvent(kSetting, "Params=" + p.SetupParams);
  LogEvent(kSetting, std::string("Links=") + (main.AllUsersLinks ? "all users" : "current user") +
                         ": \"" + p.ProgramsDir + "\", \"" + p.DesktopDir + "\"");
  // Nothing in the installer restarts the machine; the line answers the
  // administrator who asked.
  if (s.noRestart) LogEvent(kSetting, "Restart=0: no restart will be made");
  std::string excluded;
  for (const std::string& dir : InUse(p.ExcludeDirs, p.ExcludeDirCount))
    excluded += (excluded.empty() ? "" : ",") + dir;
  if (!excluded.empty()) LogEvent(kSetting, "ExcludeDir=" + excluded);
  if (!main.chooser) return;
  std::string chosen;
  for (const auto& item : main.chooser->CheckListBox1.items) {
    if (item.checked) chosen += (chosen.empty() ? "" : ",") + item.caption;
  }
  if (p.ComponentCount > 0) LogEvent(kSetting, "Components=" + chosen);
}

// A silent run proves that every volume can be read before it touches the
// install folder; an interactive one leaves that to the run, as it always did.
bool VolumesReadable(std::string& error) {
  const ProductProfile& p = Profile();
  for (int32_t n = 1; n <= p.VolumeCount; ++n) {
    std::string why;
    if (platform::files().Open(VolumePath(p, n), platform::OpenMode::ReadShareRead, &why)) {
      LogEvent(log_event::kCheck, "volume " + p.ArchiveName + VolumeSuffix(n) + ": readable");
      continue;
    }
    error = Cp1251("Не удалось прочитать файл ") + p.ArchiveName + VolumeSuffix(n) +
            (why.empty() ? "" : " (" + why + ")") + ".\r\n" + Cp1251("Выполнить установку ") +
            p.ProductNounGenitive + " " + p.ProductName + Cp1251(" невозможно.");
    return false;
  }
  return true;
}

// The staging folder and every member's path go below the install folder,
// and a Windows path holds at most 259 characters: a silent run proves from
// the archive's directories that the deepest member fits before it touches
// anything. A volume whose directory cannot be read is left to the run,
// which reports it as damaged.
bool MembersFitBelow(const std::string& installDir, std::string& error) {
  constexpr size_t kMaxPath = 259;
  const ProductProfile& p = Profile();
  const std::string staging = installDir + "\\" + kStagingFolderName + "\\";
  for (int32_t n = 1; n <= p.VolumeCount; ++n) {
    archive::TUnZipper zip;
    zip.IncompleteZipMode = archive::izAssumeBad;
    try {
      zip.SetZipName(VolumePath(p, n));
      zip.ArchiveComment();  // reads the directory
    } catch (...) {
      continue;
    }
    for (int i = 0; i < zip.MemberCount(); ++i) {
      const std::string member = zip.MemberFullName(i);
      if (staging.size() + member.size() <= kMaxPath) continue;
      error = Cp1251("Каталог установки ") + "\"" + installDir + "\"" +
              Cp1251(" слишком глубок для файла ") + member + " (" +
              std::to_string(staging.size() + member.size()) + Cp1251(" символов в пути, ") +
              Cp1251("допустимо ") + std::to_string(kMaxPath) + ").";
      return false;
    }
  }
  LogEvent(log_event::kCheck, "every member fits below \"" + installDir + "\"");
  return true;
}

void Refuse(ExitCode code, const std::string& text) {
  ShowMessage(platform::MessageKind::Error, text);
  SetOutcome(code, text);
}

// Everything between the start-up and the end of the run; the outcome
// record tells how it went.
// plainUi shows the list of switches, which /SILENT shows as well; no
// window (/VERYSILENT) and suppressed boxes show nothing.
// logFile: the run log a /LOG without a file name chose.
void Run(const std::string& commandLine, const ProductDefinition& product,
         const MainWindowLoop& showMainWindow, const SetupSwitches& s,
         const std::string& switchError, const std::string& logFile, platform::Ui& plainUi) {
  LogEvent(log_event::kStart, product.ProductTitle + " " + product.ProductVersion +
                                  " (build " SETUP_BUILD_NAME "): " + platform::shell().ExePath() +
                                  " " + commandLine);
  for (const std::string& understood : s.understood) LogEvent(log_event::kSwitch, understood);
  if (!logFile.empty()) LogEvent(log_event::kSetting, "LogFile=" + logFile);
  if (!switchError.empty()) {
    Refuse(ExitCode::NotStarted,
           switchError + ".\r\n" + Cp1251("Список параметров выводит параметр /?."));
    return;
  }
  if (s.help) {
    // A silent run was asked to install: the list alone is not the
    // installation a deployment tool waits for, and its exit code says so.
    if (s.silent) {
      SetOutcome(ExitCode::NotStarted, "the list of switches was asked for: nothing installed");
    } else {
      SetOutcome(ExitCode::Installed, "the list of switches was asked for");
    }
    if (!s.verySilent && !s.BoxesSuppressed()) {
      platform::MessageBoxRequest box;
      box.kind = platform::MessageKind::Information;
      box.text = SwitchHelpText();
      plainUi.MessageBox(box);
    }
    return;
  }

  const auto lock = platform::AcquireInstanceLock(InstanceLockName(product), kInstanceWaitMs);
  if (!lock) {
    const std::string text = Cp1251("Программа установки ") + product.ProductNounGenitive + " " +
                             product.ProductName + Cp1251(" уже запущена.") + "\r\n" +
                             Cp1251("Дождитесь окончания ее работы.");
    ShowMessage(platform::MessageKind::Warning, text);
    SetOutcome(ExitCode::AlreadyRunning, text);
    return;
  }

  // A run of this product that was cut off is undone before anything else.
  const RecoveryReport recovered = RecoverInterruptedRuns(product.ProductName);
  const std::string recoveryText = RecoveryMessage(product, recovered);
  if (!recoveryText.empty()) {
    ShowMessage(recovered.left.empty() ? platform::MessageKind::Information
                                       : platform::MessageKind::Warning,
                recoveryText);
  }

  TInstF1 main(product);
  main.AllUsersLinks = LinksForAllUsers(s);
  main.FormCreate();
  if (platform::App().terminated) return;  // a volume is missing: reported and recorded
  std::string error;
  if (!ApplySwitches(main, s, error)) {
    Refuse(ExitCode::NotStarted, error);
    return;
  }
  LogSettings(main, s);

  if (s.silent) {
    if (!VolumesReadable(error) || !MembersFitBelow(main.Edit1.caption, error)) {
      Refuse(ExitCode::NotStarted, error);
      return;
    }
    main.Unattended = true;
    main.Button4Click();
    return;
  }
  // The window's handlers record how the program ends (the Install command,
  // the run, or the user leaving); a window that cannot be shown has not started.
  SetOutcome(ExitCode::NotStarted, "the main window could not be shown");
  if (showMainWindow(main.form) != 0) SetOutcome(ExitCode::NotStarted);
}

}  // namespace

std::string InstanceLockName(const ProductDefinition& product) {
  return "Global\\" + product.ProductName + " Setup";
}

int RunProgram(const std::string& commandLine, const ProductDefinition& product,
               const MainWindowLoop& showMainWindow) {
  ResetOutcome();
  SetupSwitches s;
  std::string switchError;
  ParseSwitches(commandLine, s, switchError);

  LogScope logScope;
  // The log never stops an installation: one that cannot be opened (a
  // missing drive, a folder closed for writing) is left out, and the run
  // goes on as it would without /LOG.
  const std::string chosenLog =
      s.logInTemp ? DefaultRunLogPath(platform::files().TempDir(), product.ProductTitle) : "";
  const std::string& logFile = s.logInTemp ? chosenLog : s.logFile;
  if (!logFile.empty()) SetRunLogSink(OpenRunLogFile(logFile, nullptr));
  {
    platform::Ui& plainUi = platform::ui();
    UiScope ui(s);
    try {
      Run(commandLine, product, showMainWindow, s, switchError, chosenLog, plainUi);
    } catch (const std::exception& e) {
      // The outcome stays as recorded: "not started" before the run,
      // "rolled back" during it.
      LogEvent(log_event::kError, e.what());
    }
  }
  const RunOutcome& outcome = Outcome();
  const int code = static_cast<int>(outcome.code);
  LogEvent(log_event::kOutcome, std::to_string(code) + " " + ExitCodeName(outcome.code) +
                                    (outcome.reason.empty() ? "" : ": " + outcome.reason));
  LogEvent(log_event::kExit, std::to_string(code));
  return code;
}

}  // namespace installer
