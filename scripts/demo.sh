#!/usr/bin/env bash
# The main job, unattended: what an operator's script does with Kavrel, run through the host
# stand-in under Wine. A signature is scanned with the virtual scanner through Wine's own TWAIN
# manager into a sample client directory, kvrprov then finds it on file, and the viewer opens on
# the client's signatures; a screenshot of it is saved. Builds first (installing what is
# missing, as root).
#   scripts/demo.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
bash "$root/scripts/build.sh" "$build" >/dev/null
build=$(cd "$build" && pwd)
source "$root/scripts/test-services.sh"
start_test_services "$build" main
trap 'stop_test_services "$build"' EXIT

prefix=$build/kavrel/wine/main
kvrhost() { "$root/tests/wine/run-in-prefix.sh" "$prefix" "$build/kavrel/bin/kvrhost.exe" "$@" | sed 's/^/    /'; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

demo=$build/demo
clients=$demo/signatures
rm -rf "$demo"
mkdir -p "$clients"
client=40817810000000000001
directory=$(winpath "$clients")

# The virtual scanner's settings: a signature-sized test pattern.
printf '[Scanner]\r\nWidth=600\r\nHeight=250\r\n' > "$demo/virtual-scanner.ini"
export KAVREL_VSCAN_INI
KAVREL_VSCAN_INI=$(winpath "$demo/virtual-scanner.ini")

echo "Client $client, signature directory $directory"
echo
echo "kvrprov(result, directory, \"$client\") before any scan:"
kvrhost kvrprov - "$directory" "$client"
echo
for n in 1 2; do
    # The operator presses OK in the manager's source selection, then Scan in the scanner's window.
    echo "kvrscan(directory, \"${client}_$n\", result):"
    kvrhost --press 1 --press 1 kvrscan "$directory" "${client}_$n" -
done
echo
echo "Files on record:"
ls -l "$clients" | tail -n +2 | sed 's/^/    /'
echo
echo "kvrprov(result, directory, \"$client\") after the scans:"
kvrhost kvrprov - "$directory" "$client"
echo
echo "kvrshow(directory, \"$client\", \"Иванов И.И.\", \"1\", \"1\"): the viewer, photographed and closed:"
kvrhost --when-shown TTF "import -window root -crop {w}x{h}+{x}+{y} +repage '$demo/viewer.png'" \
    kvrshow "$directory" "$client" "Иванов И.И." 1 1
if [ -f "$demo/viewer.png" ]; then
    echo "    screenshot: $demo/viewer.png"
fi
echo
echo "(kvrprov: 0 signatures on file, 1 none for this client, 2 no usable directory; kvrscan: 0 saved)"
