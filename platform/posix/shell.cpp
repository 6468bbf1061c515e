// The posix platform's shell and system: settable answers, recorded shell
// links and started programs, and the message table linked into the program.
#include <map>

#include "platform/codepage.h"
#include "platform/posix/files_internal.h"
#include "platform/posix/paths.h"
#include "platform/posix/posix.h"
#include "support/message_table_data.h"

namespace platform::posix {

namespace {

const char* kDefaultExe = "C:\\SETUP\\setup.exe";
const char* kDefaultSystem = "C:\\WINDOWS\\system32";
const char* kDefaultPrograms = "C:\\Documents and Settings\\All Users\\Main Menu\\Programs";
const char* kDefaultDesktop = "C:\\Documents and Settings\\All Users\\Desktop";
const char* kDefaultCommonPrograms = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
const char* kDefaultCommonDesktop = "C:\\Users\\Public\\Desktop";

std::map<SpecialFolder, std::string> DefaultSpecialFolders() {
  return {{SpecialFolder::Programs, kDefaultPrograms},
          {SpecialFolder::Desktop, kDefaultDesktop},
          {SpecialFolder::CommonPrograms, kDefaultCommonPrograms},
          {SpecialFolder::CommonDesktop, kDefaultCommonDesktop}};
}

struct ShellState {
  std::string exePath = kDefaultExe;
  std::string systemDir = kDefaultSystem;
  std::map<SpecialFolder, std::string> special = DefaultSpecialFolders();
  bool machineAccount = false;
  std::map<std::string, DriveType> driveTypes;  // by upper-case root "X:\"
  struct Label {
    std::string label;
    bool notReady = false;
  };
  std::map<std::string, Label> labels;
  std::vector<RecordedLink> links;
  std::vector<ExecuteRequest> executions;
};

ShellState& state() {
  static ShellState s;
  return s;
}

Files& files() {
  static std::unique_ptr<Files> f = MakeFiles();
  return *f;
}

// "c:" or "c:\anything" -> "C:\"
std::string RootOf(const std::string& path) {
  if (path.size() < 2 || path[1] != ':') return "";
  return std::string(1, static_cast<char>(codepage::UpperByte(static_cast<uint8_t>(path[0])))) +
         ":\\";
}

bool EqualsAsciiNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// A folder that the simulated system reports exists, as it would on Windows.
std::string Existing(const std::string& folder) {
  if (!folder.empty()) files().ForceDirectories(folder);
  return folder;
}

class PosixShell : public Shell {
 public:
  std::string ExePath() override { return state().exePath; }
  std::string SystemDir() override { return Existing(state().systemDir); }

  std::string SpecialFolderPath(SpecialFolder folder) override {
    return Existing(state().special[folder]);
  }
  bool RunsAsMachineAccount() override { return state().machineAccount; }

  bool CreateShellLink(const ShellLink& link, const std::string& linkPath) override {
    if (faults().shellLinkFails) return false;
    // As IPersistFile::Save: the folder must exist; an existing link is overwritten.
    auto f = files().Open(linkPath, OpenMode::Create, nullptr);
    if (!f) return false;
    const std::string body = "[Shell link]\r\nTarget=" + link.target +
                             "\r\nArguments=" + link.arguments +
                             "\r\nWorkingDir=" + link.workingDir + "\r\n";
    if (f->Write(body.data(), static_cast<int32_t>(body.size())) !=
        static_cast<int32_t>(body.size())) {
      // A save that fails (a full disk) leaves no half-written link behind.
      f.reset();
      files().DeleteFile(linkPath);
      return false;
    }
    state().links.push_back({linkPath, link});
    return true;
  }

  bool Execute(const ExecuteRequest& request) override {
    // ShellExecuteExA fails when the file cannot be found.
    std::string file = request.file;
    const bool relative =
        !(file.size() > 1 && (file[1] == ':' || file[0] == '\\' || file[0] == '/'));
    if (relative && !request.directory.empty()) file = request.directory + "\\" + file;
    if (!files().FileExists(file)) return false;
    state().executions.push_back(request);
    return true;
  }

  DriveType GetDriveType(const std::string& root) override {
    const std::string r = RootOf(root);
    if (r.empty()) return DriveType::NoRootDir;
    auto it = state().driveTypes.find(r);
    return it == state().driveTypes.end() ? DriveType::Fixed : it->second;
  }

  bool GetVolumeLabel(const std::string& root, std::string& label) override {
    const std::string r = RootOf(root);
    if (r.empty()) return false;
    auto it = state().labels.find(r);
    if (it == state().labels.end()) {
      label.clear();
      return true;
    }
    if (it->second.notReady) return false;
    label = it->second.label;
    return true;
  }

  ResourceStatus FindResource(const std::string& type, const std::string& name,
                              const uint8_t*& data, uint32_t& size) override {
    if (!EqualsAsciiNoCase(type, "S_StringTable") || !EqualsAsciiNoCase(name, "S_Stream")) {
      return ResourceStatus::NotFound;
    }
    if (faults().resourceStatus != ResourceStatus::Ok) return faults().resourceStatus;
    data = kSStreamTable;
    size = kSStreamTableSize;
    return ResourceStatus::Ok;
  }

  std::string LoadString(uint32_t id) override {
    switch (id) {
      case 4288:
        return "Cannot load string resource";
      case 4289:
        return "Cannot lock string resource";
      case 4290:
        return "No such string resource: %s";
      default:
        return "";
    }
  }
};

}  // namespace

void SetExePath(const std::string& path) { state().exePath = path.empty() ? kDefaultExe : path; }
void SetSystemDir(const std::string& path) {
  state().systemDir = path.empty() ? kDefaultSystem : path;
}
void SetSpecialFolder(SpecialFolder folder, const std::string& path) {
  state().special[folder] = path;
}
void ResetSpecialFolders() { state().special = DefaultSpecialFolders(); }
void SetMachineAccount(bool machine) { state().machineAccount = machine; }
void SetDriveType(const std::string& root, DriveType type) {
  state().driveTypes[RootOf(root)] = type;
}
void SetVolumeLabel(const std::string& root, const std::string& label, bool notReady) {
  state().labels[RootOf(root)] = {label, notReady};
}
std::vector<RecordedLink> RecordedLinks() { return state().links; }
std::vector<ExecuteRequest> RecordedExecutions() { return state().executions; }
void ResetShell() { state() = ShellState(); }

std::unique_ptr<Shell> MakeShell() { return std::make_unique<PosixShell>(); }

}  // namespace platform::posix
