#!/usr/bin/env bash
# Demonstrates one unattended installation: installs what is missing, builds
# setup.exe, packs a demo distribution (setup.exe, setup.dat encrypted with
# the build's archive password, readme.txt, license.txt and a setup.ini with
# AutoRun=1), runs it under Wine on an Xvfb display, and prints where the
# product went, the install log, the registry keys it wrote and the path of
# a screenshot of the final report.
#
# It builds the Windows program this machine can run under Wine: the 64-bit
# one (win64 preset), or the 32-bit one where only the 32-bit Wine runs.
# SETUP_WIN_BIN selects another build's bin folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build/demo

[ "$(id -u)" = 0 ] && bash scripts/setup-deps.sh
source "$root/scripts/wine-env.sh"

if [ -n "${SETUP_WIN_BIN:-}" ]; then
  bin=$SETUP_WIN_BIN
  build=$(dirname "$bin")
else
  arch=$(wine_runnable_arch) || {
    echo "demo: no Windows build can run under Wine here: $(wine_skip_reason win64)"
    exit 1
  }
  build=$root/build/$arch
  bin=$build/bin
  echo "== build: setup.exe ($arch preset)"
  cmake --preset "$arch" >"$root/build-demo-configure.log" 2>&1 ||
    { cat "$root/build-demo-configure.log"; exit 1; }
  rm -f "$root/build-demo-configure.log"
  cmake --build "$build" -j2 --target setup
fi

source "$root/tests/e2e/install_lib.sh"
rm -rf "$out"
mkdir -p "$out"
password=$(archive_password "$build")
[ -n "$password" ] || { echo "demo: no SETUP_ARCHIVE_PASSWORD in $build/CMakeCache.txt"; exit 1; }
# A fresh Wine prefix for every demo, so that the run starts from scratch.
arch=$(exe_arch "$bin/setup.exe")
rm -rf "$root/build/wine-demo-$arch"
wine_env_init "$root/build/wine-demo" "$arch"
build_helpers

echo "== demo distribution: $out/dist"
make_payload "$out/payload"
make_dist "$out/dist" "$out/payload" '[Main]\r\nAutoRun=1\r\n'
ls -l "$out/dist"

export LC_ALL=ru_RU.UTF-8
trap stop_display EXIT
start_display

echo "== running setup.exe (AutoRun=1)"
start_setup "$out/dist" setup
screenshot=$out/final-report.png
if drv wait 'Информация' 120000; then
  sleep 1
  drv dump 'Информация'
  shot "$screenshot"
  echo "final report:"
  tr -d '\r' <"$out/drv.out" | awk -F'\t' '$1=="Static" && $9 ~ /[^ ]/ {print "  " $9}' | sed 's/\\r\\n/\n  /g' | grep -v '^ *$'
  drv click 'Информация' 'OK'
else
  echo "demo: no final report appeared"
  shot "$screenshot"
  [ -f "$out/setup.log" ] && cat "$out/setup.log"
  exit 1
fi
wait_setup_gone 60 || echo "demo: setup.exe is still running"

install_dir='C:\Program Files\Volmarix'
target=$(unix_path "$install_dir")
echo
echo "== the product went to $install_dir ($target)"
(cd "$target" && find . -type f | sort | sed 's|^\./|  |')
echo "  and to the system folder: C:\\windows\\system32\\mtxrt32.dll" \
  "($(cat "$WINEPREFIX/drive_c/windows/system32/mtxrt32.dll" | tr -d '\r'))"
echo
echo "== install log $install_dir\\UNINST\\mtxvlm.log (CP1251, shown as UTF-8)"
from1251 <"$target/UNINST/mtxvlm.log" | tr -d '\r' | sed 's/^/  /'
echo
echo "== registry keys written under HKEY_CLASSES_ROOT"
for ext in vlmgroup vmv var extv vmt; do
  for key in ".$ext" "$ext" "$ext\\DefaultIcon" "$ext\\Shell" "$ext\\Shell\\Open" \
    "$ext\\Shell\\Open\\command"; do
    timeout 60 "$WINE" reg query "HKCR\\$key" /ve >"$out/reg.out" 2>&1 || true
    value=$(grep -a 'REG_SZ' "$out/reg.out" | LC_ALL=C sed 's/.*REG_SZ[[:space:]]*//' | tr -d '\r')
    printf '  HKCR\\%-28s %s\n' "$key" "$value"
  done
done
echo
echo "== shortcuts"
find "$WINEPREFIX/drive_c" -name '*.lnk' -newer "$out/dist/setup.dat" | sort | sed "s|$WINEPREFIX/||; s|^|  |"
echo
echo "== screenshot of the final report: $screenshot"
