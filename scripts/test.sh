#!/usr/bin/env bash
# Builds the presets and runs every test: the unit tests on the simulated
# Windows, then the real exe under Wine in a throwaway prefix. The last line
# says which exe the Wine suites tested.
#   TVUNINST_NO_32BIT=1      test the 64-bit build under Wine even where 32-bit
#                            programs run (its Wine commands must not need them)
#   TVUNINST_WINE_OPTIONAL=1 exit 0 when the Wine suites cannot run at all
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
jobs=$(nproc)

cmake --preset host
cmake --build --preset host -j "$jobs"
ctest --preset host -j "$jobs"

cmake --preset host-asan
cmake --build --preset host-asan -j "$jobs"
ctest --preset host-asan -j "$jobs"

# The shipped exe is always built, and its own checks (format, resources) run.
cmake --preset windows
cmake --build --preset windows -j "$jobs"

. scripts/wine-bitness.sh
if runs_32bit; then
  ctest --preset windows
  echo "Wine suites: 32-bit exe (native)"
  exit 0
fi
ctest --preset windows -E '^e2e_'
why=$(no_32bit_reason)
if runs_64bit; then
  cmake --preset windows64
  cmake --build --preset windows64 -j "$jobs"
  ctest --preset windows64
  echo "Wine suites: 64-bit exe ($why)"
  exit 0
fi
echo "Wine suites: NOT RUN ($why, nor 64-bit ones through /usr/lib/wine/wine64)"
if [ -n "${TVUNINST_WINE_OPTIONAL:-}" ]; then
  exit 0
fi
exit 1
