// Shells for test doubles: one that hands every call to another shell, and
// one whose folders each test sets.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace testing_support {

class ForwardingShell : public platform::Shell {
 public:
  explicit ForwardingShell(platform::Shell& real) : real_(real) {}

  std::string ExePath() override { return real_.ExePath(); }
  std::string SystemDir() override { return real_.SystemDir(); }
  std::string SpecialFolderPath(platform::SpecialFolder folder) override {
    return real_.SpecialFolderPath(folder);
  }
  bool RunsAsMachineAccount() override { return real_.RunsAsMachineAccount(); }
  bool CreateShellLink(const platform::ShellLink& link, const std::string& linkPath) override {
    return real_.CreateShellLink(link, linkPath);
  }
  bool Execute(const platform::ExecuteRequest& request) override { return real_.Execute(request); }
  platform::DriveType GetDriveType(const std::string& root) override {
    return real_.GetDriveType(root);
  }
  bool GetVolumeLabel(const std::string& root, std::string& label) override {
    return real_.GetVolumeLabel(root, label);
  }
  platform::ResourceStatus FindResource(const std::string& type, const std::string& name,
                                        const uint8_t*& data, uint32_t& size) override {
    return real_.FindResource(type, name, data, size);
  }
  std::string LoadString(uint32_t id) override { return real_.LoadString(id); }

 protected:
  platform::Shell& real_;
};

// The running program's path, the system, Programs and desktop folders (the
// user's and every user's) and the account are the test's; links cannot be
// made and programs do not start (a recording double overrides both);
// drives and resources are the real ones.
class FolderShell : public ForwardingShell {
 public:
  using ForwardingShell::ForwardingShell;
  std::string exePath, systemDir, programsDir, desktopDir, commonProgramsDir, commonDesktopDir;
  bool machineAccount = false;

  std::string ExePath() override { return exePath; }
  std::string SystemDir() override { return systemDir; }
  std::string SpecialFolderPath(platform::SpecialFolder folder) override {
    switch (folder) {
      case platform::SpecialFolder::Programs:
        return programsDir;
      case platform::SpecialFolder::Desktop:
        return desktopDir;
      case platform::SpecialFolder::CommonPrograms:
        return commonProgramsDir;
      case platform::SpecialFolder::CommonDesktop:
        return commonDesktopDir;
    }
    return "";
  }
  bool RunsAsMachineAccount() override { return machineAccount; }
  bool CreateShellLink(const platform::ShellLink&, const std::string&) override { return false; }
  bool Execute(const platform::ExecuteRequest&) override { return false; }
};

}  // namespace testing_support
