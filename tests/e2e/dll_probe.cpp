// Loads DLLs by bare name, as the system and its libraries do, and prints
// the file each one came from: "dll_probe restrict NAME..." first applies
// setup.exe's start-up restriction, "dll_probe plain NAME..." does not.
// The planting test runs it beside decoy DLLs to show both that a decoy
// would be taken and that the restriction keeps it out.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "app/dll_safety.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  if (std::strcmp(argv[1], "restrict") == 0) app::RestrictDllSearch();
  for (int i = 2; i < argc; ++i) {
    HMODULE m = LoadLibraryA(argv[i]);
    char path[MAX_PATH] = "(not loaded)";
    if (m) GetModuleFileNameA(m, path, MAX_PATH);
    std::printf("%s\t%s\n", argv[i], path);
  }
  return 0;
}
