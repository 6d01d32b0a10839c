#!/usr/bin/env bash
# The benchmark: core throughput natively, then latency, idle CPU and start-up
# of Tamsel.exe under Wine beside a plain script. Writes docs/benchmark.md and
# docs/latency-histogram.png. Takes a few minutes; not a test.
# Usage: tools/bench.sh [--records N] [--idle SECONDS] [--starts N]
set -euo pipefail
cd "$(dirname "$0")/.."

tools/setup.sh
# Only the benchmark needs these: Google Benchmark for core_bench, matplotlib
# for the histogram.
missing=()
for package in libbenchmark-dev python3-matplotlib; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -q || true  # a mirror mid-sync: install from what could be read
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
tools/build.sh >/dev/null
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench -j2 --target core_bench >/dev/null
exec /usr/bin/python3 tools/bench.py "$@"
