#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# the Linux build under AddressSanitizer and UndefinedBehaviorSanitizer,
# the Windows build of the USB library under Wine, and the fuzzers for a
# bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
echo "== Linux build (asan) =="
cmake --preset asan
cmake --build --preset asan -j "$jobs"
echo "== Linux tests (asan) =="
ctest --preset asan -j "$jobs"

if [ -f scripts/test-windows.sh ]; then
  echo "== Windows build of TAVLIB under Wine =="
  bash scripts/test-windows.sh
fi

if [ -f scripts/test-fuzz.sh ]; then
  echo "== Fuzzing =="
  bash scripts/test-fuzz.sh
fi
echo "== all tests passed =="
