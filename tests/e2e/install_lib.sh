# Sourced by scripts/demo.sh, tests/e2e/run_install.sh and run_unattended.sh: builds the helper
# programs, packs distribution folders with an encrypted archive, and runs
# setup.exe under Wine on an Xvfb display of its own.
#
# Callers set: root (the checkout), bin (folder of setup.exe), out (work
# folder), password (the archive password of that build), and call
# wine_env_init (scripts/wine-env.sh) before build_helpers.

to1251() { iconv -f UTF-8 -t CP1251; }
from1251() { iconv -f CP1251 -t UTF-8; }

# The archive password of a build folder (its CMake cache).
archive_password() {  # archive_password BUILD_DIR
  sed -n 's/^SETUP_ARCHIVE_PASSWORD:[A-Z]*=//p' "$1/CMakeCache.txt"
}

# The folder of the Windows build under test: SETUP_WIN_BIN, else the 64-bit
# build, which runs wherever Wine does.
windows_bin() { echo "${SETUP_WIN_BIN:-$root/build/win64/bin}"; }

# The places of one script: the setup.exe folder and its build, the script's
# output folder under build/ and the build's screenshot folder; no failure
# yet. Ends the script when one of the named programs is missing.
e2e_setup() {  # e2e_setup OUT-NAME EXE...
  bin=$(windows_bin)
  build=$(dirname "$bin")
  out=$root/build/$1
  shots=$root/build/screenshots/$(basename "$build")  # one folder per build
  failures=0
  shift
  for exe in "$@"; do
    [ -f "$bin/$exe" ] || { echo "e2e: $bin/$exe is missing (build the win64 or win32 preset)"; exit 1; }
  done
}

# The GUI driver (MINGW: the triplet of the build under test, from
# wine_env_init).
build_driver() {
  "$MINGW-g++-posix" -municode -O1 -static "$root/tests/e2e/driver.cpp" \
    -o "$out/driver.exe" -luser32 -lgdi32
}

# The GUI driver and the install helpers (shell links, a file holder).
build_helpers() {
  build_driver || return 1
  "$MINGW-g++-posix" -municode -O1 -static "$root/tests/e2e/install_tools.cpp" \
    -o "$out/install_tools.exe" -lole32 -luuid -lshell32 -lversion || return 1
}

# Starts Xvfb on a free display (xvfb_start of scripts/wine-env.sh, which
# callers source as well) and makes Wine draw its own window frames.
start_display() {
  xvfb_start 91 "$out/xvfb.log"
  timeout 60 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >"$out/reg.log" 2>&1
}

stop_display() {
  wineserver -k >/dev/null 2>&1 || true
  xvfb_stop
}

# The start every installation script shares: an emptied work folder, the
# archive password of the build, the Wine prefix PREFIX-ARCH of the build's
# architecture, the helper programs, the Russian locale and a display that
# goes when the script ends. Callers set build and shots, and source
# scripts/wine-env.sh as well.
begin_install_tests() {  # begin_install_tests PREFIX
  rm -rf "$out"
  mkdir -p "$out" "$shots"
  password=$(archive_password "$build")
  wine_env_init "$1" "$(exe_arch "$bin/setup.exe")" || return 1
  build_helpers || return 1
  export LC_ALL=ru_RU.UTF-8
  trap stop_display EXIT
  start_display
}

# The install helpers (link reader, file holder, ...) under Wine.
tools() { timeout 60 "$WINE" "$out/install_tools.exe" "$@" 2>/dev/null | tr -d '\r'; }

# The demo payload: the files the product profile expects (the programs its
# shortcuts and associations point to, the kept Lectorn.ini), nested folders
# below MENTORIX and one member for the system folder.
make_payload() {  # make_payload DIR
  local dir=$1
  rm -rf "$dir"
  mkdir -p "$dir/MENTORIX/lessons/basics" "$dir/MENTORIX/lessons/advanced" "$dir/SYSTEM"
  printf 'Lectorn demo program\r\n' >"$dir/Lectorn.exe"
  printf 'Variomat demo program\r\n' >"$dir/Variomat.exe"
  printf 'Mentorix help\r\n' >"$dir/MentorixHelp.chm"
  printf '[Lectorn]\r\nLanguage=ru\r\n' >"$dir/Lectorn.ini"
  printf 'Урок 1. Переменные\r\n' | to1251 >"$dir/MENTORIX/lessons/basics/lesson1.txt"
  printf 'Урок 2. Циклы\r\n' | to1251 >"$dir/MENTORIX/lessons/basics/lesson2.txt"
  printf 'Урок 10. Рекурсия\r\n' | to1251 >"$dir/MENTORIX/lessons/advanced/lesson10.txt"
  printf 'Mentorix runtime\r\n' >"$dir/SYSTEM/mtxrt32.dll"
  printf 'Mentorix for Volmar 2.6\r\n' >"$dir/MENTORIX/version.txt"
  touch -d '2011-03-05 12:00' $(find "$dir" -type f)
}

