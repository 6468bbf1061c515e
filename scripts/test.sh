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
ctest --test-dir build/native --output-on-failure -j"$jobs" | tee build/native/ctest.log
native_run=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' build/native/ctest.log)
# ctest counts a skipped test among those that passed and lists it as "(Skipped)".
native_skipped=$(grep -c '(Skipped)' build/native/ctest.log || true)
native_passed=$((${native_run:-0} - native_skipped))

source scripts/wine-env.sh
if ! wine_can_run; then
  # The Win32 exes were built and linked above; only running them is left out.
  reason=$(wine_skip_reason)
  echo "== layer 2 SKIPPED: Win32 unit tests cannot run on this machine: $reason"
  echo "== layer 3 SKIPPED: end-to-end tests under Wine cannot run on this machine"
  # The Win32 layer runs the same unit tests as the native one.
  skipped=$((native_skipped + ${native_run:-0}))
  for layer in scripts/fuzz-smoke.sh; do
    echo "== $layer"
    "$layer"
  done
  echo "== native $native_passed passed, $native_skipped skipped; Win32 layers skipped ($reason)"
  [ "$native_skipped" = 0 ] ||
    echo "   (tests that need ../shared/testdata are skipped where it is absent; ctest's log gives each reason)"
  echo "$native_passed passed, 0 failed, $skipped skipped"
  exit 0
fi

echo "== layer 2: Win32 unit tests under Wine (LC_ALL=ru_RU.UTF-8)"
wine_env_init "$root/build/wine-unit"
# A display of our own, so that the tests of real windows and dialogs run too.
trap xvfb_stop EXIT
xvfb_start 71 build/win32/xvfb-unit.log
failed=0
wine_passed=0
wine_skipped=0
for exe in build/win32/bin/*_tests.exe; do
  [ -e "$exe" ] || continue
  name=$(basename "$exe" .exe)
  log=build/win32/$name.log
  if LC_ALL=ru_RU.UTF-8 wine "$exe" --gtest_brief=1 >"$log" 2>&1; then
    tail -n 3 "$log"
    n=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
    wine_passed=$((wine_passed + ${n:-0}))
    n=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
    wine_skipped=$((wine_skipped + ${n:-0}))
  else
    cat "$log"
    echo "FAILED under Wine: $name"
    failed=1
  fi
done
wineserver -k 2>/dev/null || true
xvfb_stop
unset DISPLAY
[ $failed = 0 ] || exit 1

e2e_passed=0
e2e_skipped=0
for layer in tests/e2e/run.sh scripts/fuzz-smoke.sh; do
  if [ -x "$layer" ]; then
    echo "== $layer"
    "$layer" | tee build/layer.log
    n=$(grep -c '^ok: ' build/layer.log || true)
    e2e_passed=$((e2e_passed + n))
    n=$(grep -c '^skip: ' build/layer.log || true)
    e2e_skipped=$((e2e_skipped + n))
  fi
done
rm -f build/layer.log
skipped=$((native_skipped + wine_skipped + e2e_skipped))
echo "== all test layers passed (native $native_passed, Win32 under Wine $wine_passed, end-to-end checks $e2e_passed; skipped: native $native_skipped, Wine $wine_skipped, end-to-end $e2e_skipped)"
[ "$skipped" = 0 ] || echo "   (tests that need ../shared/testdata are skipped where it is absent; see the logs for each reason)"
echo "$((native_passed + wine_passed + e2e_passed)) passed, 0 failed, $skipped skipped"
