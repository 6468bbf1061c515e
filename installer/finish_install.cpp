// The finishing pass: runs inside the end-of-member event of the last member
// of the last volume. It places the self-copy, removes the staging folder,
// registers associations, makes the program group and the shortcuts, writes
// the install log, shows the final report, starts the post-install program
// and ends the program. Until the log is written the run can still be rolled
// back: an exception here leaves the unzip operation and the copy pass
// rolls back. Once it is written the run is complete, and the earlier files
// it kept aside go.
#include "installer/final_report.h"
#include "installer/inst_f3.h"
#include "installer/install_log.h"
#include "installer/profile.h"
#include "platform/platform.h"
#include "support/cp1251.h"

namespace installer {

void TInstF3::FinishInstall() {
  const ProductProfile& p = Profile();
  if (!p.SelfCopyName.empty()) PlaceFile(p.SelfCopyName);
  RemoveTree(StagingDir);
  SetCaption(p.InstallCaption + support::Cp1251(": создание ярлыков..."));
  RegisterAssociations();
  CreateProgramGroup();
  CreateShortcuts();
  if (InstallList) {
    // The earlier log is kept until the run completes, like every file it replaces.
    const auto swap = [this, &p](const std::string& written, const std::string& path) {
      auto& files = platform::files();
      const uint32_t attributes = files.GetAttributes(path);
      // A folder of that name is not replaced: the swap fails as it is.
      if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory))
        return files.ReplaceFile(written, path);
      if (attributes != platform::kInvalidAttributes)
        return undo_.Replace(written, path, p.InstallDir, false, true);
      undo_.NewBefore(path);
      if (files.ReplaceFile(written, path)) return true;
      undo_.NotPlaced(path);
      return false;
    };
    const std::string log = p.InstallDir + "\\UNINST\\" + p.LogName;
    undo_.NewBefore(log + ".new");  // written in full beside the log first
    WriteInstallLog(log, *InstallList, swap);
  }

  InstallList.reset();
  Finished = true;
  undo_.Commit();
  const bool restartNeeded = ScheduleRestartReplacements();
  groupCreated_ = false;
  SetCaption(p.InstallCaption);
  form.visible = false;              // the report comes up on its own
  platform::ui().ProcessMessages();  // shown before the report

  const ReportTexts texts =
      CompleteReportTexts(NotUpdatedFiles, NotCreatedFiles, FailedShortcuts, GroupError);
  Outcome = texts.HasProblems() ? roCompletedWithProblems
            : restartNeeded     ? roCompletedRestartNeeded
                                : roCompleted;
  const bool postInstallStarts = !texts.HasProblems() && PostInstallWillRun(p);
  if (texts.HasProblems() || p.FinalMessage) {
    platform::MessageBoxRequest box;
    box.kind = platform::MessageKind::Information;
    box.text = ComposeFinalReport(p, texts, postInstallStarts);
    box.buttons = platform::kButtonOk;
    platform::ui().MessageBox(box);
  }
  if (postInstallStarts)
    StartProgram(p.PostInstallProgram, p.PostInstallParams, p.PostInstallDir, 0);
  EndProgram();
}

}  // namespace installer
