#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# the Linux build under AddressSanitizer and UndefinedBehaviorSanitizer, the
# Debian package, the Windows build of the USB library under Wine, and the
# fuzzers for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
echo "== Linux build (asan) =="
cmake --preset asan
cmake --build --preset asan -j "$jobs"
echo "== Linux tests (asan) =="
ctest --preset asan -j "$jobs"

echo "== Debian package (built, checked with dpkg-deb and lintian, installed into a throwaway root) =="
bash tests/install/debian_package.sh

if [ -f scripts/test-windows.sh ]; then
  echo "== Windows build of TAVLIB under Wine =="
  bash scripts/test-windows.sh
fi

if [ -f scripts/test-fuzz.sh ]; then
  echo "== Fuzzing =="
  bash scripts/test-fuzz.sh
fi
echo "== all tests passed =="
