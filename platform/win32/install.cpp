// Wires the win32 implementations into platform::Current().
#include "platform/platform.h"
#include "platform/win32/win32.h"

namespace platform {

void InstallDefault() {
  static auto files = win32::MakeFiles();
  static auto registry = win32::MakeRegistry();
  static auto shell = win32::MakeShell();
  static auto text = win32::MakeText();
  static auto ui = win32::MakeUi();
  auto& s = Current();
  s.files = files.get();
  s.registry = registry.get();
  s.shell = shell.get();
  s.text = text.get();
  s.ui = ui.get();
}

}  // namespace platform
