// The seam between the program and the operating system. The installer, the
// archive engine and the support library reach files, the registry, the shell,
// code-page text services and the user interface only through these interfaces.
//
// Two implementations exist: platform/win32 (the real Windows APIs) and
// platform/posix (Linux files with Windows paths translated, an in-memory
// registry, recorded shell actions and a scripted user interface for tests and
// the native tools). Native builds also have in-memory files under the posix
// rules (platform/memory) for the fuzz targets and tests that want them.
// All strings are 8-bit strings in the ANSI code page (Windows-1251) and all
// paths use "\" as separator (the posix platform also takes "/" and absolute
// Linux paths, still in Windows-1251; see platform/posix/posix.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------- files

// How a file is opened by the streams.
enum class OpenMode {
  ReadShareRead,  // read; others may read but not write (opening an archive)
  ReadExclusive,  // read; no sharing (opening another volume)
  Create,         // create or empty, then read/write (output files)
  CreateNew,      // as Create, but fails when the file exists (kept unless replacing is allowed)
  WriteShared,    // open an existing file for writing, sharing everything (setting times)
  // Append-only, creating the file when it is missing, sharing everything
  // (FILE_APPEND_DATA, O_APPEND): each Write lands at the file's end as it
  // is at that moment, in one step, so that handles of several processes
  // appending to one file never write over each other's data.
  Append,
};

// Whether a mode makes the file (Create, CreateNew).
inline bool Creates(OpenMode mode) {
  return mode == OpenMode::Create || mode == OpenMode::CreateNew;
}

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

// The position a seek by offset from base lands on, or -1 where it would
// fall before the start or past what a position can hold.
inline int64_t SeekPosition(int64_t base, int64_t offset) {
  if (offset > 0 && base > INT64_MAX - offset) return -1;
  return base + offset < 0 ? -1 : base + offset;
}

// An open file. Destroying it closes the handle.
class File {
 public:
  virtual ~File() = default;
  // Returns the bytes read (0 at the end of the file or on failure).
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Returns the bytes written (fewer than count on failure, e.g. a full disk).
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Returns the new position, or -1 on failure.
  virtual int64_t Seek(int64_t offset, SeekOrigin origin) = 0;
  virtual int64_t Size() = 0;
  // Last-write time through the handle, as an MS-DOS date (high word) and time
  // (low word) in local time. False when the system cannot tell.
  virtual bool GetDosTime(uint32_t& dosDateTime) = 0;
  virtual bool SetDosTime(uint32_t dosDateTime) = 0;
  // Sets the attribute bits through the handle, as Files::SetAttributes would
  // by path once the file is closed. False when this handle cannot (the
  // caller then sets them by path after closing) or the system refuses.
  virtual bool SetAttributes(uint32_t attributes) = 0;
  // Writes what the system still buffers for the file to the disk
  // (FlushFileBuffers); false on failure.
  virtual bool Flush() = 0;
};

// The bytes of a file from its position to its end, or up to the first read
// that fails.
std::string ReadToEnd(File& file);

// Windows file attribute bits, as stored in ZIP external attributes.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
constexpr uint32_t kAttrNormal = 0x80;
constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

// What the system said about the last file operation that failed.
struct FileError {
  bool diskFull = false;  // the disk had no room left
  std::string text;       // the system's message, without a final period
};

struct FindData {
  std::string name;  // name only, no folder
  uint32_t attributes = 0;
  int64_t size = 0;
  uint32_t dosDateTime = 0;
};