# The members in archive order; the last one is an ordinary file, since the
# run finishes at the member with the highest index.
payload_members() {
  echo Lectorn.exe Variomat.exe MentorixHelp.chm Lectorn.ini SYSTEM/mtxrt32.dll \
    MENTORIX/lessons/basics/lesson1.txt MENTORIX/lessons/basics/lesson2.txt \
    MENTORIX/lessons/advanced/lesson10.txt MENTORIX/version.txt
}

# A distribution folder: setup.exe, the encrypted archive (no folder
# entries), readme.txt, license.txt and optionally a settings file.
make_dist() {  # make_dist DIST PAYLOAD [SETTINGS-TEXT]
  local dist=$1 payload=$2 settings=${3:-}
  rm -rf "$dist"
  mkdir -p "$dist"
  cp "$bin/setup.exe" "$dist/"
  (cd "$payload" && zip -q -X -D -P "$password" "$dist/setup.dat" $(payload_members)) || return 1
  printf 'Комплекс Mentorix для преподавателя программирования.\r\nУстанавливается в каталог системы Volmar.\r\n' |
    to1251 >"$dist/readme.txt"
  printf 'Лицензионное соглашение\r\nДемонстрационная версия.\r\n' | to1251 >"$dist/license.txt"
  # Only the two characters \r\n are special in the settings text; paths keep
  # their backslashes.
  [ -n "$settings" ] && printf '%s' "$settings" | sed 's/\\r\\n/\r\n/g' >"$dist/setup.ini"
  return 0
}

drv() {  # a driver command; its output lands in $out/drv.out, in Unix lines
  timeout 60 "$WINE" "$out/driver.exe" "$@" >"$out/drv.out" 2>&1
  local rc=$?
  sed -i 's/\r$//' "$out/drv.out"
  return $rc
}

# Starts setup.exe of a distribution folder in the background; setup_pid is
# the Wine launcher, which lives as long as setup.exe runs.
start_setup() {  # start_setup DIST LOGNAME
  (cd "$1" && exec timeout 300 "$WINE" setup.exe >"$out/$2.log" 2>&1) &
  setup_pid=$!
}

# A Windows path of the prefix as a Linux path (C: only).
unix_path() {  # unix_path 'C:\x\y'
  local p=${1#?:}
  p=${p//\\//}
  echo "$WINEPREFIX/drive_c$p"
}

# Screenshot of the whole display.
shot() { import -window root "$1" 2>/dev/null; }

# Waits until the setup.exe started last has ended.
wait_setup_gone() {  # wait_setup_gone SECONDS
  for _ in $(seq $(($1 * 10))); do
    kill -0 "$setup_pid" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# Flips the first data byte of one member (by directory index; -1: the
# last), so that its check fails.
damage_member() {  # damage_member ARCHIVE INDEX
  python3 - "$1" "$2" <<'PY'
import struct, sys
path, index = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, 'rb').read())
end = data.rfind(b'PK\x05\x06')
count, size, offset = struct.unpack_from('<HII', data, end + 10)
pos, offsets = offset, []
for _ in range(count):
    n, e, c = struct.unpack_from('<HHH', data, pos + 28)
    offsets.append(struct.unpack_from('<I', data, pos + 42)[0])
    pos += 46 + n + e + c
local = offsets[index]
n, e = struct.unpack_from('<HH', data, local + 26)
data[local + 30 + n + e + 12] ^= 0x55  # first data byte after the encryption header
open(path, 'wb').write(bytes(data))
PY
}

# Results of the checks: "ok: ..." or "FAIL: ..." lines; failures counts the
# latter (each script sets it to 0 and reads it at the end).
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
ok() { echo "ok: $*"; }
check() {  # check "what" command...
  local what=$1
  shift
  if "$@"; then ok "$what"; else fail "$what"; fi
}
expect() {  # expect "what" "text that drv.out must hold"
  if grep -qF -- "$2" "$out/drv.out"; then ok "$1"; else
    fail "$1: no line with [$2]"
    sed 's/^/    | /' "$out/drv.out"
  fi
}
