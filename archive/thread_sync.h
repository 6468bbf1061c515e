// The lock and the condition that the engine's worker threads share with the
// calling thread. On Windows they are the system's slim reader/writer lock
// and condition variable: the C++ library's own there are built on kernel
// semaphores and events, and every hand-over of a chunk became a trip
// through the kernel (under Wine, a request to its server). Elsewhere they
// are the standard ones.
#pragma once

#include <mutex>

#ifndef _WIN32
#include <condition_variable>
#endif

namespace archive {

#ifdef _WIN32

class TSyncMutex {
 public:
  TSyncMutex() = default;
  TSyncMutex(const TSyncMutex&) = delete;
  TSyncMutex& operator=(const TSyncMutex&) = delete;
  void lock();
  void unlock();
  void* native() { return &state_; }

 private:
  void* state_ = nullptr;  // an SRWLOCK, whose initial state is all zero
};

class TSyncCondition {
 public:
  TSyncCondition() = default;
  TSyncCondition(const TSyncCondition&) = delete;
  TSyncCondition& operator=(const TSyncCondition&) = delete;
  // Releases the lock while asleep and holds it again on return; may
  // return without a notification, as any condition variable.
  void wait(std::unique_lock<TSyncMutex>& lock);
  template <class Predicate>
  void wait(std::unique_lock<TSyncMutex>& lock, Predicate ready) {
    while (!ready()) wait(lock);
  }
  void notify_all();

 private:
  void* state_ = nullptr;  // a CONDITION_VARIABLE, whose initial state is all zero
};

#else

using TSyncMutex = std::mutex;
using TSyncCondition = std::condition_variable;

#endif

}  // namespace archive
