#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number
# of seconds (default 60), starting from the seed corpus in fuzz/corpus and
# first replaying every kept regression input in fuzz/regressions.
# Usage: tools/fuzz.sh [seconds-per-target] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(frame_fuzz record_writer_fuzz settings_file_fuzz launch_parameters_fuzz)

CC=clang CXX=clang++ cmake -S . -B build/fuzz -DTAMSEL_FUZZ=ON >/dev/null
cmake --build build/fuzz -j2 >/dev/null

# One target at a time on each core: libFuzzer runs in one thread.
run_target() {
  local target=$1
  local regressions=fuzz/regressions/$target
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    build/fuzz/$target "$regressions"/* >build/fuzz/$target-regressions.log 2>&1 ||
      { cat build/fuzz/$target-regressions.log; echo "$target: a kept regression input fails"; return 1; }
  fi
  local work=build/fuzz/corpus-$target
  mkdir -p "$work"
  if ! build/fuzz/$target -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix=build/fuzz/$target- "$work" fuzz/corpus/$target >build/fuzz/$target.log 2>&1; then
    tail -40 build/fuzz/$target.log
    echo "$target: failed; the input is kept as build/fuzz/$target-crash-*"
    return 1
  fi
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' build/fuzz/$target.log | grep -o '[0-9]*$')
  echo "$target: ${runs:-?} runs in ${seconds}s, no failure"
}

cores=$(nproc)
status=0
running=0
for target in "${targets[@]}"; do
  if [ "$running" -ge "$cores" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
  run_target "$target" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit "$status"
