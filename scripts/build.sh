#!/usr/bin/env bash
# Sets up a fresh machine, builds everything optimised and runs the benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQXL_BENCH=ON -DQXL_WERROR=ON
cmake --build build-release
for b in build-release/bench/*; do
  [ -x "$b" ] && [ -f "$b" ] && "$b" --benchmark_min_time=0.2
done
