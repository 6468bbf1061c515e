#include "installer/run_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/platform.h"
#include "support/cp1251.h"

namespace installer {

namespace {

struct RunLogState {
  std::unique_ptr<RunLogSink> sink;
  std::function<std::string()> clock;
};

RunLogState& State() {
  static RunLogState state;
  return state;
}

std::string LocalTimeStamp() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(millis));
  return text;
}

class FileSink : public RunLogSink {
 public:
  explicit FileSink(std::unique_ptr<platform::File> file) : file_(std::move(file)) {}
  void WriteLine(const std::string& utf8) override {
    const std::string line = utf8 + "\r\n";
    // Another installer may append to the same file: always write at its end.
    file_->Seek(0, platform::SeekOrigin::End);
    file_->Write(line.data(), static_cast<int32_t>(line.size()));
  }

 private:
  std::unique_ptr<platform::File> file_;
};

}  // namespace

std::unique_ptr<RunLogSink> OpenRunLogFile(const std::string& path, std::string* errorText) {
  auto& files = platform::files();
  // A new file is created first, then opened again with sharing, so that the
  // log can be read while the installer writes it.
  if (!files.FileExists(path) && !files.Open(path, platform::OpenMode::Create, errorText)) {
    return nullptr;
  }
  auto file = files.Open(path, platform::OpenMode::WriteShared, errorText);
  if (!file) return nullptr;
  return std::make_unique<FileSink>(std::move(file));
}

void SetRunLogSink(std::unique_ptr<RunLogSink> sink) { State().sink = std::move(sink); }

bool RunLogActive() { return State().sink != nullptr; }

void SetRunLogClock(std::function<std::string()> clock) { State().clock = std::move(clock); }

void LogEvent(const char* kind, const std::string& ansiText) {
  RunLogState& state = State();
  if (!state.sink) return;
  std::string text;
  for (size_t i = 0; i < ansiText.size(); ++i) {
    const char c = ansiText[i];
    if (c == '\r' && i + 1 < ansiText.size() && ansiText[i + 1] == '\n')
      continue;  // CR LF: one blank
    text += static_cast<unsigned char>(c) < ' ' ? ' ' : c;
  }
  const std::string stamp = state.clock ? state.clock() : LocalTimeStamp();
  state.sink->WriteLine(stamp + " " + kind + " " + support::Utf8FromCp1251(text));
}

}  // namespace installer
