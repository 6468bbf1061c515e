// A registry in which nothing exists and every write fails. Test doubles
// derive from it and override only the calls their tests look at.
#pragma once

#include <string>

#include "platform/platform.h"

namespace testing_support {

class RefusingRegistry : public platform::Registry {
 public:
  bool OpenKey(platform::RootKey, const std::string&, uint32_t) override { return false; }
  bool ReadString(platform::RootKey, const std::string&, const std::string&,
                  std::string&) override {
    return false;
  }
  bool WriteDefault(platform::RootKey, const std::string&, const std::string&) override {
    return false;
  }
  bool ReadValue(platform::RootKey, const std::string&, const std::string&,
                 platform::RegistryValue&) override {
    return false;
  }
  bool WriteValue(platform::RootKey, const std::string&, const std::string&,
                  const platform::RegistryValue&) override {
    return false;
  }
  bool DeleteValue(platform::RootKey, const std::string&, const std::string&) override {
    return false;
  }
  bool DeleteKey(platform::RootKey, const std::string&) override { return false; }
};

}  // namespace testing_support
