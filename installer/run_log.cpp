#include "installer/run_log.h"

#include <chrono>
#include <cstdio>
#include <cstring>
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

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

std::string LocalTimeStamp() {
  using namespace std::chrono;
  return RunLogTimeStamp(
      duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

class FileSink : public RunLogSink {
 public:
  explicit FileSink(std::unique_ptr<platform::File> file) : file_(std::move(file)) {}
  void WriteLine(const std::string& utf8) override {
    // One write of the whole line on an append-only handle: another
    // installer appending to the same file cannot come between its parts.
    const std::string line = utf8 + "\r\n";
    file_->Write(line.data(), static_cast<int32_t>(line.size()));
  }

 private:
  std::unique_ptr<platform::File> file_;
};

}  // namespace

std::unique_ptr<RunLogSink> OpenRunLogFile(const std::string& path, std::string* errorText) {
  auto file = platform::files().Open(path, platform::OpenMode::Append, errorText);
  if (!file) return nullptr;
  return std::make_unique<FileSink>(std::move(file));
}

std::string DefaultRunLogPath(const std::string& folder, const std::string& product) {
  std::string name = product;
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < ' ' || std::strchr("<>:\"/\\|?*", c)) c = '_';
  }
  const RunLogState& state = State();
  const std::string date = (state.clock ? state.clock() : LocalTimeStamp()).substr(0, 10);
  const std::string base = folder + "\\" + name + " Setup Log " + date + " #";
  for (int n = 1; n <= 999; ++n) {
    char number[8];
    std::snprintf(number, sizeof number, "%03d", n);
    const std::string path = base + number + ".txt";
    if (!platform::files().FileExists(path)) return path;
  }
  return "";
}

std::string RunLogTimeStamp(int64_t unixMillis) {
  const int64_t millis = ((unixMillis % 1000) + 1000) % 1000;
  const auto seconds = static_cast<std::time_t>((unixMillis - millis) / 1000);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  // The local time read as if it were UTC, less the moment itself: the offset.
  const int64_t asUtc =
      DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) * 86400 +
      local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
  const int64_t offsetMinutes = (asUtc - static_cast<int64_t>(seconds)) / 60;
  const int64_t absMinutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d %c%02d%02d",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(millis), offsetMinutes < 0 ? '-' : '+',
                static_cast<int>(absMinutes / 60), static_cast<int>(absMinutes % 60));
  return text;
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
