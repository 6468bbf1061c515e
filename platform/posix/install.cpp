// Wires the posix implementations into platform::Current(). The user
// interface is a scripted one with an empty script: a native program that
// shows a message box without a script gets it recorded as unexpected.
#include "platform/platform.h"
#include "platform/posix/files_internal.h"
#include "platform/posix/posix.h"
#include "platform/scripted_ui.h"

namespace platform {

void InstallDefault() {
  static auto files = posix::MakeFiles();
  static auto registry = posix::MakeRegistry();
  static auto shell = posix::MakeShell();
  static auto text = posix::MakeText();
  static ScriptedUi ui;
  auto& s = Current();
  s.files = files.get();
  s.registry = registry.get();
  s.shell = shell.get();
  s.text = text.get();
  s.ui = &ui;
}

}  // namespace platform

namespace platform::posix {

Faults& faults() {
  static Faults f;
  return f;
}

std::vector<std::string>& ScheduledDeletions() {
  static std::vector<std::string> paths;
  return paths;
}

std::vector<std::pair<std::string, std::string>>& ScheduledReplacements() {
  static std::vector<std::pair<std::string, std::string>> moves;
  return moves;
}

}  // namespace platform::posix
