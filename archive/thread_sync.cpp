#include "archive/thread_sync.h"

#ifdef _WIN32
#include <windows.h>

namespace archive {

static_assert(sizeof(SRWLOCK) == sizeof(void*) && sizeof(CONDITION_VARIABLE) == sizeof(void*));

void TSyncMutex::lock() { AcquireSRWLockExclusive(static_cast<SRWLOCK*>(native())); }

void TSyncMutex::unlock() { ReleaseSRWLockExclusive(static_cast<SRWLOCK*>(native())); }

void TSyncCondition::wait(std::unique_lock<TSyncMutex>& lock) {
  SleepConditionVariableSRW(reinterpret_cast<CONDITION_VARIABLE*>(&state_),
                            static_cast<SRWLOCK*>(lock.mutex()->native()), INFINITE, 0);
}

void TSyncCondition::notify_all() {
  WakeAllConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&state_));
}

}  // namespace archive

#endif
