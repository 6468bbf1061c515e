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

namespace platform::win32 {

// The system's text for an error code, as the run-time library gives it:
// without the trailing full stop and line break.
std::string ErrorText(DWORD code);

}  // namespace platform::win32
