// The registry of the win32 platform. Key paths may start with "\" (taken as
// relative to the root key, as the run-time library's registry object does).
#include "platform/win32/win32.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

namespace {

HKEY RootOf(RootKey root) {
  switch (root) {
    case RootKey::LocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RootKey::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RootKey::CurrentUser:
      break;
  }
  return HKEY_CURRENT_USER;
}

std::string Relative(const std::string& key) {
  size_t start = 0;
  while (start < key.size() && key[start] == '\\') ++start;
  std::string out = key.substr(start);
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

class Win32Registry : public Registry {
 public:
  bool OpenKey(RootKey root, const std::string& key, uint32_t access) override {
    HKEY h;
    if (RegOpenKeyExA(RootOf(root), Relative(key).c_str(), 0, access, &h) != ERROR_SUCCESS)
      return false;
    RegCloseKey(h);
    return true;
  }

  bool ReadString(RootKey root, const std::string& key, const std::string& name,
                  std::string& value) override {
    HKEY h;
    if (RegOpenKeyExA(RootOf(root), Relative(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
      return false;
    DWORD type = 0, size = 0;
    bool ok = RegQueryValueExA(h, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
              (type == REG_SZ || type == REG_EXPAND_SZ);
    std::string data;
    if (ok) {
      data.resize(size + 1);
      ok = RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                            &size) == ERROR_SUCCESS;
    }
    RegCloseKey(h);
    if (!ok) return false;
    data.resize(size);
    // The stored terminator, if any, is not part of the text.
    const size_t nul = data.find('\0');
    if (nul != std::string::npos) data.resize(nul);
    value = data;
    return true;
  }

  bool WriteDefault(RootKey root, const std::string& key, const std::string& value) override {
    HKEY h;
    if (RegCreateKeyExA(RootOf(root), Relative(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const bool ok =
        RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(h);
    return ok;
  }

  bool ReadValue(RootKey root, const std::string& key, const std::string& name,
                 RegistryValue& value) override {
    HKEY h;
    if (RegOpenKeyExA(RootOf(root), Relative(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
      return false;
    DWORD type = 0, size = 0;
    bool ok = RegQueryValueExA(h, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    std::string data(size, '\0');
    if (ok && size > 0) {
      ok = RegQueryValueExA(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                            &size) == ERROR_SUCCESS;
      data.resize(size);
    }
    RegCloseKey(h);
    if (!ok) return false;
    value.type = type;
    value.data = data;
    return true;
  }

  bool WriteValue(RootKey root, const std::string& key, const std::string& name,
                  const RegistryValue& value) override {
    HKEY h;
    if (RegCreateKeyExA(RootOf(root), Relative(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &h, nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const bool ok = RegSetValueExA(h, name.empty() ? nullptr : name.c_str(), 0, value.type,
                                   reinterpret_cast<const BYTE*>(value.data.data()),
                                   static_cast<DWORD>(value.data.size())) == ERROR_SUCCESS;
    RegCloseKey(h);
    return ok;
  }

  bool DeleteValue(RootKey root, const std::string& key, const std::string& name) override {
    HKEY h;
    if (RegOpenKeyExA(RootOf(root), Relative(key).c_str(), 0, KEY_SET_VALUE, &h) != ERROR_SUCCESS)
      return false;
    const bool ok = RegDeleteValueA(h, name.empty() ? nullptr : name.c_str()) == ERROR_SUCCESS;
    RegCloseKey(h);
    return ok;
  }

  bool DeleteKey(RootKey root, const std::string& key) override {
    const std::string relative = Relative(key);
    return !relative.empty() && RegDeleteKeyA(RootOf(root), relative.c_str()) == ERROR_SUCCESS;
  }
};

}  // namespace

std::unique_ptr<Registry> MakeRegistry() { return std::make_unique<Win32Registry>(); }

}  // namespace platform::win32
