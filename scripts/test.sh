#!/usr/bin/env bash
# Builds both presets and runs every test: the unit tests on the simulated
# Windows, then the real tvuninst.exe under Wine in a throwaway prefix.
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

cmake --preset windows
cmake --build --preset windows -j "$jobs"
ctest --preset windows
