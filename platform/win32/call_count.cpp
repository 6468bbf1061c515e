#include "platform/win32/call_count.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/win32/windows_api.h"

namespace platform::win32 {

namespace {

constexpr int kKinds = static_cast<int>(CallKind::Count_);
const char* const kNames[kKinds] = {"opens",      "creates", "moves",       "deletes",
                                    "attributes", "times",   "probes",      "folders",
                                    "flushes",    "copies",  "enumerations"};

// The counts, and where they go at exit. Constructed before main (static
// initialisation of this file), so that every call of the run is counted.
class CallCounts {
 public:
  CallCounts() {
    const char* file = std::getenv("SETUP_WIN32_CALLS");
    if (file && *file) out_ = file;
    on_ = !out_.empty();
  }
  ~CallCounts() {
    if (out_.empty()) return;
    char exe[MAX_PATH] = "";
    const DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string program(exe, n < MAX_PATH ? n : 0);
    program = program.substr(program.find_last_of("\\/") + 1);
    std::string line = program;
    for (int k = 0; k < kKinds; ++k)
      line += std::string("\t") + kNames[k] + "=" + std::to_string(counts_[k].load());
    line += "\n";
    if (FILE* f = std::fopen(out_.c_str(), "ab")) {
      std::fwrite(line.data(), 1, line.size(), f);
      std::fclose(f);
    }
  }
  CallCounts(const CallCounts&) = delete;
  CallCounts& operator=(const CallCounts&) = delete;

  void Add(CallKind kind) {
    if (on_) counts_[static_cast<int>(kind)].fetch_add(1, std::memory_order_relaxed);
  }
  void Switch(bool on) {
    for (auto& count : counts_) count = 0;
    on_ = on;
  }
  long Of(CallKind kind) const { return counts_[static_cast<int>(kind)].load(); }

 private:
  std::string out_;
  std::atomic<bool> on_{false};
  std::atomic<long> counts_[kKinds] = {};
};

CallCounts counts;

}  // namespace

void CountCall(CallKind kind) { counts.Add(kind); }
void SetCallCounting(bool on) { counts.Switch(on); }
long CallsOf(CallKind kind) { return counts.Of(kind); }

}  // namespace platform::win32