class Files {
 public:
  virtual ~Files() = default;
  // Opens a file. On failure returns null and puts the system's error text
  // (e.g. "The system cannot find the file specified") into errorText.
  virtual std::unique_ptr<File> Open(const std::string& path, OpenMode mode,
                                     std::string* errorText) = 0;
  virtual bool FileExists(const std::string& path) = 0;  // a file, not a folder
  virtual bool DirectoryExists(const std::string& path) = 0;
  virtual bool CreateDir(const std::string& path) = 0;  // the parent must exist
  // Creates a folder with all missing parents; reports nothing, callers test.
  // Built on DirectoryExists and CreateDir, so both implementations share it.
  virtual void ForceDirectories(const std::string& path);
  virtual bool DeleteFile(const std::string& path) = 0;
  virtual bool RemoveDir(const std::string& path) = 0;  // empty folders only
  // MoveFileA semantics: fails when the target exists; a file moved to
  // another volume is copied and then deleted.
  virtual bool MoveFile(const std::string& from, const std::string& to) = 0;
  // Moves a file over an existing one in one step, and returns only once
  // the move is on the disk (MoveFileExA with MOVEFILE_REPLACE_EXISTING and
  // MOVEFILE_WRITE_THROUGH). Fails when the target is read-only or in use;
  // the target is then unchanged.
  virtual bool ReplaceFile(const std::string& from, const std::string& to) = 0;
  // As ReplaceFile, without waiting for the disk: one rename step that puts
  // a file of the same volume in place of another, for the installation's
  // many files (MoveFileExA with MOVEFILE_REPLACE_EXISTING). Fails when the
  // target is read-only or in use (a running program cannot be replaced),
  // or the files are on different volumes; the target is then unchanged.
  virtual bool MoveOver(const std::string& from, const std::string& to) = 0;
  // Gives an existing file a second name on the same volume (CreateHardLinkA);
  // both names then stand for one file. Fails where the volume has no hard
  // links (FAT) or the new name exists.
  virtual bool HardLink(const std::string& existing, const std::string& newName) = 0;
  // Has the system delete a file, or an empty folder, at the next restart
  // (MoveFileExA with MOVEFILE_DELAY_UNTIL_REBOOT): for files of a running
  // program, which can be renamed but not deleted.
  virtual bool DeleteAtRestart(const std::string& path) = 0;
  // Has the system move from over to at the next restart (MoveFileExA with
  // MOVEFILE_DELAY_UNTIL_REBOOT and MOVEFILE_REPLACE_EXISTING), in the order
  // the moves were scheduled: for a file that a running program holds.
  virtual bool ReplaceAtRestart(const std::string& from, const std::string& to) = 0;
  virtual bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) = 0;
  // GetFileAttributesA semantics: kInvalidAttributes when the path is missing.
  virtual uint32_t GetAttributes(const std::string& path) = 0;
  virtual bool SetAttributes(const std::string& path, uint32_t attributes) = 0;
  // Last-write time by name, MS-DOS format, local time.
  virtual bool GetDosTime(const std::string& path, uint32_t& dosDateTime) = 0;
  virtual bool SetDosTime(const std::string& path, uint32_t dosDateTime) = 0;
  // Entries of a folder whose names match a mask with "*" and "?" (as
  // FindFirstFileA), without "." and "..".
  virtual std::vector<FindData> Enumerate(const std::string& folder, const std::string& mask) = 0;
  // A folder for temporary files (no trailing "\").
  virtual std::string TempDir() = 0;
  // The error of the last call of these files, or of a File they opened,
  // that failed on this thread (Open, Write, CreateDir, DeleteFile,
  // MoveFile, ReplaceFile, CopyFile). Calls that succeed leave it alone.
  virtual FileError LastError() = 0;
};

// ---------------------------------------------------------------- registry

enum class RootKey { LocalMachine, ClassesRoot, CurrentUser };

// Access masks as in the Windows API.
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyWrite = 0x20006;
constexpr uint32_t kKeyAllAccess = 0xF003F;

// A value as the registry stores it: its type (REG_SZ = 1, ...) and its
// bytes, a string's terminating zero included.
struct RegistryValue {
  uint32_t type = 0;
  std::string data;
};
constexpr uint32_t kRegString = 1;  // REG_SZ

class Registry {
 public:
  virtual ~Registry() = default;
  // Opens the key without creating it, with the given access mask, and closes it.
  virtual bool OpenKey(RootKey root, const std::string& key, uint32_t access) = 0;
  bool KeyExists(RootKey root, const std::string& key) { return OpenKey(root, key, kKeyRead); }
  // Reads a string value (empty name: the default value). False when missing.
  virtual bool ReadString(RootKey root, const std::string& key, const std::string& name,
                          std::string& value) = 0;
  // Creates the key (with missing parents) and writes its default string value.
  virtual bool WriteDefault(RootKey root, const std::string& key, const std::string& value) = 0;
  // A value of any type, read and written as stored (empty name: the
  // default value). Reading fails when the key or the value is missing;
  // writing creates the key.
  virtual bool ReadValue(RootKey root, const std::string& key, const std::string& name,
                         RegistryValue& value) = 0;
  virtual bool WriteValue(RootKey root, const std::string& key, const std::string& name,
                          const RegistryValue& value) = 0;
  // Deletes one value of a key; false when it cannot be deleted or is missing.
  virtual bool DeleteValue(RootKey root, const std::string& key, const std::string& name) = 0;
  // Deletes a key that has no sub-keys, with its values (RegDeleteKeyA).
  virtual bool DeleteKey(RootKey root, const std::string& key) = 0;
};

// ---------------------------------------------------------------- shell and system

// The user's Start-menu programs and desktop folders, and the ones every
// user of the machine sees (CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY).
enum class SpecialFolder { Programs, Desktop, CommonPrograms, CommonDesktop };

enum class DriveType {
  Unknown = 0,
  NoRootDir = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6
};

struct ShellLink {
  std::string target;
  std::string arguments;
  std::string workingDir;
  std::string description;
  std::string iconPath;
  int iconIndex = 0;
};

struct ExecuteRequest {
  std::string file;
  std::string parameters;
  std::string directory;
  int showCommand = 1;  // SW_SHOWNORMAL
};

enum class ResourceStatus { Ok, NotFound, LoadFailed, LockFailed };

