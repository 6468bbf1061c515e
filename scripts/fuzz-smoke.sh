#!/usr/bin/env bash
# Runs every decoder fuzz target for a few seconds (default 5 each).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
for target in fuzz_inflate fuzz_explode fuzz_unreduce fuzz_unshrink; do
  echo "-- $target (${seconds}s)"
  scripts/fuzz.sh "$target" "$seconds"
done
