// Start-up defence against DLL planting. An installer is started from
// download folders, where other files may lie beside it under the names of
// system DLLs (version.dll, uxtheme.dll, ...). Called first thing in
// WinMain, RestrictDllSearch makes every later DLL load search the system
// folder only, so a DLL beside setup.exe is never loaded.
#pragma once

#include <string>

namespace app {

// Uses SetDefaultDllDirectories where the system has it (Windows 7 with
// KB2533623 and later); elsewhere it at least drops the current folder from
// the search with SetDllDirectoryA(""). Both are looked up at run time, so
// setup.exe still starts on systems without them.
// It also loads the DLLs that system libraries load later by bare name from
// the system folder at once.
void RestrictDllSearch();

// The Windows system folder without a trailing "\", or empty.
std::string SystemFolder();

}  // namespace app
