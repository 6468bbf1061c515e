// A whole installation run over an arbitrary archive, on the in-memory
// files: the copy pass with its staging folder, the placement of each
// member in the install or the system folder, shortcuts, associations, the
// install log, the journal and the rollback; then the recovery that the
// next start makes. The first input byte chooses the machine:
//   bit 0  an earlier installation is there (files, a read-only one, a log)
//   bit 1  the disk fills after a number of bytes (the second input byte)
//   bit 2  retry boxes are answered "cancel the installation", else "skip"
//   bit 3  a running program holds Lectorn.exe of the earlier installation
//   bit 4  the archive is split in two volumes
//   bit 5  questions are answered "no", else "yes"
// The rest is the archive. Checks besides the sanitizers:
//   - nothing changes outside the install folder, the system folder and the
//     folders of the shortcuts, and the distribution folder stays as it was;
//   - a run that is rolled back, or whose rollback the next start finishes,
//     leaves files, folders and registry as they were (but UNINST, which a
//     run keeps);
//   - a run that completes leaves no staging folder and no journal to
//     undo, and the next start changes nothing.
#include <cstdint>
#include <string>
#include <vector>

#include "installer/inst_f3.h"
#include "installer/profile.h"
#include "installer/run_recovery.h"
#include "installer/run_undo.h"
#include "platform/form.h"
#include "platform/headless_ui.h"
#include "platform/posix/posix.h"
#include "tests/fuzz/memory_machine.h"

namespace {

using fuzz_support::Inside;
using fuzz_support::Put;
using fuzz_support::TreeSnapshot;
using fuzz_support::Violated;

const std::string kDist = "C:\\dist";
const std::string kInstall = "C:\\Program Files\\Volmar";
const std::string kSystem = "C:\\WINDOWS\\system32";
const std::string kPrograms = "C:\\Users\\u\\Start Menu\\Programs";
const std::string kDesktop = "C:\\Users\\u\\Desktop";
const std::string kCommon = "C:\\Users\\All Users";

// Answers every box at once, as the input chose; a run that keeps asking
// is a fault of its own.
class InstallUi : public platform::HeadlessUi {
 public:
  uint8_t options = 0;
  int boxes = 0;
  platform::Button MessageBox(const platform::MessageBoxRequest& r) override {
    if (++boxes > 200) Violated("the run asks again and again:", r.text);
    const unsigned b = r.buttons;
    if ((b & platform::kButtonRetry) && (b & platform::kButtonIgnore))
      return (options & 4) && (b & platform::kButtonCancel) ? platform::kButtonCancel
                                                            : platform::kButtonIgnore;
    if ((b & platform::kButtonYes) && (b & platform::kButtonNo))
      return (options & 0x20) ? platform::kButtonNo : platform::kButtonYes;
    for (unsigned k = 1; k <= platform::kButtonIgnore; k <<= 1)
      if (b & k) return platform::Button(k);
    return platform::kButtonNone;
  }
};

InstallUi& Ui() {
  static InstallUi ui;
  platform::Current().ui = &ui;
  return ui;
}

// Empties what a run leaves besides the files: registry, shell, profile
// and application state.
void ClearMachine() {
  platform::posix::ClearRegistry();
  platform::posix::ResetShell();
  installer::ResetProfile();
  platform::App() = platform::Application();
}

void Prepare() {
  ClearMachine();
  platform::posix::SetRegistryString(platform::RootKey::LocalMachine, "SOFTWARE", "~", "");
  platform::registry().DeleteValue(platform::RootKey::LocalMachine, "SOFTWARE", "~");
  platform::posix::SetExePath(kDist + "\\setup.exe");
  platform::posix::SetSystemDir(kSystem);
  installer::CurrentVolume = 0;
  auto& p = installer::Profile();
  p.StartDir = kDist;
  p.SystemDir = kSystem;
  p.ProgramsDir = kPrograms;
  p.DesktopDir = kDesktop;
  installer::FillProductTexts(p, installer::ShippedProduct());
  p.ArchiveName = "setup.dat";
  p.InstallCaption = "Setup " + p.ProductName;
  p.InstallDir = kInstall;
  p.ExcludedComponents = std::make_unique<std::vector<std::string>>();
  for (const std::string& dir :
       {kDist, kInstall, kSystem, kPrograms, kDesktop, kCommon, std::string("C:\\TEMP")})
    platform::files().ForceDirectories(dir);
  Put(kSystem + "\\sysvanta.exe", "uninstaller");  // the generic uninstaller the links start
}

// The files and folders of the drive and the registry's keys and values.
TreeSnapshot Machine() {
  TreeSnapshot all = fuzz_support::Snapshot("C:");
  for (const auto& [root, key] : platform::posix::RegistryKeys())
    all["KEY " + std::to_string(int(root)) + "\\" + key] = "";
  for (const auto& v : platform::posix::RegistryContents())
    all["VALUE " + std::to_string(int(v.root)) + "\\" + v.key + "|" + v.name] = v.value;
  return all;
}

// The differences of after from before, but for the UNINST folder, which
// a run makes and keeps.
std::vector<std::string> Changes(const TreeSnapshot& before, const TreeSnapshot& after) {
  const std::string uninst = platform::text().UpperCase(kInstall + "\\UNINST");
  std::vector<std::string> out;
  for (const auto& [path, what] : before) {
    auto it = after.find(path);
    if (it == after.end() || it->second != what) out.push_back(path);
  }
  for (const auto& [path, what] : after) {
    if (!before.count(path) && path != uninst) out.push_back(path);
  }
  return out;
}

// A path as it was and as it is, for the report of a broken invariant.
std::string Both(const std::string& path, const TreeSnapshot& was, const TreeSnapshot& is) {
  auto text = [&](const TreeSnapshot& s) {
    auto it = s.find(path);
    return it == s.end() ? std::string("(none)") : "[" + it->second + "]";
  };
  return path + ": " + text(was) + " -> " + text(is);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 2) return 0;
  InstallUi& ui = Ui();
  auto& files = fuzz_support::MemoryMachine();
  const uint8_t options = bytes[0];
  const int64_t room = int64_t(bytes[1]) * 64;
  bytes += 2, size -= 2;
  ui.options = options;
  ui.boxes = 0;
  Prepare();
  auto& p = installer::Profile();

