#include "tests/installer/run_fixture.h"

#include "archive/crc32.h"
#include "archive/zip_crypto.h"
#include "support/cp1251.h"
#include "support/path_text.h"
#ifndef _WIN32
#include "platform/posix/posix.h"
#endif

namespace run_test {

namespace {

std::string Le16(uint32_t v) { return std::string{char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string Le32(uint32_t v) { return Le16(v & 0xFFFF) + Le16(v >> 16); }

std::string Upper(const std::string& s) { return installer::UpperAscii(s); }

bool Listed(const std::vector<std::string>& list, const std::string& path) {
  for (const auto& p : list) {
    if (p == Upper(path)) return true;
  }
  return false;
}

}  // namespace

std::string A(const char* utf8) { return support::Cp1251(utf8); }

std::string Oem(const std::string& ansi) {
  std::string out = ansi;
  for (char& ch : out) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0xC0 && c <= 0xEF) ch = static_cast<char>(c - 0x40);  // А..п
    if (c >= 0xF0) ch = static_cast<char>(c - 0x10);               // р..я
  }
  return out;
}

std::string BuildArchive(const std::vector<ArchiveMember>& members, const std::string& password) {
  std::string out, central;
  for (const ArchiveMember& m : members) {
    const uint32_t crc = ~archive::Crc32Update(
        0xFFFFFFFF, reinterpret_cast<const uint8_t*>(m.data.data()), m.data.size());
    std::string plain = "0123456789A" + std::string(1, char(crc >> 24)) + m.data;
    archive::ZipCrypto keys;
    keys.InitKeys(password);
    std::string data;
    for (char c : plain) {
      data += char(uint8_t(c) ^ keys.DecryptByte());
      keys.UpdateKeys(uint8_t(c));
    }
    if (m.damaged && data.size() > 12) data[12] = char(data[12] ^ 0x55);
    const uint32_t offset = uint32_t(out.size());
    const std::string fixed = Le16(1) + Le16(0) + Le32(m.dosDateTime) + Le32(crc) +
                              Le32(uint32_t(data.size())) + Le32(uint32_t(m.data.size())) +
                              Le16(uint32_t(m.name.size()));
    out += std::string("PK\x03\x04", 4) + Le16(20) + fixed + Le16(0) + m.name + data;
    central += std::string("PK\x01\x02", 4) + Le16(20) + Le16(20) + fixed + Le16(0) + Le16(0) +
               Le16(0) + Le16(0) + Le32(m.attributes) + Le32(offset) + m.name;
  }
  const uint32_t cd = uint32_t(out.size());
  out += central;
  out += std::string("PK\x05\x06", 4) + Le16(0) + Le16(0) + Le16(uint32_t(members.size())) +
         Le16(uint32_t(members.size())) + Le32(uint32_t(central.size())) + Le32(cd) + Le16(0);
  return out;
}

std::unique_ptr<platform::File> RunFiles::Open(const std::string& path, platform::OpenMode mode,
                                               std::string* errorText) {
  (mode == platform::OpenMode::Create ? created : opened).push_back(Upper(path));
  return real_.Open(path, mode, errorText);
}

bool RunFiles::InUse(const std::string& path, bool count) {
  auto it = deleteFails.find(Upper(path));
  if (it == deleteFails.end() || it->second == 0) return false;
  if (count && it->second > 0) --it->second;
  return true;
}

bool RunFiles::DeleteFile(const std::string& path) {
  return !InUse(path) && real_.DeleteFile(path);
}

bool RunFiles::MoveFile(const std::string& from, const std::string& to) {
  if (Listed(moveFails, from) || Listed(moveFails, to)) return false;
  return !InUse(from) && real_.MoveFile(from, to);
}

bool RunFiles::ReplaceFile(const std::string& from, const std::string& to) {
  if (Listed(moveFails, from) || Listed(moveFails, to)) return false;
  return !InUse(to) && real_.ReplaceFile(from, to);
}

// A try at replacing a file in use is followed by one at moving it away:
// only that one counts.
bool RunFiles::MoveOver(const std::string& from, const std::string& to) {
  if (Listed(moveFails, from) || Listed(moveFails, to)) return false;
  return !InUse(to, false) && real_.MoveOver(from, to);
}

bool RunFiles::ReplaceAtRestart(const std::string& from, const std::string& to) {
  if (restartRefused || !FileExists(from)) return false;
  restartMoves.emplace_back(from, to);
  return true;
}

bool RecordingRegistry::WriteDefault(platform::RootKey root, const std::string& key,
                                     const std::string& value) {
  if (static_cast<int>(writes.size()) == failAtWrite) {
    failAtWrite = -2;  // consumed; later writes succeed and are recorded
    return false;
  }
  writes.push_back({root, key, value});
  return true;
}

bool RecordingShell::CreateShellLink(const platform::ShellLink& link, const std::string& linkPath) {
  if (linksFail) return false;
  links.push_back({linkPath, link});
  return testing_support::WriteFileBytes(linkPath, "link to " + link.target);
}

RunTest::RunTest() = default;

void RunTest::SetUp() {
  saved_ = platform::Current();
#ifndef _WIN32
  // The run's journal is not among the files that fill the disk in tests.
  platform::posix::faults() = platform::posix::Faults();
  platform::posix::faults().uncountedSuffix = ".journal";
#endif
  installer::ResetProfile();
  platform::App() = platform::Application();
  installer::CurrentVolume = 0;
  ui_.Reset();
  registry_ = RecordingRegistry();
  root_ = std::make_unique<testing_support::TempFolder>();
  auto& real = *saved_.files;
  dist_ = root_->Path() + "\\dist";
  systemDir_ = root_->Path() + "\\WINDOWS\\system32";
  programsDir_ = root_->Path() + "\\Start Menu\\Programs";
  desktopDir_ = root_->Path() + "\\Desktop";
  for (const auto& dir : {dist_, systemDir_, programsDir_, desktopDir_}) real.ForceDirectories(dir);
  files_ = std::make_unique<RunFiles>(real);
  shell_ = std::make_unique<RecordingShell>(*saved_.shell);
  shell_->exePath = dist_ + "\\setup.exe";
  shell_->systemDir = systemDir_;
  shell_->programsDir = programsDir_;
  shell_->desktopDir = desktopDir_;
  shell_->commonProgramsDir = root_->Path() + "\\All Users\\Programs";
  shell_->commonDesktopDir = root_->Path() + "\\Public\\Desktop";
  for (const auto& dir : {shell_->commonProgramsDir, shell_->commonDesktopDir})
    real.ForceDirectories(dir);
  platform::Current().files = files_.get();
  platform::Current().registry = &registry_;
  platform::Current().shell = shell_.get();
  platform::Current().ui = &ui_;
  copier_ = std::make_unique<installer::TInstF3>();
}

void RunTest::TearDown() {
  for (const auto& u : ui_.Unexpected()) ADD_FAILURE() << "unexpected: " << u;
  for (const auto& u : ui_.Unused()) ADD_FAILURE() << "unused: " << u;
  copier_.reset();
  platform::Current() = saved_;
  root_.reset();
  installer::ResetProfile();
  platform::App() = platform::Application();
}

void RunTest::Prepare(const installer::ProductDefinition& product) {
  installer::ResetProfile();
  auto& p = installer::Profile();
  p.StartDir = dist_;
  p.SystemDir = systemDir_;
  p.ProgramsDir = programsDir_;
  p.DesktopDir = desktopDir_;
  installer::FillProductTexts(p, product);
  p.ArchiveName = "setup.dat";
  p.InstallCaption = A("Установка ") + p.ProductName;
  p.InstallDir = Install();
  files_->ForceDirectories(p.InstallDir);
  p.ExcludedComponents = std::make_unique<std::vector<std::string>>();
}

void RunTest::WriteVolume(int n, const std::vector<ArchiveMember>& members) {
  Write(dist_ + "\\setup.dat" + installer::VolumeSuffix(n),
        BuildArchive(members, installer::ArchivePassword()));
}

void RunTest::Run() { copier_->form.Shown(); }

std::string RunTest::Read(const std::string& path) const {
  std::string bytes;
  if (!testing_support::ReadFileBytes(path, bytes)) return "<missing>";
  return bytes;
}

void RunTest::Write(const std::string& path, const std::string& bytes) {
  files_->ForceDirectories(support::FolderOf(path));
  ASSERT_TRUE(testing_support::WriteFileBytes(path, bytes)) << path;
}

std::vector<std::string> RunTest::BoxTexts() const {
  std::vector<std::string> texts;
  for (const auto& box : ui_.Shown()) texts.push_back(box.text);
  return texts;
}

std::vector<ArchiveMember> RunTest::ProductMembers() {
  return {{"Lectorn.exe", "lectorn v2"},
          {"Variomat.exe", "variomat v2"},
          {"MentorixHelp.chm", "help"},
          {"MENTORIX/doc/intro.txt", "intro"}};
}

}  // namespace run_test
