#!/usr/bin/env bash
# Builds and runs every benchmark under Wine and prints one table of ratios measured side by side
# in this run: kvrscan's save road against a bare libjpeg encode, the viewer's ShowImageAt against
# a bare decode, kvrprov and the viewer's file list on 100,000 entries against a bare full
# enumeration, and the bitmap file exports against plain file calls. Each benchmark prints its
# details first. They are no tests: nothing here fails on time. Installs what is missing first.
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
wine_path() { local path=$1; echo "Z:${path//\//\\}"; }

if i386_emulated; then
    mode="emulated: 32-bit x86 under qemu's user-mode emulator"
    echo "Note: 32-bit x86 programs run under qemu's user-mode emulator here; every time below,"
    echo "the bare calls included, is an emulated time. Compare ratios, not milliseconds."
else
    mode="native: 32-bit x86 programs run natively"
    echo "32-bit x86 programs run natively here."
fi
echo

# Every client's signatures in one flat directory, made from this side in a second: 50,000
# clients with two files each (a JPEG and a bitmap; the walks only list them).
clients=$scratch/clients
mkdir "$clients"
(cd "$clients" && awk 'BEGIN { for (i = 1; i <= 50000; i++) {
        key = sprintf("408178100%011d", i); print key "_1.jpg"; print key "_2.bmp" } }' | xargs touch)
# And one client whose key begins with a letter, in two letter cases.
touch "$clients/Ivanov_1.jpg" "$clients/IVANOV_2.bmp"

table=$scratch/table
: >"$table"
run_benchmark() {
    local name=$1 argument=$2 output=$scratch/$1.out
    "$root/tests/wine/run-in-prefix.sh" "$build/kavrel/wine/main" "$build/kavrel/bin/$name.exe" \
        "$(wine_path "$argument")" >"$output" 2>&1 || echo "$name ended with an error" >>"$output"
    grep -v '^table|' "$output" || true
    grep '^table|' "$output" | cut -d'|' -f2- >>"$table" || true
    echo
}
run_benchmark scan_save_benchmark "$scratch"
run_benchmark viewer_open_benchmark "$scratch"
run_benchmark directory_walk_benchmark "$clients"
run_benchmark bmp_file_benchmark "$scratch"

echo "Kavrel benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $mode"
{
    echo "measure|Kavrel|bare|ratio|goal"
    cat "$table"
} | awk -F'|' '
    { for (i = 1; i <= NF; i++) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) } rows = NR }
    END {
        for (r = 1; r <= rows; r++) {
            line = sprintf("%-" width[1] "s", cell[r, 1])
            for (i = 2; i <= 5; i++) line = line "  " sprintf("%" width[i] "s", cell[r, i])
            print line
            if (r == 1) { rule = ""; for (i = 1; i < length(line) + 1; i++) rule = rule "-"; print rule }
        }
    }'
