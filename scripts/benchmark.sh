#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine (they print their measurements; they are no tests).
#   scripts/benchmark.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
bash "$root/scripts/build.sh" "$build" >/dev/null
build=$(cd "$build" && pwd)
cmake --build "$build/kavrel" --target benchmarks >/dev/null
source "$root/scripts/test-services.sh"
start_test_services "$build"
trap 'stop_test_services "$build"' EXIT
scratch=$build/bench-scratch
mkdir -p "$scratch"
for bench in "$build"/kavrel/bin/*_benchmark.exe; do
    "$root/tests/wine/run-in-prefix.sh" "$build/kavrel/wine/main" "$bench" "Z:${scratch//\//\\}"
done
