#!/usr/bin/env bash
# Takes Wine's conformance test of TWAIN sources (dlls/twain_32/tests/dsm.c) and the two headers
# it is built with (include/wine/test.h, include/twain.h) from Debian's source package of the
# Wine installed here, into DIR. Nothing else of Wine is unpacked or built. Done once for each
# version of Wine: the version is kept beside the files.
#   fetch-wine-twain-test.sh DIR
set -euo pipefail
dir=$1
files=(dlls/twain_32/tests/dsm.c include/wine/test.h include/twain.h)

read -r package version < <(dpkg-query -W -f='${source:Package} ${source:Version}\n' wine)
if [ -f "$dir/.version" ] && [ "$(cat "$dir/.version")" = "$package $version" ]; then exit 0; fi

echo "build: Wine's TWAIN source test from the source package $package $version"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && apt-get source --download-only -qq "$package=$version" >/dev/null 2>"$work/apt.log"); then
    cat "$work/apt.log" >&2
    echo "build: cannot fetch the source package $package $version (a deb-src entry: scripts/setup-machine.sh)" >&2
    exit 1
fi
# Debian's own changes apply on top of the upstream tarball; none may touch these files, or the
# test built here would not be the one of the installed Wine.
debian_tar=$(ls "$work"/*.debian.tar.* 2>/dev/null | head -n 1 || true)
if [ -n "$debian_tar" ]; then
    for f in "${files[@]}"; do
        if tar -xaf "$debian_tar" -O --wildcards 'debian/patches/*' 2>/dev/null | grep -q "^+++ .*/$f"; then
            echo "build: Debian's package patches $f; taking it unpatched would test another Wine" >&2
            exit 1
        fi
    done
fi
orig=$(ls "$work"/*.orig.tar.* | head -n 1)
rm -rf "$dir"
mkdir -p "$dir"
tar -xaf "$orig" -C "$dir" --strip-components=1 --wildcards "${files[@]/#/*/}"
for f in "${files[@]}"; do
    [ -f "$dir/$f" ] || { echo "build: $f is not in $orig" >&2; exit 1; }
done
echo "$package $version" > "$dir/.version"
