#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test layer:
#   1. native unit tests (ctest, AddressSanitizer + UBSan)
#   2. the same unit tests as Win32 exes under Wine (ANSI code page 1251)
#   3. further layers (end to end under Wine, fuzzing) when present
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

[ "$(id -u)" = 0 ] && bash scripts/setup-deps.sh

echo "== build: native"
cmake --preset native >build-native-configure.log 2>&1 || { cat build-native-configure.log; exit 1; }
cmake --build build/native -j"$jobs"
echo "== build: win32"
cmake --preset win32 >build-win32-configure.log 2>&1 || { cat build-win32-configure.log; exit 1; }
cmake --build build/win32 -j"$jobs"
rm -f build-native-configure.log build-win32-configure.log

echo "== layer 1: native unit tests (ASan + UBSan)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/native --output-on-failure -j"$jobs"

echo "== layer 2: Win32 unit tests under Wine (LC_ALL=ru_RU.UTF-8)"
source scripts/wine-env.sh
wine_env_init "$root/build/wine-unit"
failed=0
for exe in build/win32/bin/*_tests.exe; do
  [ -e "$exe" ] || continue
  name=$(basename "$exe" .exe)
  log=build/win32/$name.log
  if LC_ALL=ru_RU.UTF-8 wine "$exe" --gtest_brief=1 >"$log" 2>&1; then
    tail -n 3 "$log"
  else
    cat "$log"
    echo "FAILED under Wine: $name"
    failed=1
  fi
done
wineserver -k 2>/dev/null || true
[ $failed = 0 ] || exit 1

for layer in tests/e2e/run.sh scripts/fuzz-smoke.sh; do
  if [ -x "$layer" ]; then
    echo "== $layer"
    "$layer"
  fi
done
echo "== all test layers passed"
