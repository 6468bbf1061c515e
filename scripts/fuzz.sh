#!/usr/bin/env bash
# Runs one fuzz target: scripts/fuzz.sh TARGET SECONDS
#   TARGET: fuzz_inflate, fuzz_explode, fuzz_unreduce, fuzz_unshrink (decoders),
#           fuzz_directory (archive reader), fuzz_extract (whole extraction),
#           fuzz_settings (settings file) or fuzz_wildcard (wildcard matcher)
# A single input running longer than 20 seconds counts as a failure (hang).
# Builds the clang libFuzzer build in build/fuzz (ASan + UBSan) when needed and
# seeds the target's corpus from the test archives (the project's and the shared set).
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz.sh TARGET SECONDS}
seconds=${2:-10}
build=build/fuzz
mkdir -p build

if [ ! -f $build/CMakeCache.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B $build -DSETUP_FUZZ=ON -DSETUP_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
    >$build.configure.log 2>&1 || { cat $build.configure.log; exit 1; }
fi
cmake --build $build -j2 --target "$target" >/dev/null

corpus=$build/corpus/$target
if [ ! -d "$corpus" ]; then
  mkdir -p "$corpus"
  python3 scripts/fuzz_seeds.py "$target" "$corpus" tests/data ../shared/testdata
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
log=$build/$target.log
if "$build/bin/$target" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=1024 -timeout=20 \
  -artifact_prefix="$build/" "$corpus" >"$log" 2>&1; then
  grep -E '^Done [0-9]+ runs' "$log" || tail -n 1 "$log"
else
  cat "$log"
  echo "fuzz target $target failed (reproducer in $build/)" >&2
  exit 1
fi
