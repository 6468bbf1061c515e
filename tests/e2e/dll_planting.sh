#!/usr/bin/env bash
# DLL planting under Wine: setup.exe started from a folder that also holds
# decoy DLLs under the names of system DLLs must load none of them.
#   1. setup.exe imports only DLLs the system always takes from its own
#      folder (KnownDLLs; comctl32 comes through the manifest).
#   2. A probe beside the decoys loads a decoy without the start-up
#      restriction (so this Wine would take a planted DLL) and the system's
#      copy with it.
#   3. setup.exe runs with the decoys beside it, shows its main window, and
#      Wine's load trace (+loaddll) names no DLL of that folder; no decoy
#      leaves its marker file.
#
# SETUP_WIN_BIN selects the folder of setup.exe (default build/win64/bin).
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
source "$root/tests/e2e/install_lib.sh"
source "$root/scripts/wine-env.sh"
bin=$(windows_bin)
out=$root/build/e2e-dll
failures=0

[ -f "$bin/setup.exe" ] || { echo "dll planting: $bin/setup.exe is missing"; exit 1; }
rm -rf "$out"
dist=$out/plantdist
mkdir -p "$dist"
# The Wine prefix, loader and compilers of the build's architecture.
wine_env_init "$root/build/wine-dll" "$(exe_arch "$bin/setup.exe")" || exit 1
export LC_ALL=ru_RU.UTF-8

# ---------------------------------------------------------------- 1. imports
known='^(advapi32|comdlg32|gdi32|kernel32|msvcrt|ole32|shell32|user32|comctl32)\.dll$'
imports=$("$MINGW-objdump" -p "$bin/setup.exe" | sed -n 's/^\s*DLL Name: //p' |
  tr 'A-Z' 'a-z')
bad=$(echo "$imports" | grep -Ev "$known" || true)
if [ -z "$bad" ]; then ok "setup.exe imports only known DLLs"; else
  fail "setup.exe imports DLLs that are looked up beside it: $bad"
fi

# ---------------------------------------------------------------- decoys
# Each decoy leaves NAME.loaded beside itself when a process loads it.
cat >"$out/decoy.c" <<'C'
#include <windows.h>
BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID unused) {
  (void)unused;
  if (reason == DLL_PROCESS_ATTACH) {
    char path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    lstrcpyA(path + n, ".loaded");
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  }
  return TRUE;
}
C
decoys="version uxtheme mpr dwmapi cryptbase msimg32 riched20 winmm imm32 usp10 oleaut32 \
  shfolder netapi32 userenv propsys profapi"
"$MINGW-gcc" -shared -O1 -o "$out/decoy.dll" "$out/decoy.c" || exit 1
for d in $decoys; do cp "$out/decoy.dll" "$dist/$d.dll"; done
"$MINGW-g++-posix" -O1 -static -I"$root" "$root/tests/e2e/dll_probe.cpp" \
  "$root/app/dll_safety.cpp" -o "$dist/dll_probe.exe" || exit 1
cp "$bin/setup.exe" "$dist/"
echo "archive" >"$dist/setup.dat"  # the start-up check only needs the volume to exist

# ---------------------------------------------------------------- 2. probe
# Wine has DLLs of its own under the system names and takes those even from
# the program's folder (the trace then says "builtin"); a decoy under a name
# Wine does not have shows what a planted DLL does. With the system names
# set to "native first", Wine behaves as Windows does.
cp "$out/decoy.dll" "$dist/plantprobe.dll"
native_first=$(echo $decoys | sed 's/ /,/g')=n,b
probe() {  # probe MODE OUT: loads version.dll and plantprobe.dll by bare name
  (cd "$dist" && WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$native_first" timeout 60 \
    "$WINE" dll_probe.exe "$1" version.dll plantprobe.dll >"$out/$2.out" 2>"$out/$2.err")
}
probe plain plain
if grep -qi 'plantdist\\plantprobe.dll' "$out/plain.out" && [ -f "$dist/plantprobe.dll.loaded" ] &&
  [ -f "$dist/version.dll.loaded" ]; then
  ok "without the restriction the decoys beside the program run"
else
  fail "the decoys did not run without the restriction; this test cannot see planting:"
  sed 's/^/    | /' "$out/plain.out"
fi
rm -f "$dist"/*.loaded
probe restrict restrict
if grep -qi 'system32\\version.dll' "$out/restrict.out" &&
  grep -q 'plantprobe.dll.(not loaded)' "$out/restrict.out" && ! ls "$dist"/*.loaded >/dev/null 2>&1; then
  ok "with the restriction only the system folder is searched"
else
  fail "restricted probe:"
  sed 's/^/    | /' "$out/restrict.out"
fi
rm -f "$dist"/*.loaded

# ---------------------------------------------------------------- 3. setup.exe
# The probes ran without a display: a fresh wineserver takes the new one.
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  xvfb_stop
}
trap cleanup EXIT
xvfb_start 91 "$out/xvfb.log"

# Native first for every decoy name except those Wine's own DLLs import.
late=$(echo $decoys | tr ' ' '\n' | grep -Ev '^(version|imm32|uxtheme)$' | paste -sd, -)=n,b
(cd "$dist" && WINEDEBUG=+loaddll WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$late" timeout 120 \
  "$WINE" setup.exe >"$out/setup.out" 2>"$out/setup.trace" &)
# The main window appears once the start-up sequence has run.
shown=0
for _ in $(seq 60); do
  sleep 1
  if grep -q 'user32.dll' "$out/setup.trace" 2>/dev/null &&
    xwininfo -root -tree 2>/dev/null | grep -q 'Mentorix Install'; then
    shown=1
    break
  fi
done
sleep 2
wineserver -k >/dev/null 2>&1 || true
[ $shown = 1 ] && ok "setup.exe showed its main window" || fail "setup.exe showed no window"
# Wine resolves the imports of its own DLLs (advapi32 -> version, user32 ->
# imm32, comctl32 -> uxtheme) before any code of setup.exe runs and names
# them by the first folder searched; what it loads there is its own DLL
# ("builtin"). A planted DLL would be "native".
if grep -q 'loaddll' "$out/setup.trace"; then
  planted=$(grep 'loaddll' "$out/setup.trace" | grep -i 'plantdist\\\\[^\\]*\.dll' |
    grep -v ': builtin' || true)
  if [ -z "$planted" ]; then ok "setup.exe loaded no DLL from its own folder"; else
    fail "setup.exe loaded planted DLLs:"
    echo "$planted" | sed 's/^/    | /'
  fi
else
  fail "no load trace from setup.exe"
fi
markers=$(cd "$dist" && ls ./*.loaded 2>/dev/null || true)
[ -z "$markers" ] && ok "no decoy ran" || fail "decoys ran: $markers"

echo "dll planting: $failures failure(s)"
[ $failures = 0 ]
