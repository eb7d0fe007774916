#!/usr/bin/env bash
# Builds from scratch and runs the whole test suite: a release-mode build and
# an AddressSanitizer/UndefinedBehaviorSanitizer build.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
jobs=$(nproc 2>/dev/null || echo 2)
build=${VANTO_BUILD_DIR:-$here/build-test}
rm -rf "$build" "$build-asan"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVANTO_BENCH=OFF
cmake --build "$build" -j"$jobs"
ctest --test-dir "$build" --output-on-failure -j"$jobs"
if [ "${VANTO_SKIP_SANITIZERS:-0}" != 1 ]; then
  cmake -S "$here" -B "$build-asan" -DCMAKE_BUILD_TYPE=Debug -DVANTO_SANITIZE=ON -DVANTO_BENCH=OFF
  cmake --build "$build-asan" -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$build-asan" --output-on-failure -j"$jobs" -LE slow
fi
