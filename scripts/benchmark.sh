#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine (they print their measurements; they are no tests).
#   scripts/benchmark.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
bash "$root/scripts/build.sh" "$build" >/dev/null
build=$(cd "$build" && pwd)
cmake --build "$build/kavrel" --target benchmarks >/dev/null
source "$root/scripts/i386-emulation.sh"
source "$root/scripts/test-services.sh"
start_test_services "$build" main
# Scratch files under a short path: the library's file calls take 128 characters at most.
scratch=$(mktemp -d /tmp/kavrel-bench.XXXXXX)
trap 'stop_test_services "$build"; rm -rf "$scratch"' EXIT
if i386_emulated; then
    echo "Note: 32-bit x86 programs run under qemu's user-mode emulator here; every time below,"
    echo "the bare libjpeg calls included, is an emulated time. Compare ratios, not milliseconds."
else
    echo "32-bit x86 programs run natively here."
fi
echo
for bench in "$build"/kavrel/bin/*_benchmark.exe; do
    "$root/tests/wine/run-in-prefix.sh" "$build/kavrel/wine/main" "$bench" "Z:${scratch//\//\\}"
done
