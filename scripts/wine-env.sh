# Sourced by scripts that run Windows executables under Wine.
# Each caller gets its own prefix under build/; a new prefix is initialised once.
wine_env_init() {
  local prefix=$1
  export WINEPREFIX=$prefix
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win32
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    # Wine's helper processes keep inherited pipes open: capture through files.
    LC_ALL=ru_RU.UTF-8 wineboot -i >"$WINEPREFIX.boot.log" 2>&1 || true
    wineserver -w || true
  fi
}

# True when this machine can run Wine's 32-bit loader. Some virtual machines
# run 64-bit user code only (their kernel has IA-32 emulation off: every i386
# execve fails with "Exec format error"); there no Win32 program can run.
wine_can_run() {
  timeout 30 wine --version >/dev/null 2>&1
}

# Why the Wine layers cannot run here, for the skip message.
wine_skip_reason() {
  local why
  why=$(timeout 30 wine --version 2>&1 | tail -n 1)
  if dmesg 2>/dev/null | grep -qi 'IA-32 emulation off\|32-bit emulation disabled'; then
    why="the kernel runs 64-bit programs only (IA-32 emulation off): $why"
  fi
  echo "$why"
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
