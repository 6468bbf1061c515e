#include "archive/job_thread.h"

#include <system_error>

namespace archive {

bool TJobThread::Launch(const std::function<void()>& prepare) {
  {
    std::lock_guard<TSyncMutex> lock(mutex_);
    active_ = true;
    stop_ = false;
    if (prepare) prepare();
  }
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread(&TJobThread::Work, this);
    } catch (const std::system_error&) {
      std::lock_guard<TSyncMutex> lock(mutex_);
      active_ = false;
      return false;
    }
  }
  changed_.notify_all();
  return true;
}

void TJobThread::StopJob() noexcept {
  std::unique_lock<TSyncMutex> lock(mutex_);
  if (active_) {
    stop_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return !active_; });
  }
  stop_ = false;
}

void TJobThread::Quit() noexcept {
  StopJob();
  {
    std::lock_guard<TSyncMutex> lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TJobThread::Work() {
  std::unique_lock<TSyncMutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return quit_ || active_; });
    if (quit_) return;
    lock.unlock();
    RunJob();
    lock.lock();
    active_ = false;
    changed_.notify_all();
  }
}

}  // namespace archive
