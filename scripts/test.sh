#!/usr/bin/env bash
# Builds everything and runs the whole test suite under Wine, with a virtual X display and a
# CUPS printer of the test run's own. Installs what is missing first (as root).
#   scripts/test.sh [BUILD_DIR] [-- CTEST_ARGUMENT...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
if [ $# -gt 0 ] && [ "$1" != "--" ]; then build=$1; shift; fi
[ "${1:-}" = "--" ] && shift

bash "$root/scripts/build.sh" "$build"
build=$(cd "$build" && pwd)
source "$root/scripts/test-services.sh"
start_test_services "$build"
trap 'stop_test_services "$build"' EXIT

cd "$build/kavrel"
ctest --output-on-failure --timeout 300 -j2 "$@"