  if (options & 1) {
    Put(kInstall + "\\Lectorn.exe", "lectorn v1");
    Put(kInstall + "\\MentorixHelp.chm", "help v1", platform::kAttrReadOnly);
    Put(kInstall + "\\UNINST\\mtxvlm.log",
        "Mentorix|Uninstall|Remove?|Done|\r\n" + kInstall + "\\Lectorn.exe\r\n");
    Put(kSystem + "\\vlmctl.dll", "control v1");
  }
  const size_t cut = (options & 0x10) ? size / 2 : 0;
  if (cut > 0) p.VolumeCount = 2;
  const char* data = reinterpret_cast<const char*>(bytes);
  Put(installer::VolumePath(p, 1), std::string(data, cut > 0 ? cut : size));
  if (cut > 0) Put(installer::VolumePath(p, 2), std::string(data + cut, size - cut));
  std::unique_ptr<platform::File> running;
  if ((options & 9) == 9)
    running = files.Open(kInstall + "\\Lectorn.exe", platform::OpenMode::ReadShareRead, nullptr);

  const TreeSnapshot before = Machine();
  if (options & 2) files.SetFreeBytes(room);
  installer::TRunOutcome outcome;
  bool finished;
  {
    installer::TInstF3 copier;
    copier.form.Shown();
    outcome = copier.Outcome;
    finished = copier.Finished;
  }
  files.SetFreeBytes(-1);
  const TreeSnapshot after = Machine();

  const std::vector<std::string> roots = {kInstall, kSystem, kPrograms, kDesktop, kCommon};
  for (const std::string& path : Changes(before, after)) {
    if (path.compare(0, 4, "KEY ") == 0 || path.compare(0, 6, "VALUE ") == 0) continue;
    bool inside = false;
    for (const std::string& root : roots) inside = inside || Inside(path, root);
    if (!inside) Violated("changed outside the run's folders:", path);
  }
  const bool completed =
      outcome == installer::roCompleted || outcome == installer::roCompletedWithProblems;
  if (outcome == installer::roRolledBack) {
    for (const std::string& path : Changes(before, after))
      Violated("a rolled-back run left", Both(path, before, after));
  }
  if (completed) {
    if (!finished) Violated("completed without finishing");
    if (!installer::RecordedJournals(p.ProductName).empty())
      Violated("a completed run left its journal to undo");
    if (files.DirectoryExists(kInstall + "\\TEMP")) Violated("a completed run left its staging");
  }

  // The next start: the program that held a file has ended.
  running.reset();
  installer::RecoverInterruptedRuns(p.ProductName);
  const TreeSnapshot next = Machine();
  if (completed) {
    for (const std::string& path : fuzz_support::Differences(after, next))
      Violated("the next start changed a completed installation:", path);
  } else {
    for (const std::string& path : Changes(before, next))
      Violated("the run and the next start left", Both(path, before, next));
  }
  if (!installer::RecordedJournals(p.ProductName).empty())
    Violated("a journal stays recorded after the next start");
  // The machine goes with its run (see ClearFilesAtEnd).
  files.Clear();
  ClearMachine();
  return 0;
}
