#!/usr/bin/env bash
# Builds Kavrel.dll, its tools and tests for 32-bit Windows, with the libraries it needs.
# Installs missing packages first (as root). Incremental: a second run only rebuilds what changed.
#   scripts/build.sh [BUILD_DIR]        (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mkdir -p "$build"
build=$(cd "$build" && pwd)

KAVREL_SETUP_QUIET=1 bash "$root/scripts/setup-machine.sh"

# Third-party libraries for the target (libjpeg-turbo, GoogleTest), built once; again, from
# scratch, when the way they are built changes (the stamp's number is raised then).
stamp=.kavrel-built-2
if [ ! -f "$build/deps/$stamp" ]; then
    echo "build: libjpeg-turbo and GoogleTest for i686-w64-mingw32"
    rm -rf "$build/deps"
    cmake -S "$root/deps" -B "$build/deps" -G Ninja >/dev/null
    cmake --build "$build/deps"
    touch "$build/deps/$stamp"
fi

# Wine's conformance test of TWAIN sources, which the suite runs against the virtual scanner.
bash "$root/scripts/fetch-wine-twain-test.sh" "$build/deps/wine-twain-test"

if [ ! -f "$build/kavrel/build.ninja" ]; then
    cmake -S "$root" -B "$build/kavrel" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
        -DCMAKE_PREFIX_PATH="$build/deps/prefix" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build/kavrel"
