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
