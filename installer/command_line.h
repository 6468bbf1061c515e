// The command line of setup.exe: the switches that let administrators
// install without a person at the machine. Names follow the convention of
// other Windows installers, are matched without regard to letter case and
// may start with "/" or "-"; values follow "=" and may be in double quotes:
//
//   setup.exe /VERYSILENT /SUPPRESSMSGBOXES /DIR="C:\Program Files\Volmarix" /LOG="C:\setup.log"
//
// The switches take precedence over the settings file, which takes
// precedence over the product profile.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace installer {

// Whose Start-menu and desktop folders the shortcuts go to, as /ALLUSERS and
// /CURRENTUSER ask. Only recorded so far: the shortcuts still go where the
// product profile puts them whatever the switch says.
enum class UserScope {
  Unset,        // neither switch
  AllUsers,     // /ALLUSERS: the folders common to all users
  CurrentUser,  // /CURRENTUSER: the folders of the user who runs the installer
};

// The longest /DIR accepted. The staging folder "\TEMP\" and the archive's
// member names go below it, and a Windows path holds at most 259
// characters: 200 leaves 59 for them (53 for the deepest member's path).
// The deepest member is not known before the run reads the archive, so the
// bound is fixed here.
constexpr size_t kMaxInstallDirLength = 200;

struct SetupSwitches {
  bool silent = false;                     // /SILENT, also set by /VERYSILENT: no main window
  bool verySilent = false;                 // /VERYSILENT: no window at all
  bool suppressMsgBoxes = false;           // /SUPPRESSMSGBOXES: no box waits for a person
  bool noIcons = false;                    // /NOICONS: no Start-menu or desktop shortcuts
  bool noRun = false;                      // /NORUN: no post-install program
  bool noRestart = false;                  // /NORESTART: the machine is not restarted (it never is)
  bool help = false;                       // /? or /HELP
  UserScope userScope = UserScope::Unset;  // /ALLUSERS or /CURRENTUSER
  std::optional<std::string> dir;          // /DIR: the install folder
  std::optional<std::vector<std::string>> components;  // /COMPONENTS: the chosen set
  std::string logFile;                                 // /LOG=file: the run log; empty: none
  bool logInTemp = false;  // /LOG without a file: a new log in the folder for temporary files
  // Each switch as understood ("/DIR=C:\x"), for the run log.
  std::vector<std::string> understood;

  // Message boxes are answered without a person only in a silent run.
  bool BoxesSuppressed() const { return silent && suppressMsgBoxes; }
};

// Splits a command line into arguments: blanks separate them, double quotes
// group blanks into an argument and are dropped, and a backslash is an
// ordinary character, so that /DIR="C:\" names the root of drive C. False
// when a double quote is left open (the rest then forms the last argument).
bool SplitCommandLine(const std::string& line, std::vector<std::string>& args);

// Parses the command line without the program's own name. Returns false with
// a message (ANSI) naming the first unknown, repeated or conflicting switch
// or malformed value; the arguments after it are still read, so that
// /SUPPRESSMSGBOXES, /VERYSILENT and /LOG apply to the report of the error.
// A repeated switch keeps its first value. /SP-, /NOCANCEL and
// /NOCLOSEAPPLICATIONS, which administrators pass to other installers, are
// accepted and change nothing.
bool ParseSwitches(const std::string& commandLine, SetupSwitches& switches, std::string& error);

// The list of switches and exit codes that /? shows, in Russian (ANSI).
std::string SwitchHelpText();

}  // namespace installer
