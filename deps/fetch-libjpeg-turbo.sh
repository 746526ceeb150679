#!/bin/sh
# Fetches libjpeg-turbo's source from Debian's own source package (apt checks it against the
# signed index; the machine set-up adds the deb-src entry) and unpacks it with Debian's changes.
# The version must be the one THIRD-PARTY-NOTICES names: another one would ship code under notices
# that are not its own, so the build stops and says so.
#   fetch-libjpeg-turbo.sh DOWNLOAD_DIR SOURCE_DIR VERSION
set -eu
download=$1 source=$2 wanted=$3
rm -rf "$source"
cd "$download"
apt-get source --download-only -qq libjpeg-turbo 2>/dev/null
dpkg-source -q -x libjpeg-turbo_*.dsc "$source"
got=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
got=${got#*:}  # without the epoch: 1:2.1.5-2 is upstream 2.1.5, Debian revision 2
case "$got" in
"$wanted"-*) ;;
*)
    echo "deps: apt offers libjpeg-turbo $got, not $wanted, the version THIRD-PARTY-NOTICES names:" >&2
    echo "deps: update the notice from the new package's copyright file, then the version in deps/CMakeLists.txt" >&2
    exit 1
    ;;
esac
