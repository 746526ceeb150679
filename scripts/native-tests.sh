#!/usr/bin/env bash
# Builds the layers' plain C++ parts natively (the host's compiler, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs their unit tests: seconds, no Wine. Installs what is
# missing first (as root).
#   scripts/native-tests.sh [BUILD_DIR] [-- CTEST_ARGUMENT...]      (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
if [ $# -gt 0 ] && [ "$1" != "--" ]; then build=$1; shift; fi
[ "${1:-}" = "--" ] && shift

KAVREL_SETUP_QUIET=1 bash "$root/scripts/setup-machine.sh"
mkdir -p "$build"
build=$(cd "$build" && pwd)
if [ ! -f "$build/native/build.ninja" ]; then
    cmake -S "$root" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
cmake --build "$build/native"
ctest --test-dir "$build/native" --output-on-failure -j2 "$@"
