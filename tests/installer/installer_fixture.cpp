#include "tests/installer/installer_fixture.h"

#include "support/cp1251.h"
#include "support/path_text.h"

namespace installer_test {

namespace {

std::string Upper(std::string s) { return installer::UpperAscii(std::move(s)); }

}  // namespace

std::string A(const char* utf8) { return support::Cp1251(utf8); }

std::unique_ptr<platform::File> OverlayFiles::Open(const std::string& path, platform::OpenMode mode,
                                                   std::string* errorText) {
  const bool write = mode == platform::OpenMode::Create;
  if ((write && readOnlyFolders.count(support::FolderOf(path))) ||
      (!write && unreadableFiles.count(path))) {
    if (errorText) *errorText = "Access is denied";
    return nullptr;
  }
  return real_.Open(path, mode, errorText);
}

bool OverlayFiles::DirectoryExists(const std::string& path) {
  const std::string p = Upper(path);
  if (p.size() == 3 && p[1] == ':' && p[2] == '\\') return drives.count(p[0]) > 0;
  if (p.size() == 17 && p[1] == ':' && p.substr(2) == "\\PROGRAM FILES\\") {
    return programFilesDrives.count(p[0]) > 0;
  }
  return real_.DirectoryExists(path);
}

bool FakeRegistry::OpenKey(platform::RootKey root, const std::string& key, uint32_t access) {
  if (root != platform::RootKey::LocalMachine || !keys.count(Upper(key))) return false;
  return !(denyFullAccess && access == platform::kKeyAllAccess);
}

bool FakeRegistry::ReadString(platform::RootKey root, const std::string& key,
                              const std::string& name, std::string& value) {
  if (root != platform::RootKey::LocalMachine) return false;
  auto it = values.find(Upper(key) + "|" + Upper(name));
  if (it == values.end()) return false;
  value = it->second;
  return true;
}

void InstallerTest::SetUp() {
  saved_ = platform::Current();
  installer::ResetProfile();
  platform::App() = platform::Application();
  files_ = std::make_unique<OverlayFiles>(*saved_.files);
  files_->drives = {'C', 'D'};
  shell_ = std::make_unique<FakeShell>(*saved_.shell);
  shell_->exePath = Dist("setup.exe");
  platform::Current().files = files_.get();
  platform::Current().registry = &registry_;
  platform::Current().shell = shell_.get();
  platform::Current().ui = &ui_;
  WriteDistFile("setup.dat");
}

void InstallerTest::TearDown() {
  for (const auto& u : ui_.Unexpected()) ADD_FAILURE() << "unexpected: " << u;
  for (const auto& u : ui_.Unused()) ADD_FAILURE() << "unused: " << u;
  main_.reset();
  platform::Current() = saved_;
  dist_.reset();
  installer::ResetProfile();
}

installer::TInstF1& InstallerTest::Start(const installer::ProductDefinition& product) {
  main_ = std::make_unique<installer::TInstF1>(product);
  main_->FormCreate();
  return *main_;
}

void InstallerTest::WriteDistFile(const std::string& name, const std::string& bytes) {
  ASSERT_TRUE(testing_support::WriteFileBytes(Dist(name), bytes)) << name;
}

void InstallerTest::ExpectForm(const std::string& name, std::function<void(platform::Form&)> act,
                               bool show) {
  ui_.ExpectForm([this, name, act, show](platform::Form& form) {
    EXPECT_EQ(form.name, name);
    shownForms_.push_back(form.name);
    if (show) form.Shown();
    if (act) act(form);
    return form.modalResult != platform::kMrNone ? form.modalResult : platform::kMrCancel;
  });
}

std::vector<std::string> InstallerTest::BoxTexts() const {
  std::vector<std::string> texts;
  for (const auto& box : ui_.Shown()) texts.push_back(box.text);
  return texts;
}

installer::ProductDefinition ProductWith(std::vector<std::string> componentDirs) {
  installer::ProductDefinition p = installer::ShippedProduct();
  p.ComponentDirs = componentDirs;
  p.ComponentCaptions.clear();
  for (const auto& d : componentDirs) p.ComponentCaptions.push_back("Component " + d);
  p.ChooserCaption = "Components";
  p.ChooserText = "Choose the components to install.";
  p.ChooserListHeight = 120;
  return p;
}

}  // namespace installer_test
