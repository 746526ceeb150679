#!/usr/bin/env bash
# Fuzzes the plain C++ parsers (BMP files, DIB headers, capability containers, JPEG decoding) with
# libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer (clang, built natively), each
# target for SECONDS (default 600), two at a time. The committed seeds (tests/fuzz/corpus) are read,
# not changed; new inputs go to build/fuzz/corpus/TARGET. A finding is written to
# build/fuzz/findings/TARGET/ and fails the run: make it a regression test (a seed of its own, so
# that the test command replays it) once it is mended. Installs what is missing first (as root).
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_bmp_file fuzz_dib_header fuzz_capability_container fuzz_jpeg)

KAVREL_SETUP_QUIET=1 KAVREL_SETUP_EXTRA="clang libclang-rt-14-dev" bash "$root/scripts/setup-machine.sh"
build=$root/build/fuzz
if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVREL_FUZZ=ON \
        >/dev/null
fi
cmake --build "$build" --target "${targets[@]}"

run_one() {
    local target=$1
    mkdir -p "$build/corpus/$target" "$build/findings/$target"
    echo "fuzz: $target for $seconds s"
    "$build/fuzz/$target" "$build/corpus/$target" "$root/tests/fuzz/corpus/$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$target/" >"$build/$target.log" 2>&1 || true
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+ *DONE' "$build/$target.log" | \
        sed "s/^/  $target: /" || true
}

pids=()
for target in "${targets[@]}"; do
    run_one "$target" &
    pids+=($!)
    if [ ${#pids[@]} -ge 2 ]; then wait "${pids[0]}" || true; pids=("${pids[@]:1}"); fi
done
for pid in "${pids[@]}"; do wait "$pid" || true; done

status=0
for target in "${targets[@]}"; do
    if compgen -G "$build/findings/$target/*" >/dev/null; then
        echo "fuzz: $target found something:"
        ls "$build/findings/$target/"
        grep -m1 -A12 'ERROR: ' "$build/$target.log" || true
        status=1
    fi
done
[ $status -eq 0 ] && echo "fuzz: nothing found"
exit $status
