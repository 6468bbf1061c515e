// Installation runs on the posix platform itself, instead of the run
// fixture's recording stand-ins: real files, the in-memory registry and the
// recording shell, with their fault switches, and snapshots of the whole
// machine (files with their bytes, times and read-only bit, folders,
// registry keys and values) to compare before and after a run.
#pragma once
#ifndef _WIN32

#include <set>
#include <string>
#include <vector>

#include "platform/posix/posix.h"
#include "tests/installer/run_fixture.h"

namespace run_test {

class PosixRunTest : public RunTest {
 protected:
  void SetUp() override {
    const platform::Services real = platform::Current();
    RunTest::SetUp();
    platform::Current().files = real.files;
    platform::Current().registry = real.registry;
    platform::Current().shell = real.shell;
    ClearMachineRegistry();
    platform::posix::ResetShell();
    platform::posix::SetExePath(dist_ + "\\setup.exe");
    UseSystemDir(systemDir_);
    platform::posix::SetSpecialFolder(platform::SpecialFolder::Programs, programsDir_);
    platform::posix::SetSpecialFolder(platform::SpecialFolder::Desktop, desktopDir_);
    platform::posix::faults() = platform::posix::Faults();
    platform::posix::faults().uncountedSuffix = ".journal";
  }
  void TearDown() override {
    platform::posix::faults() = platform::posix::Faults();
    platform::posix::ResetShell();
    platform::posix::ClearRegistry();
    RunTest::TearDown();
  }

  // An empty registry but for HKEY_LOCAL_MACHINE\SOFTWARE, which every
  // Windows has.
  static void ClearMachineRegistry() {
    platform::posix::ClearRegistry();
    platform::posix::SetRegistryString(platform::RootKey::LocalMachine, "SOFTWARE", "~", "");
    platform::registry().DeleteValue(platform::RootKey::LocalMachine, "SOFTWARE", "~");
  }

  // Moves the system folder, e.g. to another drive; Snapshot covers it too.
  void UseSystemDir(const std::string& dir) {
    systemDir_ = dir;
    shell_->systemDir = dir;
    platform::posix::SetSystemDir(dir);
    files_->ForceDirectories(dir);
  }

  // Every file and folder below the test's root and the system folder, and
  // every registry key and value.
  std::set<std::string> Snapshot() const {
    std::set<std::string> all;
    Walk(root_->Path(), all);
    if (systemDir_.rfind(root_->Path() + "\\", 0) != 0) Walk(systemDir_, all);
    for (const auto& [root, key] : platform::posix::RegistryKeys())
      all.insert("key " + std::to_string(int(root)) + "\\" + key);
    for (const auto& v : platform::posix::RegistryContents())
      all.insert("value " + std::to_string(int(v.root)) + "\\" + v.key + "|" + v.name + " = " +
                 v.value);
    return all;
  }
  void Walk(const std::string& folder, std::set<std::string>& all) const {
    for (const auto& f : platform::files().Enumerate(folder, "*.*")) {
      const std::string path = folder + "\\" + f.name;
      if (f.attributes & platform::kAttrDirectory) {
        all.insert(path + "\\");
        Walk(path, all);
      } else {
        const std::string bytes = Read(path);
        all.insert(path + " = " + (bytes.size() <= 64 ? bytes : std::to_string(bytes.size())) +
                   (f.attributes & platform::kAttrReadOnly ? " (read-only)" : "") + " @" +
                   std::to_string(f.dosDateTime));
      }
    }
  }

  // What after has that before lacks ("+ entry") and the other way ("- entry").
  static std::vector<std::string> Changes(const std::set<std::string>& before,
                                          const std::set<std::string>& after) {
    std::vector<std::string> out;
    for (const auto& a : after)
      if (!before.count(a)) out.push_back("+ " + a);
    for (const auto& b : before)
      if (!after.count(b)) out.push_back("- " + b);
    return out;
  }

  std::string Report() const { return ui_.Shown().empty() ? "" : ui_.Shown().back().text; }

  static size_t Bytes(const std::vector<ArchiveMember>& members) {
    size_t n = 0;
    for (const auto& m : members) n += m.data.size();
    return n;
  }
};

}  // namespace run_test

#endif  // _WIN32
