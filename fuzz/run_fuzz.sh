#!/bin/sh
# Runs one fuzz target for BK_FUZZ_SECONDS seconds (default 5) from its seed
# corpus. New inputs go to a scratch folder (the committed corpus is never
# changed); a crashing input is kept under ARTIFACTS for a regression test.
#   run_fuzz.sh TARGET SEED_DIR ARTIFACTS
set -eu
target=$1 seeds=$2 artifacts=$3
seconds=${BK_FUZZ_SECONDS:-5}
mkdir -p "$artifacts"
work=$(mktemp -d "${TMPDIR:-/tmp}/bk-fuzz-corpus.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$target" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$artifacts/" "$work" "$seeds"
