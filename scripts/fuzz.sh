#!/usr/bin/env bash
# Runs fuzz targets: scripts/fuzz.sh TARGET SECONDS, or every target in turn
# with scripts/fuzz.sh all SECONDS (SECONDS each).
#   TARGET: fuzz_inflate, fuzz_explode, fuzz_unreduce, fuzz_unshrink (decoders),
#           fuzz_directory (archive reader), fuzz_extract (whole extraction),
#           fuzz_settings (settings file), fuzz_wildcard (wildcard matcher),
#           fuzz_command_line (switches), fuzz_install_log (install-log merge),
#           fuzz_recovery (an interrupted run's journal at the next start) or
#           fuzz_install (a whole installation run and its rollback)
# A single input running longer than 20 seconds counts as a failure (hang).
# Builds the clang libFuzzer build in build/fuzz (ASan + UBSan) when needed,
# seeds the target's corpus from tests/fuzz/seeds/TARGET and the test archives
# (the project's and the shared set) and uses the target's dictionary in
# tests/fuzz/dict. Prints, for each target, the inputs run, the inputs per
# second and the coverage at the end (libFuzzer's cov, ft and corpus).
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/fuzz.sh TARGET|all SECONDS}
seconds=${2:-10}
build=build/fuzz
all_targets=(fuzz_inflate fuzz_explode fuzz_unreduce fuzz_unshrink fuzz_directory fuzz_extract
  fuzz_settings fuzz_wildcard fuzz_command_line fuzz_install_log fuzz_recovery fuzz_install)
mkdir -p build

if [ ! -f $build/CMakeCache.txt ]; then
  CC=clang CXX=clang++ cmake -S . -B $build -DSETUP_FUZZ=ON -DSETUP_SANITIZE=ON \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
    >$build.configure.log 2>&1 || { cat $build.configure.log; exit 1; }
fi

# The dictionary of a target: the archive targets share the ZIP one.
dictionary() {
  case $1 in
    fuzz_directory | fuzz_extract | fuzz_install) echo tests/fuzz/dict/zip.dict ;;
    fuzz_inflate) echo tests/fuzz/dict/deflate.dict ;;
    *) [ -f "tests/fuzz/dict/${1#fuzz_}.dict" ] && echo "tests/fuzz/dict/${1#fuzz_}.dict" ;;
  esac
  return 0
}

# The largest input: the whole-run archive targets and the text targets
# take small ones, which keeps them fast (what they test is structure: the
# decoders have targets of their own for long streams).
max_len() {
  case $1 in
    fuzz_inflate | fuzz_explode | fuzz_unreduce | fuzz_unshrink) echo 65536 ;;
    *) echo 4096 ;;
  esac
}

run_target() {
  local target=$1 max
  max=$(max_len "$target")
  cmake --build $build -j2 --target "$target" >/dev/null
  local corpus=$build/corpus/$target
  if [ ! -d "$corpus" ]; then
    mkdir -p "$corpus"
    FUZZ_MAX_LEN=$max python3 scripts/fuzz_seeds.py "$target" "$corpus" tests/data \
      ../shared/testdata
  fi
  if [ -d "tests/fuzz/seeds/$target" ]; then cp -n tests/fuzz/seeds/"$target"/* "$corpus"/ || true; fi
  local dict
  dict=$(dictionary "$target")
  local log=$build/$target.log
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  if ! "$build/bin/$target" -max_total_time="$seconds" -max_len="$max" -rss_limit_mb=1024 \
    -timeout=20 -print_final_stats=1 ${dict:+-dict="$dict"} -artifact_prefix="$build/" \
    "$corpus" >"$log" 2>&1; then
    cat "$log"
    echo "fuzz target $target failed (reproducer in $build/)" >&2
    return 1
  fi
  local runs persec done
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  persec=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  done=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 | sed -E 's/.*(cov: .*corp: [^ ]*).*/\1/')
  printf '%-18s %10s runs %7s/s  %s\n' "$target" "$runs" "$persec" "$done"
}

if [ "$target" = all ]; then
  for t in "${all_targets[@]}"; do run_target "$t"; done
else
  run_target "$target"
fi
