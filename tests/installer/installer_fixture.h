// A machine for the installer's windows: the real files of this build's
// platform in a fresh distribution folder, a registry and shell whose answers
// each test sets, controllable drive scans and failing folders, and the
// scripted user interface. Works alike natively and under Wine.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "installer/inst_f1.h"
#include "installer/profile.h"
#include "platform/form.h"
#include "platform/platform.h"
#include "platform/scripted_ui.h"
#include "tests/common/forwarding_files.h"
#include "tests/common/forwarding_shell.h"
#include "tests/common/refusing_registry.h"
#include "tests/common/test_paths.h"

namespace installer_test {

// Answers "X:\" and "X:\Program Files\" from a set of drives; refuses to
// create files inside the folders listed in readOnlyFolders; everything else
// goes to the platform's own files.
class OverlayFiles : public testing_support::ForwardingFiles {
 public:
  explicit OverlayFiles(platform::Files& real) : ForwardingFiles(real) {}
  std::set<char> drives;                  // drive letters whose root exists
  std::set<char> programFilesDrives;      // drives with a "Program Files" folder
  std::set<std::string> readOnlyFolders;  // exact folder paths (case as given)
  std::set<std::string> unreadableFiles;  // opening them for reading fails
  std::unique_ptr<platform::File> Open(const std::string& path, platform::OpenMode mode,
                                       std::string* errorText) override;
  bool DirectoryExists(const std::string& path) override;
};

// Answers reads from the values and keys a test sets; writes fail.
class FakeRegistry : public testing_support::RefusingRegistry {
 public:
  std::map<std::string, std::string> values;  // "KEY|name" -> value
  std::set<std::string> keys;
  bool denyFullAccess = false;  // as for a user without administrator rights

  bool OpenKey(platform::RootKey root, const std::string& key, uint32_t access) override;
  bool ReadString(platform::RootKey root, const std::string& key, const std::string& name,
                  std::string& value) override;
};

// A machine's folders as a fresh Windows installation names them.
class FakeShell : public testing_support::FolderShell {
 public:
  explicit FakeShell(platform::Shell& real) : FolderShell(real) {
    systemDir = "C:\\WINDOWS\\system32";
    programsDir = "C:\\Menu\\Programs";
    desktopDir = "C:\\Users\\Desktop";
  }
};

// Installs the fakes for one test, with a distribution folder that holds
// setup.dat; restores the platform afterwards and fails the test on any
// message box or modal form the script did not expect.
class InstallerTest : public ::testing::Test {
 protected:
  InstallerTest() : dist_(std::make_unique<testing_support::TempFolder>()) {}
  void SetUp() override;
  void TearDown() override;

  // Creates the main window for product (default: the shipped one) and runs
  // its start-up sequence.
  installer::TInstF1& Start(
      const installer::ProductDefinition& product = installer::ShippedProduct());
  void WriteDistFile(const std::string& name, const std::string& bytes = "x");
  std::string Dist(const std::string& name) const { return dist_->Path() + "\\" + name; }

  // Expects a modal form: onShow runs (unless show is false), then act, and
  // the form's modal result is returned (cancel when act left none).
  void ExpectForm(const std::string& name, std::function<void(platform::Form&)> act,
                  bool show = true);
  // Texts of all message boxes shown so far.
  std::vector<std::string> BoxTexts() const;

  std::unique_ptr<testing_support::TempFolder> dist_;
  std::unique_ptr<OverlayFiles> files_;
  FakeRegistry registry_;
  std::unique_ptr<FakeShell> shell_;
  platform::ScriptedUi ui_;
  std::unique_ptr<installer::TInstF1> main_;
  std::vector<std::string> shownForms_;

 private:
  platform::Services saved_;
};

// A product with components, required files and several volumes, for the
// cases the shipped product does not reach.
installer::ProductDefinition ProductWith(std::vector<std::string> componentDirs);

// UTF-8 literal as the program's ANSI text.
std::string A(const char* utf8);

}  // namespace installer_test
