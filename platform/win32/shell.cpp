// Shell and system services of the win32 platform.
#include <vector>

#include "platform/win32/win32.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

namespace {

class Win32Shell : public Shell {
 public:
  std::string ExePath() override {
    std::vector<char> buffer(MAX_PATH + 1);
    for (;;) {
      const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return "";
      if (n < buffer.size()) return std::string(buffer.data(), n);
      buffer.resize(buffer.size() * 2);
    }
  }

  std::string SystemDir() override {
    char buffer[300];
    const UINT n = GetSystemDirectoryA(buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
  }

  std::string SpecialFolderPath(SpecialFolder folder) override {
    int csidl = CSIDL_PROGRAMS;
    switch (folder) {
      case SpecialFolder::Programs:
        break;
      case SpecialFolder::Desktop:
        csidl = CSIDL_DESKTOPDIRECTORY;
        break;
      case SpecialFolder::CommonPrograms:
        csidl = CSIDL_COMMON_PROGRAMS;
        break;
      case SpecialFolder::CommonDesktop:
        csidl = CSIDL_COMMON_DESKTOPDIRECTORY;
        break;
    }
    LPITEMIDLIST pidl = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(GetActiveWindow(), csidl, &pidl)) || !pidl) return "";
    char buffer[1000] = {};
    const bool ok = SHGetPathFromIDListA(pidl, buffer) != 0;
    CoTaskMemFree(pidl);
    return ok ? std::string(buffer) : std::string();
  }

  // The process token's user is the well-known LocalSystem SID (S-1-5-18).
  bool RunsAsMachineAccount() override {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size > 0 ? size : 1);
    bool system = false;
    if (size > 0 && GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
      const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
      system = IsWellKnownSid(user->User.Sid, WinLocalSystemSid) != 0;
    }
    CloseHandle(token);
    return system;
  }

  bool CreateShellLink(const ShellLink& link, const std::string& linkPath) override {
    CoInitialize(nullptr);  // on every call, whatever its result
    IShellLinkA* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&shellLink)))) {
      return false;
    }
    IPersistFile* persist = nullptr;
    bool ok =
        SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)));
    ok = ok && SUCCEEDED(shellLink->SetPath(link.target.c_str()));
    ok = ok && SUCCEEDED(shellLink->SetArguments(link.arguments.c_str()));
    ok = ok && SUCCEEDED(shellLink->SetWorkingDirectory(link.workingDir.c_str()));
    if (ok && !link.description.empty())
      ok = SUCCEEDED(shellLink->SetDescription(link.description.c_str()));
    if (ok && !link.iconPath.empty()) {
      ok = SUCCEEDED(shellLink->SetIconLocation(link.iconPath.c_str(), link.iconIndex));
    }
    if (ok) {
      const int n = MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, nullptr, 0);
      std::vector<wchar_t> wide(n > 0 ? n : 1);
      ok = n > 0 && MultiByteToWideChar(CP_ACP, 0, linkPath.c_str(), -1, wide.data(), n) > 0 &&
           SUCCEEDED(persist->Save(wide.data(), TRUE));
    }
    if (persist) persist->Release();
    shellLink->Release();
    return ok;
  }

  bool Execute(const ExecuteRequest& request) override {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = request.file.c_str();
    info.lpParameters = request.parameters.empty() ? nullptr : request.parameters.c_str();
    info.lpDirectory = request.directory.empty() ? nullptr : request.directory.c_str();
    info.nShow = request.showCommand;
    if (!ShellExecuteExA(&info)) return false;
    if (info.hProcess) CloseHandle(info.hProcess);  // the program runs on; nobody waits for it
    return true;
  }

  DriveType GetDriveType(const std::string& root) override {
    return static_cast<DriveType>(GetDriveTypeA(root.c_str()));
  }

  bool GetVolumeLabel(const std::string& root, std::string& label) override {
    char buffer[MAX_PATH + 1] = {};
    QuietCriticalErrors quiet;
    if (!GetVolumeInformationA(root.c_str(), buffer, sizeof buffer, nullptr, nullptr, nullptr,
                               nullptr, 0)) {
      return false;
    }
    label = buffer;
    return true;
  }

  ResourceStatus FindResource(const std::string& type, const std::string& name,
                              const uint8_t*& data, uint32_t& size) override {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, name.c_str(), type.c_str());
    if (!found) return ResourceStatus::NotFound;
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) return ResourceStatus::LoadFailed;
    const void* locked = LockResource(loaded);
    if (!locked) return ResourceStatus::LockFailed;
    data = static_cast<const uint8_t*>(locked);
    size = SizeofResource(module, found);
    return ResourceStatus::Ok;
  }

  std::string LoadString(uint32_t id) override {
    char buffer[1024];
    const int n = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, n) : std::string();
  }
};

}  // namespace

std::unique_ptr<Shell> MakeShell() { return std::make_unique<Win32Shell>(); }

}  // namespace platform::win32
