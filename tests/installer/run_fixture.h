// A machine for installation runs: a distribution folder with archive
// volumes built at test time (stored members, encrypted with the build's
// password), an install folder, system, Programs and desktop folders, a
// registry and a shell that record what the run writes, files whose deletes
// and moves can be made to fail, and the scripted user interface. Works
// alike natively and under Wine.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "installer/inst_f3.h"
#include "installer/profile.h"
#include "platform/platform.h"
#include "platform/scripted_ui.h"
#include "tests/common/forwarding_files.h"
#include "tests/common/forwarding_shell.h"
#include "tests/common/refusing_registry.h"
#include "tests/common/test_paths.h"

namespace run_test {

struct ArchiveMember {
  std::string name;  // stored name, "/" or "\" between folders
  std::string data;
  uint32_t dosDateTime = 0x5A8C6000;  // 2025-04-12 12:00:00
  bool damaged = false;               // one data byte flipped: the CRC check fails
  uint32_t attributes = 0x20;
};

// A single-volume archive of stored members encrypted with password.
std::string BuildArchive(const std::vector<ArchiveMember>& members, const std::string& password);

// Real files, except that a file listed in deleteFails (any letter case) is
// in use as long as its count is above 0 (-1: always): each DeleteFile of it,
// or move away from it, fails and counts down; and MoveFile or ReplaceFile
// from or to a path listed in moveFails always fails. Moves at the next
// restart are recorded, not given to the system.
class RunFiles : public testing_support::ForwardingFiles {
 public:
  explicit RunFiles(platform::Files& real) : ForwardingFiles(real) {}
  std::map<std::string, int> deleteFails;  // upper-case path -> remaining failures
  std::vector<std::string> moveFails;      // upper-case paths
  std::vector<std::string> opened;         // every path opened for reading
  std::vector<std::string> created;        // every path created anew
  std::vector<std::pair<std::string, std::string>> restartMoves;  // (from, to) in order
  bool restartRefused = false;  // the system will not schedule a move at restart
  std::unique_ptr<platform::File> Open(const std::string& path, platform::OpenMode mode,
                                       std::string* errorText) override;
  bool DeleteFile(const std::string& path) override;
  bool MoveFile(const std::string& from, const std::string& to) override;
  bool ReplaceFile(const std::string& from, const std::string& to) override;
  bool MoveOver(const std::string& from, const std::string& to) override;
  bool ReplaceAtRestart(const std::string& from, const std::string& to) override;

 private:
  // count: this try uses up one of the failures.
  bool InUse(const std::string& path, bool count = true);
};

// Registry writes in order; keys compared without regard to letter case.
// No key exists before a run (reads fail), so a rollback only deletes keys.
class RecordingRegistry : public testing_support::RefusingRegistry {
 public:
  struct Write {
    platform::RootKey root;
    std::string key, value;
  };
  std::vector<Write> writes;
  int failAtWrite = -1;  // the write with this 0-based number (and only it) fails

  bool WriteDefault(platform::RootKey root, const std::string& key,
                    const std::string& value) override;
  bool DeleteKey(platform::RootKey, const std::string&) override { return true; }
};

// Records links (and saves a small file at each link path so that it exists
// on disk) and started programs.
class RecordingShell : public testing_support::FolderShell {
 public:
  using FolderShell::FolderShell;
  struct Link {
    std::string path;
    platform::ShellLink link;
  };
  std::vector<Link> links;
  std::vector<platform::ExecuteRequest> started;
  bool linksFail = false;

  bool CreateShellLink(const platform::ShellLink& link, const std::string& linkPath) override;
  bool Execute(const platform::ExecuteRequest& request) override {
    started.push_back(request);
    return true;
  }
};

class RunTest : public ::testing::Test {
 public:
  // The members every shortcut row of the shipped product points to.
  static std::vector<ArchiveMember> ProductMembers();

 protected:
  RunTest();
  void SetUp() override;
  void TearDown() override;

  // Fills the profile from product as the start-up sequence and the Install
  // command would, for an install into Install().
  void Prepare(const installer::ProductDefinition& product = installer::ShippedProduct());
  // Writes volume n (1-based) of the archive into the distribution folder.
  void WriteVolume(int n, const std::vector<ArchiveMember>& members);
  // The copy window's first activation: the whole run.
  void Run();

  std::string Install(const std::string& rel = "") const {
    return rel.empty() ? root_->Path() + "\\Product" : root_->Path() + "\\Product\\" + rel;
  }
  std::string Sys(const std::string& rel) const { return systemDir_ + "\\" + rel; }
  std::string Group() const { return programsDir_ + "\\Mentorix for Volmar"; }
  std::string Read(const std::string& path) const;
  void Write(const std::string& path, const std::string& bytes);
  std::vector<std::string> BoxTexts() const;
  std::string LogPath() const { return Install("UNINST\\mtxvlm.log"); }

  std::unique_ptr<testing_support::TempFolder> root_;
  std::string dist_, systemDir_, programsDir_, desktopDir_;
  std::unique_ptr<RunFiles> files_;
  RecordingRegistry registry_;
  std::unique_ptr<RecordingShell> shell_;
  platform::ScriptedUi ui_;
  std::unique_ptr<installer::TInstF3> copier_;

 private:
  platform::Services saved_;
};

// UTF-8 literal as the program's ANSI text.
std::string A(const char* utf8);
// ANSI (1251) text as the OEM code page (866) that archives store names in;
// Russian letters other than Ё/ё only.
std::string Oem(const std::string& ansi);

}  // namespace run_test
