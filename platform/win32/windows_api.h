// <windows.h> for the win32 platform, without the macros that would rename
// the seam's methods (DeleteFile, MoveFile, MessageBox, ...). Code here calls
// the ANSI functions by their full names (DeleteFileA, MessageBoxA, ...).
#pragma once

#include <windows.h>
// Order matters: the shell headers need <windows.h> first.
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

#undef CopyFile
#undef DeleteFile
#undef FindResource
#undef GetDriveType
#undef LoadString
#undef MessageBox
#undef MoveFile
#undef OemToAnsi
#undef ReplaceFile

// A window procedure, a user-data pointer or an instance handle is as wide as
// a pointer; the LONG slots of these functions would cut it to 32 bits on
// 64-bit Windows. Code uses the ...LongPtrA forms, which the 32-bit headers
// map to these names by macros defined above; the poison does not reach into
// such earlier macros, only into code written after this point.
#undef GetWindowLong
#undef SetWindowLong
#undef GetClassLong
#undef SetClassLong
#pragma GCC poison GetWindowLong GetWindowLongA GetWindowLongW SetWindowLong SetWindowLongA
#pragma GCC poison SetWindowLongW GetClassLong GetClassLongA GetClassLongW SetClassLong
#pragma GCC poison SetClassLongA SetClassLongW

namespace platform::win32 {

// The system's text for an error code, as the run-time library gives it:
// without the trailing full stop and line break.
std::string ErrorText(DWORD code);

// While it lives, the calling thread gets no critical-error prompts from the
// system ("There is no disk in the drive"): a probe of an empty removable
// drive simply fails. The mode before it is restored afterwards.
class QuietCriticalErrors {
 public:
  QuietCriticalErrors() { SetThreadErrorMode(saved_ | SEM_FAILCRITICALERRORS, &saved_); }
  ~QuietCriticalErrors() { SetThreadErrorMode(saved_, nullptr); }
  QuietCriticalErrors(const QuietCriticalErrors&) = delete;
  QuietCriticalErrors& operator=(const QuietCriticalErrors&) = delete;

 private:
  DWORD saved_ = GetThreadErrorMode();
};

}  // namespace platform::win32
