#!/usr/bin/env bash
# Runs every fuzz target for a few seconds (default 5 each): the decoders,
# the archive reader, a whole extraction, the settings file and the wildcards.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-5}
for target in fuzz_inflate fuzz_explode fuzz_unreduce fuzz_unshrink fuzz_directory fuzz_extract \
  fuzz_settings fuzz_wildcard; do
  echo "-- $target (${seconds}s)"
  scripts/fuzz.sh "$target" "$seconds"
done
