#include "app/dll_safety.h"

#include <string>

#include "platform/win32/windows_api.h"

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

namespace app {

namespace {

// DLLs that the system's own libraries load later by bare name (themes,
// drawing, dialogs, COM, security): loaded now from the system folder, so
// that such a later load finds them in memory and searches nowhere, even
// where the search itself cannot be restricted.
const char* const kPreloaded[] = {"uxtheme.dll",   "dwmapi.dll",   "msimg32.dll", "version.dll",
                                  "cryptbase.dll", "propsys.dll",  "userenv.dll", "profapi.dll",
                                  "apphelp.dll",   "oleacc.dll",   "clbcatq.dll", "ntmarta.dll",
                                  "setupapi.dll",  "winmm.dll",    "usp10.dll",   "oleaut32.dll",
                                  "shfolder.dll",  "netapi32.dll", "mpr.dll",     "riched20.dll"};

}  // namespace

std::string SystemFolder() {
  char folder[MAX_PATH];
  UINT n = GetSystemDirectoryA(folder, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::string() : std::string(folder, n);
}

void RestrictDllSearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (!kernel) return;
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
  auto setDllDirectory = reinterpret_cast<SetDllDirectoryFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
  if (setDllDirectory) setDllDirectory("");
  const std::string system = SystemFolder();
  if (system.empty()) return;
  for (const char* name : kPreloaded) LoadLibraryA((system + "\\" + name).c_str());
}

}  // namespace app

// mpr.dll is not one of the DLLs the system always takes from its own folder
// (the KnownDLLs), so an ordinary import would be looked up beside setup.exe
// while the process starts, before RestrictDllSearch can run. Instead the one
// function the installer uses, WNetConnectionDialog, is called through an
// import slot of our own that binds it on first use from the system folder.
namespace {

using WNetConnectionDialogFn = DWORD(WINAPI*)(HWND, DWORD);

DWORD WINAPI WNetConnectionDialogFromSystem(HWND owner, DWORD type) {
  static const WNetConnectionDialogFn real = []() -> WNetConnectionDialogFn {
    const std::string system = app::SystemFolder();
    if (system.empty()) return nullptr;
    HMODULE mpr = LoadLibraryA((system + "\\mpr.dll").c_str());
    if (!mpr) return nullptr;
    return reinterpret_cast<WNetConnectionDialogFn>(
        reinterpret_cast<void*>(GetProcAddress(mpr, "WNetConnectionDialog")));
  }();
  return real ? real(owner, type) : ERROR_NOT_SUPPORTED;
}

}  // namespace

// The slot that calls of the dllimport-declared WNetConnectionDialog go through.
// Its symbol is the import name the compiler emits: 32-bit x86 decorates
// stdcall functions with a leading underscore and the argument bytes, x64 has
// one calling convention and no decoration.
#ifdef _WIN64
#define SETUP_WNET_IMPORT_SLOT "__imp_WNetConnectionDialog"
#else
#define SETUP_WNET_IMPORT_SLOT "__imp__WNetConnectionDialog@8"
#endif
extern "C" {
extern WNetConnectionDialogFn imp_WNetConnectionDialog __asm__(SETUP_WNET_IMPORT_SLOT);
WNetConnectionDialogFn imp_WNetConnectionDialog = &WNetConnectionDialogFromSystem;
}
