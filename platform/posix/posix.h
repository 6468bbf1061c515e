// Controls of the posix platform for tests and the native tools: where the
// Windows drives live, what the simulated system reports, what it recorded,
// and switches that make single operations fail.
//
// Paths: "X:\a\b" is DriveRoot()/x/a/b, "\\server\share" is
// DriveRoot()/unc/server/share, an absolute Linux path ("/...") is used as is
// and anything else is relative to the working directory. "\" becomes "/".
// Every path is Windows-1251, Linux paths included (a native tool converts
// its UTF-8 arguments with support::Cp1251 first); names are stored as UTF-8
// on Linux. Each component is matched without regard to letter case, in
// listings of the folders on the way that the kernel's change notices keep
// current; where there are none, the exact path is tried first, then a
// cached listing of each folder.
//
// Attributes: read-only is the owner's write permission bit (and is honoured
// even for root). Hidden, system and archive live in a table of this process
// keyed by device and inode, so they round-trip within one process only; a
// file without an entry reports archive, as a freshly written Windows file does.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace platform::posix {

// ------------------------------------------------------------ paths

// The folder whose sub-folders "c", "d", ... are the drives. The default is
// a folder of this process under /tmp, removed when the process ends; an
// empty linuxDir goes back to it. A given folder is created but never removed.
void SetDriveRoot(const std::string& linuxDir);
std::string DriveRoot();

// The Linux path of a Windows path, resolved without regard to letter case
// as far as it exists (the rest is kept as given).
std::string LinuxPath(const std::string& windowsPath);

// ------------------------------------------------------------ faults

// A full disk (fullDisk, freeBytes) also cuts CopyFile short, and with it
// MoveFile to another drive, which copies as MoveFileA does. Failures are
// reported through Files::LastError with the texts Windows gives.
struct Faults {
  bool fullDisk = false;  // every File::Write writes nothing
  // When not negative, the bytes that writes may still add before the disk
  // is full; writes beyond it are short.
  int64_t freeBytes = -1;
  // Files whose names end so (e.g. ".journal") write beside the limits
  // above: tests that fill the disk with a run's files leave it out.
  std::string uncountedSuffix;
  // MoveFile and ReplaceFile from or to these paths fail (access denied).
  std::vector<std::string> moveFails;
  // Files in use by another program: DeleteFile fails, and so does moving
  // them away or replacing them (a sharing violation).
  std::vector<std::string> deleteFails;
  // Files of a running program: they can be renamed and linked, but not
  // deleted or replaced (access denied), as Windows treats a mapped image.
  std::vector<std::string> running;
  bool registryReadOnly = false;                       // registry writes and write access refused
  bool shellLinkFails = false;                         // CreateShellLink reports failure
  ResourceStatus resourceStatus = ResourceStatus::Ok;  // forced FindResource result
};
// The switches in force; paths in them are Windows paths compared without
// regard to letter case.
Faults& faults();
// The paths given to Files::DeleteAtRestart, in order (cleared by tests).
std::vector<std::string>& ScheduledDeletions();
// The moves given to Files::ReplaceAtRestart (from, to), in order.
std::vector<std::pair<std::string, std::string>>& ScheduledReplacements();

// ------------------------------------------------------------ registry

struct RegistryEntry {
  RootKey root;
  std::string key;   // as first created
  std::string name;  // empty: the default value
  std::string value;
};
// Every value in the registry, in key order.
std::vector<RegistryEntry> RegistryContents();
// Every key in the registry, values or not, in key order.
std::vector<std::pair<RootKey, std::string>> RegistryKeys();
void ClearRegistry();
// Writes a value (creating the key) regardless of faults().
void SetRegistryString(RootKey root, const std::string& key, const std::string& name,
                       const std::string& value);

// ------------------------------------------------------------ shell

// What the simulated system reports. Paths are Windows paths; empty resets
// to the default under the drive root.
void SetExePath(const std::string& path);    // default C:\SETUP\setup.exe
void SetSystemDir(const std::string& path);  // default C:\WINDOWS\system32
void SetSpecialFolder(SpecialFolder folder, const std::string& path);  // "" = unknown
void ResetSpecialFolders();  // C:\...\Start Menu\Programs and C:\...\Desktop
// Whether the program runs as the machine account (default: no, a user).
void SetMachineAccount(bool machine);
void SetDriveType(const std::string& root, DriveType type);  // default Fixed
// Label of a drive; notReady makes GetVolumeLabel fail.
void SetVolumeLabel(const std::string& root, const std::string& label, bool notReady = false);

struct RecordedLink {
  std::string linkPath;
  ShellLink link;
};
std::vector<RecordedLink> RecordedLinks();
std::vector<ExecuteRequest> RecordedExecutions();
// Forgets recorded links and executions, and resets every setting above.
void ResetShell();

}  // namespace platform::posix
