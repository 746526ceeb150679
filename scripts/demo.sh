#!/usr/bin/env bash
# The main job: what an operator's script does with Kavrel, run through the host stand-in under
# Wine. Builds first (installing what is missing, as root).
#   scripts/demo.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
bash "$root/scripts/build.sh" "$build" >/dev/null
build=$(cd "$build" && pwd)
source "$root/scripts/test-services.sh"
start_test_services "$build"
trap 'stop_test_services "$build"' EXIT

prefix=$build/kavrel/wine/main
kvrhost() { "$root/tests/wine/run-in-prefix.sh" "$prefix" "$build/kavrel/bin/kvrhost.exe" "$@"; }
winpath() { echo "Z:${1//\//\\}"; }

# A sample signature directory: two clients with images on file, one without.
clients=$build/demo/signatures
rm -rf "$clients"
mkdir -p "$clients"
printf 'BM' > "$clients/40817810000000000001_1.bmp"
printf 'BM' > "$clients/40817810000000000001_2.jpg"
printf 'BM' > "$clients/Иванов И.И..jpg"
printf 'x' > "$clients/40817810000000000002.txt"
echo "Sample signature directory $(winpath "$clients"):"
ls -1 "$clients" | sed 's/^/  /'
echo

for key in 40817810000000000001 иванов 40817810000000000002; do
    echo "kvrprov(result, \"$(winpath "$clients")\", \"$key\"):"
    kvrhost kvrprov - "$(winpath "$clients")" "$key" | sed 's/^/  /'
done
echo "kvrprov(result, \"$(winpath "$clients")\\missing\", \"x\"):"
kvrhost kvrprov - "$(winpath "$clients")\\missing" x | sed 's/^/  /'
echo
echo "(0: signatures on file, 1: none for this client, 2: no usable directory)"
