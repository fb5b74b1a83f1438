#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# (FUZZ_SECONDS, 60 by default). Any crash, leak, sanitizer report or
# time-out fails the run; the input that caused it is kept and printed.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
cmake --preset fuzz
cmake --build --preset fuzz -j "$(nproc)" --target fw_engine_fuzz

work=$(mktemp -d "${TMPDIR:-/tmp}/fw-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$work/findings"

echo "fuzzing fw_engine_fuzz for ${seconds}s"
# New inputs go to the scratch corpus; the seeds in the repository stay as they are.
if ! build/fuzz/bin/fw_engine_fuzz -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/findings/" \
    "$work/corpus" fuzz/corpus/engine; then
  echo "fw_engine_fuzz found a fault; inputs:" >&2
  for f in "$work"/findings/*; do
    [ -e "$f" ] || continue
    echo "== $f" >&2
    od -A d -t x1 "$f" | head -40 >&2
    mkdir -p build/fuzz/findings && cp "$f" build/fuzz/findings/
  done
  exit 1
fi
echo "fuzzing: no findings"
