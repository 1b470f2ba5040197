#!/usr/bin/env bash
# The main job on a staged demo installation: builds tvuninst.exe, stages a
# complete Telvarine installation in a throwaway Wine prefix, runs the
# uninstaller silently and shows what was there before and what is left.
#   --keep          keep the prefix for inspection (its path is printed)
#   --hold          hold a file of the folder open during the run, as a game
#                   that is still running would (the run then exits 1603)
#   --interactive   no -s: answer the boxes on a virtual display and save
#                   screenshots of them in build/demo-screenshots
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
. scripts/wine-bitness.sh
preset=windows
if ! runs_32bit && runs_64bit; then
  # Not the shipped exe: the 64-bit build of the same sources.
  echo "demo with the 64-bit build ($(no_32bit_reason))"
  preset=windows64
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
TVUNINST_BUILD="$PWD/build/$preset" exec python3 scripts/demo.py "$@"
