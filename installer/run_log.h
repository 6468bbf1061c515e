// The run log that the /LOG switch asks for: a text file in UTF-8 with one
// line per event, each starting with the local time to the millisecond, its
// offset from UTC and a one-word event kind, so that deployment tools can
// pick the lines they need and put the logs of machines in different time
// zones in order:
//
//   2026-12-08 14:03:05.120 +0300 CHECK write test of "C:\Program Files\Volmarix": passed
//
// Anything may record an event at any time with LogEvent; without /LOG no
// sink is attached and LogEvent does nothing. An existing file is appended
// to, each line in one append-only write, so that installers started with
// the same log (one per machine, writing to a share) add their lines
// without writing over each other's; other programs may read the file while
// the installer runs. A log that cannot be opened is left out: the run goes
// on as it would without /LOG.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace installer {

// Where the lines of the run log go.
class RunLogSink {
 public:
  virtual ~RunLogSink() = default;
  // One line, UTF-8, without its line end. Failures are not reported: the
  // log never stops an installation.
  virtual void WriteLine(const std::string& utf8) = 0;
};

// A sink that appends CR LF-ended lines to a file through the platform's
// files (OpenMode::Append), creating the file when it is missing. Null,
// with the system's error text, when the file can be neither opened nor
// created.
std::unique_ptr<RunLogSink> OpenRunLogFile(const std::string& path, std::string* errorText);

// Where a /LOG without a file name writes:
// "<folder>\<product> Setup Log <YYYY-MM-DD> #NNN.txt", with today's date by
// the run log's clock and NNN the first of 001 to 999 whose file does not
// exist yet. Characters that no file name holds become "_". Empty when all
// 999 exist.
std::string DefaultRunLogPath(const std::string& folder, const std::string& product);

// Attaches the process-wide run log to sink; null detaches it.
void SetRunLogSink(std::unique_ptr<RunLogSink> sink);
bool RunLogActive();

// Event kinds, one upper-case word each.
namespace log_event {
inline constexpr const char* kStart = "START";            // program, command line
inline constexpr const char* kSwitch = "SWITCH";          // one switch as understood
inline constexpr const char* kSetting = "SETTING";        // a setting in effect
inline constexpr const char* kCheck = "CHECK";            // a start-up or Install command check
inline constexpr const char* kMessage = "MESSAGE";        // a message box and its answer
inline constexpr const char* kRetry = "RETRY";            // an automatic retry of a file in use
inline constexpr const char* kRun = "RUN";                // the installation run starts
inline constexpr const char* kVolume = "VOLUME";          // an archive volume opened
inline constexpr const char* kStaged = "STAGED";          // a member written to the staging folder
inline constexpr const char* kPlaced = "PLACED";          // a file put in place
inline constexpr const char* kKept = "KEPT";              // an existing kept file left alone
inline constexpr const char* kNotUpdated = "NOTUPDATED";  // a file that could not be updated
inline constexpr const char* kRestart = "RESTART";        // a file put in place at the next restart
inline constexpr const char* kNotCreated = "NOTCREATED";  // a file that could not be created
inline constexpr const char* kAssociation = "ASSOC";      // a file association written
inline constexpr const char* kShortcut = "LINK";          // a shortcut made or failed
inline constexpr const char* kRollback = "ROLLBACK";      // the run is rolled back
inline constexpr const char* kNotRestored = "NOTBACK";    // a change the rollback could not undo
inline constexpr const char* kRecovery = "RECOVERY";      // an interrupted earlier run undone
inline constexpr const char* kError = "ERROR";            // an unexpected failure
inline constexpr const char* kOutcome = "OUTCOME";        // how the run ended
inline constexpr const char* kExit = "EXIT";              // the process exit code
}  // namespace log_event

// Records one event: its kind and an ANSI text. Line breaks and other
// control characters of the text become blanks, so each event stays one line.
void LogEvent(const char* kind, const std::string& ansiText);

// The time stamp of each line. Empty: the local time and its offset from
// UTC as "YYYY-MM-DD HH:MM:SS.mmm +hhmm". Tests install a fixed one.
void SetRunLogClock(std::function<std::string()> clock);

// The local time as the run log writes it, "2026-12-10 12:13:55.297 +0300",
// for the moment given in milliseconds since 1970 (UTC).
std::string RunLogTimeStamp(int64_t unixMillis);

}  // namespace installer
