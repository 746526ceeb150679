#!/usr/bin/env bash
# Installs what building and testing Kavrel needs on a Debian 12 machine, as root with apt-get,
# and makes sure the machine can run 32-bit x86 Linux programs (32-bit Wine is one).
# Quick and quiet when everything is already there: each step first checks whether its work is done.
#
# Machines of the project's kind may run no 32-bit x86 code at all ("Exec format error"). Whether
# they do is found out by running a 32-bit program; when it does not run, i386 programs are run
# under qemu's user-mode emulator, registered with the kernel's binfmt_misc. KAVREL_EMULATE_I386=1
# takes that road on purpose on a machine that runs 32-bit code itself (binfmt_misc handlers come
# before the kernel's own ELF loader, so the registration takes effect there too).
set -euo pipefail

log() { [ -n "${KAVREL_SETUP_QUIET:-}" ] || echo "setup: $*"; }
say() { echo "setup: $*" >&2; }

if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then exec sudo -E bash "$0" "$@"; fi
    say "must run as root (apt-get installs the build tools)"
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
here=$(cd "$(dirname "$0")" && pwd)
source "$here/i386-emulation.sh"
need_update=0

# --- packages ---------------------------------------------------------------------------------

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
    cmake make ninja-build nasm ca-certificates xz-utils g++
    # The native tests of the plain C++ parts (JPEG decoding among them).
    libjpeg62-turbo-dev
    gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    # Wine's preloader reserves the 32-bit address space up front; under the emulator a Wine
    # process without it spends about 50 s in that reservation.
    wine wine32:i386 wine32-preloader:i386
    xvfb xauth x11-utils imagemagick
    locales
    googletest
    cups cups-client cups-bsd printer-driver-cups-pdf libcups2:i386 poppler-utils
    # Wine's camera source (gphoto2.ds) needs the 32-bit libgphoto2; the suite drives it as a peer.
    libgphoto2-6:i386
    dpkg-dev
    # The release archives (scripts/package.sh), its Windows Installer package (wixl, run at the
    # commit's time under faketime; msibuild from msitools) and its Authenticode signatures
    # (osslsigncode; openssl makes the tests' throwaway certificate).
    zip unzip
    wixl msitools faketime osslsigncode openssl
)
# What only some commands need (scripts/fuzz.sh: clang and its sanitizer run-times).
read -r -a extra <<<"${KAVREL_SETUP_EXTRA:-}"
packages+=("${extra[@]}")
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$p")
    fi
done

# One index that cannot be fetched (a mirror in the middle of a sync) makes apt-get update exit
# non-zero although every other index was refreshed: say so and go on with what there is.
refresh_indexes() {
    local out
    if ! out=$(apt-get update -qq 2>&1); then
        printf '%s\n' "$out" | sed 's/^/setup: apt-get update: /' >&2
        say "some package indexes could not be refreshed; going on with the others"
    fi
}

# A multi-arch pair (zlib1g:amd64 and zlib1g:i386, say) must have one version. When an index of
# one architecture is missing from a suite (the security suite's i386 list, say), the other
# architecture's newer version cannot be matched; preferring the release's own versions can.
install_packages() {
    apt-get install -y -qq --no-install-recommends "$@" >/dev/null 2>/tmp/kavrel-apt.$$ && return 0
    log "installing with the release's versions preferred"
    apt-get install -y -qq --no-install-recommends -t bookworm "$@" >/dev/null 2>>/tmp/kavrel-apt.$$ \
        && return 0
    return 1
}

if [ "${#missing[@]}" -gt 0 ]; then
    log "installing: ${missing[*]}"
    need_update=1
fi
if [ "$need_update" -eq 1 ]; then
    refresh_indexes
fi
if [ "${#missing[@]}" -gt 0 ]; then
    if ! install_packages "${missing[@]}"; then
        # A second refresh may find the mirror finished.
        refresh_indexes
        if ! install_packages "${missing[@]}"; then
            cat /tmp/kavrel-apt.$$ >&2
            rm -f /tmp/kavrel-apt.$$
            say "could not install: ${missing[*]}"
            exit 1
        fi
    fi
    rm -f /tmp/kavrel-apt.$$
fi

# The Russian glibc locale: without it Wine cannot decode the UTF-8 names of Linux files.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
    log "creating the ru_RU.UTF-8 locale"
    localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi

# --- 32-bit programs --------------------------------------------------------------------------

# Whether 32-bit programs run is found out by running one: a registered emulator that does not
# run them (a broken or missing file behind the registration) is registered again.
if [ "${KAVREL_EMULATE_I386:-0}" = 1 ]; then
    if ! i386_emulated || ! i386_runs; then
        log "emulating i386 programs on purpose (KAVREL_EMULATE_I386=1)"
        register_i386_emulator || exit 1
    fi
elif ! i386_runs; then
    log "this machine runs no 32-bit x86 code; i386 programs will run under qemu's emulator"
    register_i386_emulator || exit 1
fi
if ! i386_runs; then
    say "32-bit x86 programs still do not run:"
    "$(i386_probe_program)" --version 2>&1 | head -n 3 >&2 || true
    exit 1
fi
log "machine ready$(i386_emulated && echo ' (i386 programs emulated)' || true)"
