#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the
# format of the sources, the Linux build under AddressSanitizer and
# UndefinedBehaviorSanitizer, the end-to-end tests again in a build without
# them, the Debian package, the whole Windows build
# under Wine, and the fuzzers for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "== $(date +%T) Format (.clang-format) =="
if git rev-parse --git-dir >/dev/null 2>&1; then
  git ls-files '*.cpp' '*.h' '*.c'
else
  find app usblib tests tools bench fuzz -name '*.cpp' -o -name '*.h' -o -name '*.c'
fi | xargs clang-format --dry-run --Werror

jobs=$(nproc)
echo "== $(date +%T) Linux build (asan) =="
cmake --preset asan
cmake --build --preset asan -j "$jobs"
echo "== $(date +%T) Linux tests (asan) =="
ctest --preset asan -j "$jobs"

# Timing faults hide under the sanitizers' slowness: the end-to-end tests
# run once more in a plain optimised build.
echo "== $(date +%T) End-to-end tests without sanitizers (default: RelWithDebInfo) =="
cmake --preset default
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs" -R '^(e2e\.|Cli|Station)'

echo "== $(date +%T) Debian package (built, checked with dpkg-deb and lintian, installed into a throwaway root) =="
bash tests/install/debian_package.sh

echo "== $(date +%T) Windows build (Firmware.exe, firmware-cli.exe, TAVLIB.dll, the zip) under Wine =="
bash scripts/test-windows.sh

echo "== $(date +%T) Fuzzing =="
bash scripts/test-fuzz.sh
echo "== $(date +%T) all tests passed =="
