// The posix platform's registry: keys and string values in memory, key paths
// and value names compared without regard to letter case.
#include <map>
#include <tuple>

#include "platform/codepage.h"
#include "platform/posix/files_internal.h"
#include "platform/posix/posix.h"

namespace platform::posix {

namespace {

struct Value {
  std::string name;
  std::string value;  // a string type's text without its terminating zero; else the bytes
  uint32_t type = kRegString;
};

bool IsStringType(uint32_t type) { return type == 1 || type == 2; }  // REG_SZ, REG_EXPAND_SZ

struct Key {
  std::string path;                     // as first created
  std::map<std::string, Value> values;  // by folded name
};

using KeyId = std::pair<int, std::string>;  // root, folded path

std::map<KeyId, Key>& keys() {
  static std::map<KeyId, Key> k;
  return k;
}

// "\A\\b\" -> "A\b"
std::string Normalize(const std::string& key) {
  std::string out;
  for (char c : key) {
    if (c == '/') c = '\\';
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  if (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

KeyId IdOf(RootKey root, const std::string& normalized) {
  return {static_cast<int>(root), codepage::UpperCase(normalized)};
}

Key& Create(RootKey root, const std::string& key) {
  const std::string path = Normalize(key);
  // Parents first, so that every prefix exists as a key.
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '\\') {
      auto [it, added] = keys().try_emplace(IdOf(root, path.substr(0, i)));
      if (added) it->second.path = path.substr(0, i);
    }
  }
  auto [it, added] = keys().try_emplace(IdOf(root, path));
  if (added) it->second.path = path;
  return it->second;
}

constexpr uint32_t kWriteBits =
    0x00010000 | 0x00040000 | 0x00080000 | 0x0002 | 0x0004 |
    0x0020;  // DELETE, WRITE_DAC, WRITE_OWNER, SET_VALUE, CREATE_SUB_KEY, CREATE_LINK

class PosixRegistry : public Registry {
 public:
  bool OpenKey(RootKey root, const std::string& key, uint32_t access) override {
    if ((access & kWriteBits) && faults().registryReadOnly) return false;
    const std::string path = Normalize(key);
    return path.empty() || keys().count(IdOf(root, path)) > 0;
  }

  bool ReadString(RootKey root, const std::string& key, const std::string& name,
                  std::string& value) override {
    auto it = keys().find(IdOf(root, Normalize(key)));
    if (it == keys().end()) return false;
    auto v = it->second.values.find(codepage::UpperCase(name));
    if (v == it->second.values.end() || !IsStringType(v->second.type)) return false;
    value = v->second.value;
    return true;
  }

  bool ReadValue(RootKey root, const std::string& key, const std::string& name,
                 RegistryValue& value) override {
    auto it = keys().find(IdOf(root, Normalize(key)));
    if (it == keys().end()) return false;
    auto v = it->second.values.find(codepage::UpperCase(name));
    if (v == it->second.values.end()) return false;
    value.type = v->second.type;
    value.data = v->second.value;
    if (IsStringType(value.type)) value.data += '\0';
    return true;
  }

  bool WriteValue(RootKey root, const std::string& key, const std::string& name,
                  const RegistryValue& value) override {
    if (faults().registryReadOnly) return false;
    std::string data = value.data;
    if (IsStringType(value.type)) data = data.substr(0, data.find('\0'));
    Create(root, key).values[codepage::UpperCase(name)] = {name, data, value.type};
    return true;
  }

  bool DeleteValue(RootKey root, const std::string& key, const std::string& name) override {
    if (faults().registryReadOnly) return false;
    auto it = keys().find(IdOf(root, Normalize(key)));
    return it != keys().end() && it->second.values.erase(codepage::UpperCase(name)) > 0;
  }

  bool DeleteKey(RootKey root, const std::string& key) override {
    if (faults().registryReadOnly) return false;
    const std::string path = Normalize(key);
    auto it = keys().find(IdOf(root, path));
    if (path.empty() || it == keys().end()) return false;
    // A key with sub-keys stays, as RegDeleteKeyA leaves it.
    const KeyId prefix{it->first.first, it->first.second + "\\"};
    auto sub = keys().lower_bound(prefix);
    if (sub != keys().end() && sub->first.first == prefix.first &&
        sub->first.second.compare(0, prefix.second.size(), prefix.second) == 0)
      return false;
    keys().erase(it);
    return true;
  }

  bool WriteDefault(RootKey root, const std::string& key, const std::string& value) override {
    if (faults().registryReadOnly) return false;
    SetRegistryString(root, key, "", value);
    return true;
  }
};

}  // namespace

std::vector<RegistryEntry> RegistryContents() {
  std::vector<RegistryEntry> out;
  for (const auto& [id, key] : keys()) {
    for (const auto& [folded, v] : key.values) {
      out.push_back({static_cast<RootKey>(id.first), key.path, v.name, v.value});
    }
  }
  return out;
}

std::vector<std::pair<RootKey, std::string>> RegistryKeys() {
  std::vector<std::pair<RootKey, std::string>> out;
  for (const auto& [id, key] : keys()) out.emplace_back(static_cast<RootKey>(id.first), key.path);
  return out;
}

void ClearRegistry() { keys().clear(); }

void SetRegistryString(RootKey root, const std::string& key, const std::string& name,
                       const std::string& value) {
  Key& k = Create(root, key);
  k.values[codepage::UpperCase(name)] = {name, value, kRegString};
}

std::unique_ptr<Registry> MakeRegistry() { return std::make_unique<PosixRegistry>(); }

}  // namespace platform::posix
