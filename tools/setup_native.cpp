// setup_native: the installer's program on the posix platform, for timing
// and trying out whole installation runs on Linux. It runs exactly what
// setup.exe runs after its own start-up, from the command line to the exit
// code, with no window: the main window cannot be shown, so only silent runs
// get past the start-up.
//
//   setup_native [--drives DIR] EXE [SWITCHES...]
//
// EXE is the path of the installer inside its distribution folder (the
// volumes are found beside it), a Linux path or a Windows one; DIR is the
// folder that holds the drives ("C:\x" is DIR/c/x; default: a folder of this
// process under /tmp, removed when it ends). The switches are setup.exe's,
// e.g. /VERYSILENT /SUPPRESSMSGBOXES /DIR=C:\Volmarix /LOG=C:\setup.log.
// The exit status is the installer's exit code.
#include <cstdio>
#include <string>

#include "installer/profile.h"
#include "installer/program_run.h"
#include "platform/platform.h"
#include "platform/posix/posix.h"
#include "support/cp1251.h"

int main(int argc, char** argv) {
  int i = 1;
  std::string drives;
  if (i + 1 < argc && std::string(argv[i]) == "--drives") {
    drives = argv[i + 1];
    i += 2;
  }
  if (i >= argc) {
    std::fprintf(stderr, "usage: setup_native [--drives DIR] EXE [SWITCHES...]\n");
    return 1;
  }
  platform::InstallDefault();
  if (!drives.empty()) platform::posix::SetDriveRoot(drives);
  // The installer takes its folder apart at "\", as Windows paths have it.
  std::string exe = support::Cp1251(argv[i++]);
  for (char& c : exe) {
    if (c == '/') c = '\\';
  }
  platform::posix::SetExePath(exe);

  // The command line as Windows passes it: arguments with blanks in quotes.
  std::string commandLine;
  for (; i < argc; ++i) {
    std::string arg = support::Cp1251(argv[i]);
    if (arg.find(' ') != std::string::npos) {
      const size_t eq = arg.find('=');
      arg = eq == std::string::npos ? "\"" + arg + "\""
                                    : arg.substr(0, eq + 1) + "\"" + arg.substr(eq + 1) + "\"";
    }
    commandLine += (commandLine.empty() ? "" : " ") + arg;
  }
  return installer::RunProgram(commandLine, installer::ShippedProduct(),
                               [](platform::Form&) { return 1; });
}
