// The instance lock of the posix platform: names held by this process. Tests
// take a lock themselves to play the installer that is already running.
#include "platform/instance_lock.h"

#include <set>

namespace platform {

namespace {

std::set<std::string>& Held() {
  static std::set<std::string> held;
  return held;
}

class NameLock : public InstanceLock {
 public:
  explicit NameLock(std::string name) : name_(std::move(name)) {}
  ~NameLock() override { Held().erase(name_); }

 private:
  std::string name_;
};

}  // namespace

std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name, int /*waitMs*/) {
  if (!Held().insert(name).second) return nullptr;
  return std::make_unique<NameLock>(name);
}

}  // namespace platform
