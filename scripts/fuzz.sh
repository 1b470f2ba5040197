#!/usr/bin/env bash
# Runs each fuzz target under libFuzzer for a set time (default 60 s) and adds
# what it finds to the committed corpus, which the test command replays.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

scripts/install-deps.sh clang libclang-rt-14-dev

cmake --preset fuzz
cmake --build --preset fuzz -j "$(nproc)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in command_line module_path; do
  fuzzer=build/fuzz/tests/fuzz/${target}_fuzz
  corpus=tests/fuzz/corpus/$target
  mkdir -p "$work/$target"
  (cd "$work" && "$OLDPWD/$fuzzer" -max_total_time="$seconds" -rss_limit_mb=4096 -print_final_stats=1 \
    "$work/$target" "$OLDPWD/$corpus" 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|violated|SUMMARY' || true)
  "$fuzzer" -merge=1 "$corpus" "$work/$target" >/dev/null 2>&1
  echo "$target: corpus of $(ls "$corpus" | wc -l) inputs"
  ls "$work"/crash-* "$work"/oom-* "$work"/timeout-* 2>/dev/null && { echo "$target: a finding is in $work"; trap - EXIT; exit 1; }
done
