#!/usr/bin/env bash
# Runs every fuzz target for a few seconds (default 5 each): the decoders,
# the archive reader, a whole extraction, the settings file, the wildcards,
# the command line, the install-log merge, the recovery of an interrupted
# run and a whole installation run.
set -euo pipefail
cd "$(dirname "$0")/.."
exec scripts/fuzz.sh all "${1:-5}"
