#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test twice: a normal build and an
# AddressSanitizer + UndefinedBehaviorSanitizer build. Then, when clang is there, runs each
# fuzz target of tests/fuzz for a short fixed time; a crashing input is left in
# build-fuzz/tests/fuzz/artifacts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S "$root" -B "$dir" "$@"
  cmake --build "$dir" -j "$jobs"
  # Real-time end-to-end tests run alone so that load from other tests cannot skew them.
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" -LE e2e
  ctest --test-dir "$dir" --output-on-failure -L e2e
}

run_suite "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_suite "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DVELTRANE_SANITIZE=ON -DVELTRANE_BENCH=OFF

if command -v clang++ >/dev/null; then
  cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_CXX_COMPILER=clang++ -DVELTRANE_FUZZ=ON \
    -DVELTRANE_GUI=OFF -DVELTRANE_TESTS=OFF -DVELTRANE_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build "$root/build-fuzz" -j "$jobs"
  ctest --test-dir "$root/build-fuzz" --output-on-failure -j "$jobs" -L fuzz
fi
