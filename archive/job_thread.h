// The thread of a worker that runs one job at a time beside the calling
// thread: made for the first job, idle between jobs, ended with its owner.
// The owner's shared state is guarded by mutex_, and changed_ is notified on
// every change of it; the job runs with the lock not held and ends when
// RunJob returns.
#pragma once

#include <functional>
#include <thread>

#include "archive/thread_sync.h"

namespace archive {

class TJobThread {
 public:
  TJobThread() = default;
  TJobThread(const TJobThread&) = delete;
  TJobThread& operator=(const TJobThread&) = delete;

 protected:
  // The owner's destructor calls Quit first: RunJob uses the owner.
  virtual ~TJobThread() = default;

  // Starts a job: prepare runs under the lock as the job becomes active,
  // and the thread is made when there is none yet. False when no thread can
  // be made: then no job runs.
  bool Launch(const std::function<void()>& prepare);
  // Asks the job to stop (stop_), if one runs, and waits until it has.
  void StopJob() noexcept;
  // Stops the job and ends the thread.
  void Quit() noexcept;
  // One job, on the thread; it watches stop_.
  virtual void RunJob() = 0;

  TSyncMutex mutex_;
  TSyncCondition changed_;
  // ---- guarded by mutex_
  bool active_ = false;  // a job runs
  bool stop_ = false;    // the caller wants it ended

 private:
  void Work();

  std::thread thread_;
  bool quit_ = false;  // guarded by mutex_
};

}  // namespace archive
