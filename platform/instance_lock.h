// A machine-wide lock that lets one installer run at a time. The win32
// platform takes a named mutex; the posix one keeps the names held by this
// process, which is all a test of one process needs.
#pragma once

#include <memory>
#include <string>

namespace platform {

// Held while it lives; destroying it lets the next installer start.
class InstanceLock {
 public:
  virtual ~InstanceLock() = default;
};

// Takes the lock called name. An installer that holds it and is just ending
// is given up to waitMs milliseconds to let go. Null when another instance
// holds it after that.
std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name, int waitMs);

}  // namespace platform
