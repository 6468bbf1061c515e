// The instance lock of the win32 platform: a named mutex that exists as long
// as an installer holds a handle to it. Existence, not ownership, is the
// test: ownership of a mutex is per thread and recursive, so a second
// acquisition in the same thread would succeed, while a name that exists
// means another holder in any process. A holder that ended has closed its
// handle with its process, and the name is free again.
#include "platform/instance_lock.h"

#include "platform/win32/windows_api.h"

namespace platform {

namespace {

class MutexLock : public InstanceLock {
 public:
  explicit MutexLock(HANDLE mutex) : mutex_(mutex) {}
  ~MutexLock() override { CloseHandle(mutex_); }

 private:
  HANDLE mutex_;
};

}  // namespace

std::unique_ptr<InstanceLock> AcquireInstanceLock(const std::string& name, int waitMs) {
  constexpr int kPollMs = 100;
  for (int waited = 0;; waited += kPollMs) {
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    if (mutex && GetLastError() != ERROR_ALREADY_EXISTS) return std::make_unique<MutexLock>(mutex);
    if (mutex) CloseHandle(mutex);
    if (waited >= waitMs) return nullptr;
    Sleep(kPollMs);
  }
}

}  // namespace platform
