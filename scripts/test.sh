#!/usr/bin/env bash
# Runs the native unit tests of the layers' plain C++ parts, then builds everything and runs the
# whole test suite under Wine, with a virtual X display and a CUPS printer of the test run's own.
# Installs what is missing first (as root).
#   scripts/test.sh [BUILD_DIR] [-- CTEST_ARGUMENT...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
if [ $# -gt 0 ] && [ "$1" != "--" ]; then build=$1; shift; fi
[ "${1:-}" = "--" ] && shift

# First the plain C++ parts natively, in seconds; then the whole product under Wine.
bash "$root/scripts/native-tests.sh" "$build"
bash "$root/scripts/build.sh" "$build"
build=$(cd "$build" && pwd)
source "$root/scripts/test-services.sh"
start_test_services "$build"
trap 'stop_test_services "$build"' EXIT

cd "$build/kavrel"
# The suites leave GoogleTest's results here; the summary below counts the cases.
results=$(sed -n 's/^KAVREL_TEST_ROOT:INTERNAL=//p' CMakeCache.txt)/results
rm -rf "$results"
mkdir -p "$results"
status=0
ctest --output-on-failure --timeout 300 -j2 "$@" || status=$?
cat "$results"/*.xml 2>/dev/null | awk '
    /<testsuites / {
        for (i = 1; i <= NF; i++) {
            if ($i ~ /^tests="/)    { gsub(/[^0-9]/, "", $i); cases += $i }
            if ($i ~ /^failures="/) { gsub(/[^0-9]/, "", $i); failed += $i }
        }
    }
    END { printf "GoogleTest cases run by the suites above: %d, failed: %d\n", cases, failed }'
exit "$status"
