// Files of the win32 platform: the ANSI file APIs of Windows.
#include <vector>

#include "platform/platform.h"
#include "platform/win32/call_count.h"
#include "platform/win32/win32.h"
#include "platform/win32/windows_api.h"

namespace platform::win32 {

std::string ErrorText(DWORD code) {
  char* buffer = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n && buffer ? std::string(buffer, n) : "System error " + std::to_string(code);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

namespace {

// The error code of the last failed call of the files below, on this thread:
// later calls that succeed (closing a handle, deleting a cut-off copy) must
// not hide why the first one failed.
thread_local DWORD lastFailure = 0;

bool Fail() {
  lastFailure = GetLastError();
  return false;
}

bool Check(BOOL ok) { return ok ? true : Fail(); }

bool DosFromFileTime(const FILETIME& utc, uint32_t& dos) {
  FILETIME local;
  WORD date, time;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToDosDateTime(&local, &date, &time))
    return false;
  dos = (static_cast<uint32_t>(date) << 16) | time;
  return true;
}

bool FileTimeFromDos(uint32_t dos, FILETIME& utc) {
  FILETIME local;
  return DosDateTimeToFileTime(static_cast<WORD>(dos >> 16), static_cast<WORD>(dos & 0xFFFF),
                               &local) &&
         LocalFileTimeToFileTime(&local, &utc);
}

class Win32File : public File {
 public:
  Win32File(HANDLE h, bool writing) : h_(h), writing_(writing) {}
  ~Win32File() override { CloseHandle(h_); }

  int32_t Read(void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    DWORD done = 0;
    if (!ReadFile(h_, buffer, static_cast<DWORD>(count), &done, nullptr)) return 0;
    return static_cast<int32_t>(done);
  }

  int32_t Write(const void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    DWORD done = 0;
    if (!WriteFile(h_, buffer, static_cast<DWORD>(count), &done, nullptr)) Fail();
    return static_cast<int32_t>(done);
  }

  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    LARGE_INTEGER distance, result;
    distance.QuadPart = offset;
    const DWORD method = origin == SeekOrigin::Begin
                             ? FILE_BEGIN
                             : (origin == SeekOrigin::Current ? FILE_CURRENT : FILE_END);
    if (!SetFilePointerEx(h_, distance, &result, method)) return -1;
    return result.QuadPart;
  }

  int64_t Size() override {
    LARGE_INTEGER size;
    return GetFileSizeEx(h_, &size) ? size.QuadPart : -1;
  }

  bool GetDosTime(uint32_t& dosDateTime) override {
    CountCall(CallKind::Time);
    FILETIME write;
    return GetFileTime(h_, nullptr, nullptr, &write) && DosFromFileTime(write, dosDateTime);
  }

  bool SetDosTime(uint32_t dosDateTime) override {
    CountCall(CallKind::Time);
    FILETIME write;
    return FileTimeFromDos(dosDateTime, write) && SetFileTime(h_, nullptr, nullptr, &write);
  }

  // Through the handle (SetFileInformationByHandle with FILE_BASIC_INFO),
  // which spares the system a second open of the file by name. The bits are
  // those SetFileAttributes takes; where none is set the file becomes
  // "normal", as SetFileAttributes makes it, since 0 here would leave the
  // attributes as they are. Times of 0 stay as they are.
  bool SetAttributes(uint32_t attributes) override {
    // A handle opened for reading only cannot take them (Wine would).
    if (!writing_) return false;
    CountCall(CallKind::Attributes);
    constexpr uint32_t kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                   FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO info{};
    info.FileAttributes = attributes & kSettable ? attributes & kSettable : FILE_ATTRIBUTE_NORMAL;
    return SetFileInformationByHandle(h_, FileBasicInfo, &info, sizeof info) != 0;
  }

  bool Flush() override {
    CountCall(CallKind::Flush);
    return Check(FlushFileBuffers(h_));
  }

 private:
  HANDLE h_;
  bool writing_;
};

class Win32Files : public Files {
 public:
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode,
                             std::string* errorText) override {
    DWORD access = GENERIC_READ, share = 0, disposition = OPEN_EXISTING;
    switch (mode) {
      case OpenMode::ReadShareRead:
        share = FILE_SHARE_READ;
        break;
      case OpenMode::ReadExclusive:
        break;
      case OpenMode::Create:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = CREATE_ALWAYS;
        break;
      case OpenMode::CreateNew:
        access = GENERIC_READ | GENERIC_WRITE;
        disposition = CREATE_NEW;
        break;
      case OpenMode::WriteShared:
        access = GENERIC_WRITE;
        share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        break;
      case OpenMode::Append:
        // Without FILE_WRITE_DATA every WriteFile goes to the end of the
        // file as it is at that moment, in one step.
        access = FILE_APPEND_DATA;
        share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        disposition = OPEN_ALWAYS;
        break;
    }
    CountCall(disposition == OPEN_EXISTING ? CallKind::Open : CallKind::Create);
    HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      Fail();
      if (errorText) *errorText = ErrorText(lastFailure);
      return nullptr;
    }
    return std::make_unique<Win32File>(h, (access & (GENERIC_WRITE | FILE_APPEND_DATA)) != 0);
  }

  // Existence tests run on any drive letter (the start-up scan, the folder
  // chooser): an empty removable drive must answer "no" without a prompt.
  bool FileExists(const std::string& path) override {
    CountCall(CallKind::Probe);
    QuietCriticalErrors quiet;
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool DirectoryExists(const std::string& path) override {
    CountCall(CallKind::Probe);
    QuietCriticalErrors quiet;
    const DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool CreateDir(const std::string& path) override {
    CountCall(CallKind::Folder);
    return Check(CreateDirectoryA(path.c_str(), nullptr));
  }

  bool DeleteFile(const std::string& path) override {
    CountCall(CallKind::Delete);
    return Check(DeleteFileA(path.c_str()));
  }
  bool RemoveDir(const std::string& path) override {
    CountCall(CallKind::Delete);
    return RemoveDirectoryA(path.c_str()) != 0;
  }
  bool MoveFile(const std::string& from, const std::string& to) override {
    CountCall(CallKind::Move);
    return Check(MoveFileA(from.c_str(), to.c_str()));
  }
  bool ReplaceFile(const std::string& from, const std::string& to) override {
    return Replace(from, to, MOVEFILE_WRITE_THROUGH);
  }
  bool MoveOver(const std::string& from, const std::string& to) override {
    return Replace(from, to, 0);
  }
  bool HardLink(const std::string& existing, const std::string& newName) override {
    CountCall(CallKind::Create);
    return Check(CreateHardLinkA(newName.c_str(), existing.c_str(), nullptr));
  }
  bool DeleteAtRestart(const std::string& path) override {
    CountCall(CallKind::Delete);
    return Check(MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  }
  bool ReplaceAtRestart(const std::string& from, const std::string& to) override {
    CountCall(CallKind::Move);
    return Check(MoveFileExA(from.c_str(), to.c_str(),
                             MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
  }
  bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) override {
    CountCall(CallKind::Copy);
    return Check(CopyFileA(from.c_str(), to.c_str(), failIfExists));
  }
  uint32_t GetAttributes(const std::string& path) override {
    CountCall(CallKind::Attributes);
    QuietCriticalErrors quiet;
    return GetFileAttributesA(path.c_str());
  }
  bool SetAttributes(const std::string& path, uint32_t attributes) override {
    CountCall(CallKind::Attributes);
    return SetFileAttributesA(path.c_str(), attributes) != 0;
  }

  bool GetDosTime(const std::string& path, uint32_t& dosDateTime) override {
    CountCall(CallKind::Time);
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
           DosFromFileTime(data.ftLastWriteTime, dosDateTime);
  }

  bool SetDosTime(const std::string& path, uint32_t dosDateTime) override {
    auto f = Open(path, OpenMode::WriteShared, nullptr);
    return f && f->SetDosTime(dosDateTime);
  }

  std::vector<FindData> Enumerate(const std::string& folder, const std::string& mask) override {
    std::vector<FindData> result;
    WIN32_FIND_DATAA fd;
    const std::string sep = !folder.empty() && folder.back() == '\\' ? "" : "\\";
    QuietCriticalErrors quiet;
    CountCall(CallKind::Enumerate);
    HANDLE h = FindFirstFileA((folder + sep + mask).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return result;
    do {
      const std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      FindData d;
      d.name = name;
      d.attributes = fd.dwFileAttributes;
      d.size = (static_cast<int64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
      DosFromFileTime(fd.ftLastWriteTime, d.dosDateTime);
      result.push_back(std::move(d));
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return result;
  }

  std::string TempDir() override {
    char buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof buffer, buffer);
    std::string dir = n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string("C:\\TEMP");
    while (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
    return dir;
  }

  // Windows refuses to move over a read-only file; Wine lets the move
  // through. The target's attributes are asked first so that a read-only
  // target is kept on both, as the contract says.
  bool Replace(const std::string& from, const std::string& to, DWORD flags) {
    CountCall(CallKind::Attributes);
    const DWORD target = GetFileAttributesA(to.c_str());
    if (target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_READONLY)) {
      lastFailure = ERROR_ACCESS_DENIED;
      return false;
    }
    CountCall(CallKind::Move);
    return Check(MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | flags));
  }
  FileError LastError() override {
    FileError e;
    e.diskFull = lastFailure == ERROR_DISK_FULL || lastFailure == ERROR_HANDLE_DISK_FULL;
    if (lastFailure != 0) e.text = ErrorText(lastFailure);
    return e;
  }
};

}  // namespace

std::unique_ptr<Files> MakeFiles() { return std::make_unique<Win32Files>(); }

}  // namespace platform::win32
