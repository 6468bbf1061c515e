#!/usr/bin/env bash
# Installs what is missing, builds the native target and both Windows targets
# and runs every test layer:
#   1. native unit tests (ctest, AddressSanitizer + UBSan)
#   2. the same unit tests as Windows exes under Wine (ANSI code page 1251)
#   3. end to end: the real setup.exe under Wine (tests/e2e/run.sh)
#   4. a short run of every fuzz target
# and the release tooling's checks (tests/dist) after layer 1.
# Layer 2 runs for every Windows build this machine can run: win64 wherever
# Wine runs, win32 too where the kernel runs 32-bit programs. Layer 3 runs the
# 64-bit build; SETUP_E2E_ALL_BUILDS=1 runs it for the 32-bit one as well
# (it doubles the layer's time, and both builds share every line it tests).
# Each phase prints how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
phase_start=$SECONDS
took() { echo "   ($1 took $((SECONDS - phase_start)) s)"; phase_start=$SECONDS; }

[ "$(id -u)" = 0 ] && bash scripts/setup-deps.sh

for preset in native win32 win64; do
  echo "== build: $preset"
  cmake --preset $preset >build-$preset-configure.log 2>&1 || { cat build-$preset-configure.log; exit 1; }
  rm -f build-$preset-configure.log
  cmake --build build/$preset -j"$jobs"
  took "build $preset"
done
echo "== layer 1: native unit tests (ASan + UBSan)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/native --output-on-failure -j"$jobs" | tee build/native/ctest.log
native_run=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' build/native/ctest.log)
# ctest counts a skipped test among those that passed and lists it as "(Skipped)".
native_skipped=$(grep -c '(Skipped)' build/native/ctest.log || true)
native_passed=$((${native_run:-0} - native_skipped))
took "layer 1"

echo "== release tooling: tests/dist/make_dist_test.sh"
tests/dist/make_dist_test.sh | tee build/layer.log
dist_passed=$(grep -c '^ok: ' build/layer.log || true)
dist_skipped=$(grep -c '^skip: ' build/layer.log || true)
took "release tooling"

source scripts/wine-env.sh
windows_builds=()
for arch in win64 win32; do
  if wine_can_run $arch; then
    windows_builds+=($arch)
  else
    # Built and linked above; only running it is left out.
    echo "== layers 2 and 3 not run for $arch: $(wine_skip_reason $arch)"
  fi
done
# Set-up (run as root above) installs wine64 on every x86-64 machine: there
# the 64-bit build must run, and a skipped Windows layer is a failure.
if [ "$(id -u)" = 0 ] && [ "$(uname -m)" = x86_64 ] && ! wine_can_run win64; then
  echo "FAILED: the 64-bit Windows build cannot run under wine64 here"
  exit 1
fi

failed=0
wine_passed=0
wine_skipped=0
e2e_passed=0
e2e_skipped=0
for arch in "${windows_builds[@]}"; do
  echo "== layer 2: $arch unit tests under Wine (LC_ALL=ru_RU.UTF-8)"
  wine_env_init "$root/build/wine-unit" $arch
  # A display of our own, so that the tests of real windows and dialogs run too.
  trap xvfb_stop EXIT
  xvfb_start 71 build/$arch/xvfb-unit.log
  ran=0
  for exe in build/$arch/bin/*_tests.exe; do
    [ -e "$exe" ] || continue
    name=$(basename "$exe" .exe)
    log=build/$arch/$name.log
    if LC_ALL=ru_RU.UTF-8 "$WINE" "$exe" --gtest_brief=1 >"$log" 2>&1; then
      tail -n 3 "$log"
      n=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
      # An exe that ends well without running a test has not been tested.
      if [ "${n:-0}" = 0 ]; then
        echo "FAILED under Wine: $name ($arch) ran no test"
        failed=1
      fi
      wine_passed=$((wine_passed + ${n:-0}))
      n=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) test.*/\1/p' "$log" | tail -n 1)
      wine_skipped=$((wine_skipped + ${n:-0}))
      ran=$((ran + 1))
    else
      cat "$log"
      echo "FAILED under Wine: $name ($arch)"
      failed=1
    fi
  done
  [ $ran != 0 ] || { echo "FAILED: no unit test exe in build/$arch/bin"; failed=1; }
  wineserver -k 2>/dev/null || true
  xvfb_stop
  unset DISPLAY
  [ $failed = 0 ] || exit 1
  took "layer 2 ($arch)"

  if [ $arch != win64 ] && [ "${SETUP_E2E_ALL_BUILDS:-0}" != 1 ]; then
    echo "== layer 3 for $arch left to SETUP_E2E_ALL_BUILDS=1 (the win64 run covers the same code)"
    continue
  fi
  echo "== layer 3: end to end, $arch (tests/e2e/run.sh)"
  SETUP_WIN_BIN=$root/build/$arch/bin tests/e2e/run.sh | tee build/layer.log
  n=$(grep -c '^ok: ' build/layer.log || true)
  [ "$n" != 0 ] || { echo "FAILED: the end-to-end layer of $arch checked nothing"; exit 1; }
  e2e_passed=$((e2e_passed + n))
  n=$(grep -c '^skip: ' build/layer.log || true)
  e2e_skipped=$((e2e_skipped + n))
  rm -f build/layer.log
  took "layer 3 ($arch)"
done

echo "== layer 4: scripts/fuzz-smoke.sh"
scripts/fuzz-smoke.sh
took "layer 4"

ran_on=${windows_builds[*]:-none}
skipped=$((native_skipped + dist_skipped + wine_skipped + e2e_skipped))
echo "== all test layers passed (native $native_passed, release tooling $dist_passed, unit tests under Wine $wine_passed, end-to-end checks $e2e_passed; Windows builds run: ${ran_on// /, }; skipped: native $native_skipped, release tooling $dist_skipped, Wine $wine_skipped, end-to-end $e2e_skipped)"
[ "$skipped" = 0 ] || echo "   (tests that need ../shared/testdata are skipped where it is absent; see the logs for each reason)"
echo "$((native_passed + dist_passed + wine_passed + e2e_passed)) passed, 0 failed, $skipped skipped"