class Shell {
 public:
  virtual ~Shell() = default;
  virtual std::string ExePath() = 0;    // full path of the running executable
  virtual std::string SystemDir() = 0;  // GetSystemDirectoryA
  // Empty when the folder cannot be determined.
  virtual std::string SpecialFolderPath(SpecialFolder folder) = 0;
  // Whether the program runs as the machine account (LocalSystem), as
  // deployment tools and computer startup scripts start it.
  virtual bool RunsAsMachineAccount() = 0;
  // Saves a shell link (.lnk) at linkPath. False when it cannot be created or saved.
  virtual bool CreateShellLink(const ShellLink& link, const std::string& linkPath) = 0;
  // Starts a program (ShellExecuteExA semantics), does not wait for it.
  virtual bool Execute(const ExecuteRequest& request) = 0;
  virtual DriveType GetDriveType(const std::string& root) = 0;  // root like "A:\"
  // Volume label of a drive root; false when the drive is not ready.
  virtual bool GetVolumeLabel(const std::string& root, std::string& label) = 0;
  // A custom resource of the running executable (type and name as strings,
  // matched without regard to letter case). On Ok, data/size address the bytes,
  // which stay valid until the process ends.
  virtual ResourceStatus FindResource(const std::string& type, const std::string& name,
                                      const uint8_t*& data, uint32_t& size) = 0;
  // A message of the executable's ordinary string table; empty when absent.
  virtual std::string LoadString(uint32_t id) = 0;
};

// ---------------------------------------------------------------- text

class Text {
 public:
  virtual ~Text() = default;
  // OemToCharA: OEM code page (866) to ANSI (1251).
  virtual std::string OemToAnsi(const std::string& oem) = 0;
  // UTF-8 to the ANSI code page; what the code page cannot hold, and every
  // malformed byte, becomes "_".
  virtual std::string Utf8ToAnsi(const std::string& utf8) = 0;
  // Upper case by the ANSI code page (CharUpperBuffA).
  virtual std::string UpperCase(const std::string& s) = 0;
  // Lower case by the ANSI code page (CharLowerBuffA).
  virtual std::string LowerCase(const std::string& s) = 0;
  // CompareStringA with the user's default locale: negative, 0 or positive.
  virtual int Compare(const std::string& a, const std::string& b, bool ignoreCase) = 0;
};

// ---------------------------------------------------------------- user interface

// The four kinds of message box, each with its own caption; Custom uses the
// caption given by the caller (the archive engine's own boxes), without an
// icon; ApplicationError is the application's own error box for a failure
// the program did not handle itself: the error icon and the application
// title as caption.
enum class MessageKind { Warning, Error, Information, Confirmation, Custom, ApplicationError };

// Buttons of a message box; a box shows one or more of them.
enum Button : unsigned {
  kButtonNone = 0,
  kButtonYes = 1u << 0,
  kButtonNo = 1u << 1,
  kButtonOk = 1u << 2,
  kButtonCancel = 1u << 3,
  kButtonRetry = 1u << 4,
  kButtonIgnore = 1u << 5,  // "go on past the failure"
};

struct MessageBoxRequest {
  MessageKind kind = MessageKind::Information;
  std::string caption;  // used when kind is Custom
  std::string text;
  unsigned buttons = kButtonOk;
  unsigned defaultButton = kButtonNone;  // none: the first shown
};

enum class Cursor { Default, Wait };

class Form;  // a window described as data; see installer/

class Ui {
 public:
  virtual ~Ui() = default;
  // Shows a modal message box and returns the button pressed.
  virtual Button MessageBox(const MessageBoxRequest& request) = 0;
  // Folder chooser; folder holds the start folder and receives the choice.
  virtual bool ChooseFolder(const std::string& title, std::string& folder) = 0;
  // File-open dialog; file receives the chosen path. filter lists
  // "description|mask" pairs separated by "|", e.g. "Text|*.txt|All|*.*".
  virtual bool OpenFileDialog(const std::string& title, const std::string& filter,
                              std::string& file) = 0;
  // Processes pending window messages (keeps windows alive during long work).
  virtual void ProcessMessages() = 0;
  virtual void SetCursor(Cursor cursor) = 0;
  // Shows a form modally; returns its modal result. The win32 platform hands
  // the form to the presenter that the window layer installs
  // (platform::win32::SetFormPresenter); the scripted one to the test's handler.
  virtual int ShowModal(Form& form) = 0;
  // While on, the program asks Windows not to end the session under it
  // (WM_QUERYENDSESSION is refused and ShutdownBlockReasonCreate gives
  // reason); off lets it go again. Nothing where there is no session.
  virtual void BlockShutdown(bool on, const std::string& reason) {
    (void)on;
    (void)reason;
  }
};

// ---------------------------------------------------------------- access

// The implementations in use. The program installs one set at start-up; tests
// may replace single members (e.g. a scripted Ui) and restore them afterwards.
struct Services {
  Files* files = nullptr;
  Registry* registry = nullptr;
  Shell* shell = nullptr;
  Text* text = nullptr;
  Ui* ui = nullptr;
};

Services& Current();
inline Files& files() { return *Current().files; }
inline Registry& registry() { return *Current().registry; }
inline Shell& shell() { return *Current().shell; }
inline Text& text() { return *Current().text; }
inline Ui& ui() { return *Current().ui; }

// Installs the default implementations of this build (win32 or posix).
void InstallDefault();

}  // namespace platform
