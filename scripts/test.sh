#!/usr/bin/env bash
# Sets up a fresh machine, then builds and runs every test in three
# configurations: Debug with AddressSanitizer and UndefinedBehaviorSanitizer,
# optimised with the standard library's assertions, and ThreadSanitizer. It
# also builds the benchmarks so that they cannot rot (scripts/build.sh runs them).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

run_config() {  # build dir, then cmake options
  local dir=$1; shift
  echo "=== $dir"
  cmake -S . -B "$dir" -G Ninja -DQXL_WERROR=ON "$@"
  cmake --build "$dir"
}

run_tests() {
  (cd "$1" && ctest --output-on-failure -j "$jobs" --timeout 600)
}

run_config build-test -DCMAKE_BUILD_TYPE=Debug -DQXL_SANITIZE=ON
run_tests build-test
run_config build-test-opt -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS=-D_GLIBCXX_ASSERTIONS
run_tests build-test-opt
run_config build-test-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQXL_TSAN=ON
TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp" run_tests build-test-tsan
run_config build-bench -DCMAKE_BUILD_TYPE=Release -DQXL_BENCH=ON -DQXL_TESTS=OFF
