# Sourced by scripts that run Windows executables under Wine.
#
# Two Windows builds exist: win64 (x86_64) and win32 (i686). Each runs
# through the Wine loader of its own width, in a prefix of its own kind:
#   win64: Debian's wine64 loader, WINEARCH=win64; needs no 32-bit support.
#   win32: the 32-bit loader of wine32:i386, WINEARCH=win32; runs only where
#          the kernel executes 32-bit code.
# Debian's `wine` script prefers the 32-bit loader whenever wine32 is
# installed, for a 64-bit program too, so the loaders are named directly
# and WINELOADER points at the one in use. Scripts call "$WINE", never a
# bare `wine`.

# The loader of a build (win64 or win32), or nothing when it is not installed.
wine_loader() {  # wine_loader ARCH
  local candidates
  case $1 in
    win64) candidates="/usr/lib/wine/wine64 $(command -v wine64 || true)" ;;
    win32) candidates="/usr/lib/wine/wine" ;;
    *) return 1 ;;
  esac
  for f in $candidates; do
    [ -x "$f" ] && { echo "$f"; return 0; }
  done
  return 1
}

# The build a Windows executable belongs to, from its PE header's machine
# field: win64 for x86-64, win32 for i386.
exe_arch() {  # exe_arch FILE.exe
  python3 - "$1" <<'PY'
import struct, sys
with open(sys.argv[1], 'rb') as f:
    data = f.read(4096)
pe = struct.unpack_from('<I', data, 0x3C)[0]
machine = struct.unpack_from('<H', data, pe + 4)[0]
print({0x8664: 'win64', 0x14C: 'win32'}.get(machine, 'unknown'))
PY
}

# The MinGW-w64 target triplet that builds helper programs for ARCH.
mingw_triplet() {  # mingw_triplet ARCH
  case $1 in
    win64) echo x86_64-w64-mingw32 ;;
    win32) echo i686-w64-mingw32 ;;
  esac
}

# True when the kernel starts 32-bit x86 programs. Some virtual machines run
# 64-bit user code only (IA-32 emulation off): every i386 execve then fails
# with "Exec format error". Tried with a 92-byte i386 ELF that only exits.
kernel_runs_i386() {
  local probe
  probe=$(mktemp) || return 1
  python3 - "$probe" <<'PY'
import struct, sys
code = bytes([0x31, 0xDB, 0x31, 0xC0, 0x40, 0xCD, 0x80])  # exit(0) through int 0x80
base, size = 0x08048000, 52 + 32 + 7
elf = b'\x7fELF' + bytes([1, 1, 1]) + bytes(9)
elf += struct.pack('<HHIIIIIHHHHHH', 2, 3, 1, base + 84, 52, 0, 0, 52, 32, 1, 0, 0, 0)
elf += struct.pack('<IIIIIIII', 1, 0, base, base, size, size, 5, 0x1000)
open(sys.argv[1], 'wb').write(elf + code)
PY
  chmod +x "$probe"
  "$probe" 2>/dev/null
  local rc=$?
  rm -f "$probe"
  return $rc
}

# True when executables of ARCH can run under Wine here.
wine_can_run() {  # wine_can_run ARCH
  local loader
  loader=$(wine_loader "$1") || return 1
  [ "$1" != win32 ] || kernel_runs_i386 || return 1
  timeout 30 "$loader" --version >/dev/null 2>&1
}

# Why executables of ARCH cannot run under Wine here, for the skip message.
wine_skip_reason() {  # wine_skip_reason ARCH
  local loader
  if ! loader=$(wine_loader "$1"); then
    case $1 in
      win64) echo "Debian's wine64 is not installed (scripts/setup-deps.sh installs it, as root)" ;;
      win32) echo "Debian's wine32:i386 is not installed" ;;
    esac
  elif [ "$1" = win32 ] && ! kernel_runs_i386; then
    echo "the kernel runs 64-bit programs only (IA-32 emulation off): 32-bit programs, Wine's 32-bit loader among them, fail with \"Exec format error\""
  else
    timeout 30 "$loader" --version 2>&1 | tail -n 1
  fi
}

# The first Windows build this machine can run (win64 before win32), or
# nothing.
wine_runnable_arch() {
  local arch
  for arch in win64 win32; do
    wine_can_run "$arch" && { echo "$arch"; return 0; }
  done
  return 1
}

# Chooses the loader for ARCH and the Wine prefix PREFIX-ARCH (each build
# keeps a prefix of its own kind); a new prefix is initialised once. Exports
# WINE, WINELOADER, WINEARCH, WINEPREFIX and MINGW (the helper compilers'
# triplet).
wine_env_init() {  # wine_env_init PREFIX ARCH
  local prefix=$1-$2
  WINE=$(wine_loader "$2") || { echo "wine-env: no Wine loader for $2" >&2; return 1; }
  export WINE WINELOADER=$WINE WINEARCH=$2 WINEPREFIX=$prefix
  export MINGW
  MINGW=$(mingw_triplet "$2")
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    # Wine's helper processes keep inherited pipes open: capture through files.
    LC_ALL=ru_RU.UTF-8 "$WINE" wineboot -i >"$WINEPREFIX.boot.log" 2>&1 || true
    wineserver -w || true
  fi
}

# Starts a virtual display of our own on the first free number from $1 and
# waits (up to five seconds) until it takes connections; Xvfb's output goes
# to the file $2. Exports DISPLAY and keeps the server's process id in
# XVFB_PID for xvfb_stop. Callers set their exit trap first.
xvfb_start() {
  local display=$1 log=$2
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
  done
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$log" 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$display"
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
  done
}

# Ends the display that xvfb_start began, if any.
xvfb_stop() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" >/dev/null 2>&1
  XVFB_PID=
  return 0
}
