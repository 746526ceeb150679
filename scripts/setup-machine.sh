#!/usr/bin/env bash
# Installs what building and testing Kavrel needs on a Debian 12 machine, as root with apt-get.
# Quick and quiet when everything is already there: each step first checks whether its work is done.
set -euo pipefail

log() { [ -n "${KAVREL_SETUP_QUIET:-}" ] || echo "setup: $*"; }

if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then exec sudo -E bash "$0" "$@"; fi
    echo "setup: must run as root (apt-get installs the build tools)" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
need_update=0

# The i386 architecture for 32-bit Wine and the 32-bit CUPS client library Wine loads.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    log "adding the i386 architecture"
    dpkg --add-architecture i386
    need_update=1
fi

# A deb-src entry for the release, so that libjpeg-turbo's source can be fetched and verified by apt.
src_list=/etc/apt/sources.list.d/kavrel-deb-src.sources
if [ ! -f "$src_list" ]; then
    log "adding a deb-src entry for bookworm"
    cat > "$src_list" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    need_update=1
fi

packages=(
    cmake make ninja-build nasm ca-certificates xz-utils
    gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    wine wine32:i386
    xvfb xauth x11-utils imagemagick
    locales
    googletest
    cups cups-client cups-bsd printer-driver-cups-pdf libcups2:i386 poppler-utils
    dpkg-dev
)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$p")
    fi
done
if [ "${#missing[@]}" -gt 0 ]; then
    log "installing: ${missing[*]}"
    need_update=1
fi
if [ "$need_update" -eq 1 ]; then
    apt-get update -qq
fi
if [ "${#missing[@]}" -gt 0 ]; then
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The Russian glibc locale: without it Wine cannot decode the UTF-8 names of Linux files.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
    log "creating the ru_RU.UTF-8 locale"
    localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
log "machine ready"
