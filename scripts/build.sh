#!/usr/bin/env bash
# Sets up a fresh machine, builds the libraries, tools and benchmarks optimised
# and runs the benchmarks (the tests are built by scripts/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQXL_BENCH=ON -DQXL_TESTS=OFF -DQXL_WERROR=ON
cmake --build build-release
for b in build-release/bench/*; do
  if [ -f "$b" ] && [ -x "$b" ]; then "$b" --benchmark_min_time=0.2; fi
done
