#!/usr/bin/env bash
# Sets up a fresh machine, builds the tests with the sanitizers and runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQXL_SANITIZE=ON -DQXL_WERROR=ON
cmake --build build-test
cd build-test
ctest --output-on-failure -j "$(nproc)" --timeout 600
