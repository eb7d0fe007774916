#!/usr/bin/env bash
# Builds the library and the command-line program, then solves the shipped
# example model and prints the log, the summary and the solution.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
build=${VANTO_BUILD_DIR:-$here/build-example}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVANTO_TESTS=OFF -DVANTO_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target vanto_cli
"$build/apps/vanto/vanto" --print-solution "$here/examples/production.mps"
