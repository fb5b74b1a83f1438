#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time:
# FUZZ_SECONDS in all (60 by default), half for the package engine and a
# quarter each for the settings text and the list entry choice. Any crash,
# leak, sanitizer report or time-out fails the run; the input that caused it
# is kept and printed. FUZZ_BUILD_DIR picks the build folder (build/fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
build=${FUZZ_BUILD_DIR:-build/fuzz}
# target, corpus folder, share of the time in quarters
targets=(
  "fw_engine_fuzz engine 2"
  "fw_ini_fuzz ini 1"
  "fw_select_list_fuzz select_list 1"
)

cmake --preset fuzz -B "$build"
cmake --build "$build" -j "$(nproc)" --target fw_engine_fuzz fw_ini_fuzz fw_select_list_fuzz

work=$(mktemp -d "${TMPDIR:-/tmp}/fw-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

failed=0
for entry in "${targets[@]}"; do
  read -r target corpus quarters <<<"$entry"
  time=$(( seconds * quarters / 4 ))
  (( time >= 1 )) || time=1
  mkdir -p "$work/$target/corpus" "$work/$target/findings"
  echo "fuzzing $target for ${time}s"
  # New inputs go to the scratch corpus; the seeds in the repository stay as they are.
  if ! "$build/bin/$target" -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$work/$target/findings/" \
      "$work/$target/corpus" "fuzz/corpus/$corpus"; then
    echo "$target found a fault; inputs:" >&2
    for f in "$work/$target"/findings/*; do
      [ -e "$f" ] || continue
      echo "== $f" >&2
      od -A d -t x1 "$f" | head -40 >&2
      mkdir -p "$build/findings/$target" && cp "$f" "$build/findings/$target/"
    done
    failed=1
  fi
done
if (( failed )); then
  exit 1
fi
echo "fuzzing: no findings"
