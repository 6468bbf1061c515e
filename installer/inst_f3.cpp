#include "installer/inst_f3.h"

#include "installer/profile.h"
#include "installer/run_log.h"
#include "platform/platform.h"
#include "support/cp1251.h"

#ifndef SETUP_ARCHIVE_PASSWORD
#error "SETUP_ARCHIVE_PASSWORD must be defined by the build"
#endif

namespace installer {

using platform::ControlKind;

int32_t CurrentVolume = 0;

const std::string& ArchivePassword() {
  static const std::string password = SETUP_ARCHIVE_PASSWORD;
  return password;
}

TInstF3::TInstF3()
    : form("InstF3"),
      Panel1(form.Add("Panel1", ControlKind::Panel, 0, 0, 632, 65)),
      Label1(form.Add("Label1", ControlKind::Label, 16, 13, 400, 13)),
      ProgressBar1(form.Add("ProgressBar1", ControlKind::ProgressBar, 2, 37, 628, 16)) {
  form.borderStyle = platform::BorderStyle::None;
  form.systemMenu = false;
  form.SetClientSize(632, 65);
  Panel1.align = platform::Align::Client;
  Panel1.bevelWidth = 2;
  Label1.parent = Panel1.name;
  Label1.autoSize = true;
  Label1.SetCaption(support::Cp1251("Копирование файлов"));
  ProgressBar1.parent = Panel1.name;
  ProgressBar1.minimum = 0;
  ProgressBar1.maximum = 100;
  form.Realign();

  UnZipper1.RecreateDirs = true;
  UnZipper1.OverwriteMode = archive::Always;
  UnZipper1.DoAll = true;
  UnZipper1.OnTotalPercentDone = [this](archive::TUnZipper* sender, int percent) {
    UnZipper1TotalPercentDone(sender, percent);
  };
  UnZipper1.OnChooseOutput = [this](archive::TUnZipper*, int fileIndex, std::string& path) {
    ChooseOutput(fileIndex, path);
  };
  UnZipper1.OnEndUnZip = [this](archive::TUnZipper* sender, int fileIndex,
                                const std::string& fName) {
    UnZipper1EndUnZip(sender, fileIndex, fName);
  };
  // A member that is skipped or fails its check is missing from the
  // installation: the run cannot complete.
  UnZipper1.OnSkippingFile = [this](archive::TUnZipper*, archive::TSkipReason reason,
                                    const std::string& name, int) {
    static const char* const kWhy[] = {"wrong password or damaged data", "not overwritten",
                                       "output file could not be opened"};
    MemberFailed("\"" + name +
                 "\" skipped: " + (reason <= archive::srFileOpenError ? kWhy[reason] : "?"));
  };
  UnZipper1.OnBadCRC = [this](archive::TUnZipper*, int, int, int index) {
    MemberFailed("\"" + UnZipper1.MemberFullName(index) + "\" failed its CRC check");
  };
  UnZipper1.Loaded();

  form.onActivate = [this] { FormShow(); };
  form.onCloseQuery = [this](bool& canClose) { FormCloseQuery(canClose); };
}

void TInstF3::FormCloseQuery(bool& canClose) { canClose = false; }

void TInstF3::UnZipper1TotalPercentDone(archive::TUnZipper*, int percent) {
  ProgressBar1.position = (CurrentVolume - 1) * 100 + percent;
}

void TInstF3::UnZipper1EndUnZip(archive::TUnZipper*, int fileIndex, const std::string&) {
  const ProductProfile& p = Profile();
  SetCaption(p.InstallCaption + support::Cp1251(": копирование файлов..."));
  const std::string name = UnZipper1.MemberFullName(fileIndex);
  LogEvent(log_event::kStaged, name);
  PlaceFile(name);
  if (fileIndex == UnZipper1.MemberCount() - 1 && CurrentVolume == p.VolumeCount) FinishInstall();
}

void TInstF3::SetCaption(const std::string& text) { Label1.SetCaption(text); }

void TInstF3::AdvanceProgress(int units) { ProgressBar1.position += units; }

void TInstF3::Record(const std::string& path) {
  if (InstallList) InstallList->push_back(path);
}

namespace {

// A member that could not be extracted whole.
class EMemberFailed : public support::Exception {
  using Exception::Exception;
};

}  // namespace

// Raised inside the extraction, the exception ends the volume loop and the
// run is rolled back with the message that names the volume being read.
void TInstF3::MemberFailed(const std::string& why) {
  LogEvent(log_event::kError, "volume " + std::to_string(CurrentVolume) + ": member " + why);
  throw EMemberFailed("A member failed its check");
}

void TInstF3::EndProgram() {
  platform::ui().BlockShutdown(false, std::string());
  platform::App().Terminate();
}

}  // namespace installer
