#!/usr/bin/env bash
# Makes the release from this checkout. Installs what is missing first (as root).
#
#   scripts/package.sh           builds the shipped binaries from scratch (no tests) in
#                                build/release, installs them with everything a workstation and a
#                                programmer need (cmake --install) and packs
#                                  dist/kavrel-<version>-win32.zip          the install tree
#                                  dist/kavrel-<version>-win32-symbols.zip  the shipped binaries' .debug files
#                                  dist/kavrel-<version>-win32.msi          the Windows Installer package
#                                                                           (packaging/kavrel.wxs)
#                                  dist/SHA256SUMS                          the SHA-256 of all three
#   scripts/package.sh --check   builds the last commit twice, in two fresh clones at different
#                                paths (one with a space in it), one after the other and under
#                                different time zones and file modes, and compares every file of
#                                the two archives and the archives themselves; prints the SHA-256
#                                of each from both builds and fails, naming the file, on any
#                                difference (for the package: each of its tables and streams)
#   scripts/package.sh --pack BUILD_TREE DIST
#                                packs what a build tree that is already built installs, the same
#                                way, into DIST (the tests package their own build with it)
#
# Signing: when KAVREL_SIGN_PKCS12 names a PKCS#12 file (the bank's code-signing certificate with
# its key) and KAVREL_SIGN_PASSWORD_FILE a file holding its password, every shipped binary
# (bin/*.dll, *.exe, *.ds) is signed with Authenticode (SHA-256) before it is packed, and the
# package after it is made; KAVREL_SIGN_TIMESTAMP_URL, when set, names an RFC 3161 time-stamp
# server for every signature. Without them nothing is signed, and the archives are what they were
# before signing existed. --check builds without them: it compares what the sources give, and a
# signature (its signing time) differs at every signing.
#
# <version> is the project's version (CMakeLists.txt), with "-dirty" when the checkout holds
# changes that are not committed, "-unknown" when its commits cannot be counted (a shallow clone,
# a tree without git): such a build is never given a clean-looking version (its binaries say so
# too). The archives are the same, byte for byte, whenever and wherever the same
# commit is packed: their files are sorted, dated from the commit and have fixed modes.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
say() { echo "package: $*"; }
fail() { echo "package: $*" >&2; exit 1; }

# Packing a tree that is built (--pack, for the tests) needs nothing installed.
[ "${1:-}" = --pack ] || KAVREL_SETUP_QUIET=1 bash "$root/scripts/setup-machine.sh"
# What this script uses beyond the build's own tools (which the build names when one is missing).
for tool in git zip unzip sha256sum cmake ninja wixl msiinfo msidump i686-w64-mingw32-objcopy i686-w64-mingw32-objdump \
            i686-w64-mingw32-windres i686-w64-mingw32-dlltool; do
    command -v "$tool" >/dev/null 2>&1 ||
        fail "$tool is missing; scripts/setup-machine.sh installs it (as root), or install it by hand"
done

# --- making the release ---------------------------------------------------------------------------
make_release() {
    local build=$root/build/release dist=$root/dist
    rm -rf "$build"
    say "building libjpeg-turbo for i686-w64-mingw32"
    cmake -S "$root/deps" -B "$build/deps" -G Ninja -DKAVREL_DEPS_GOOGLETEST=OFF >/dev/null
    cmake --build "$build/deps" >/dev/null
    say "building the shipped binaries"
    cmake -S "$root" -B "$build/kavrel" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw.cmake" \
        -DCMAKE_PREFIX_PATH="$build/deps/prefix" \
        -DCMAKE_BUILD_TYPE=Release -DKAVREL_BUILD_TESTS=OFF >/dev/null
    cmake --build "$build/kavrel" >/dev/null

    pack_release "$build/kavrel" "$dist" "$build/stage"
}

# Signs FILE in place with Authenticode (SHA-256), with the bank's certificate that
# KAVREL_SIGN_PKCS12 names, and an RFC 3161 time stamp when KAVREL_SIGN_TIMESTAMP_URL is set.
sign_file() {
    local file=$1 timestamp=()
    [ -n "${KAVREL_SIGN_TIMESTAMP_URL:-}" ] && timestamp=(-ts "$KAVREL_SIGN_TIMESTAMP_URL")
    rm -f "$file.signed"
    osslsigncode sign -pkcs12 "$KAVREL_SIGN_PKCS12" -readpass "$KAVREL_SIGN_PASSWORD_FILE" \
        -h sha256 -n Kavrel "${timestamp[@]}" -in "$file" -out "$file.signed" >/dev/null ||
        fail "signing $(basename "$file") failed"
    mv "$file.signed" "$file"
}

# Packs what the build tree BUILD (configured and built) installs into the folder DIST, both made
# anew, STAGE holding the install trees.
pack_release() {
    local build=$1 dist=$2 stage=$3
    local values=$build/version/kavrel_version.txt
    value() { sed -n "s/^$1=//p" "$values"; }
    local version text epoch
    version=$(value version)
    text=$(value version_text)
    epoch=$(value source_date_epoch)
    [ -n "$version" ] && [ -n "$epoch" ] || fail "the build wrote no version ($values)"
    if [ "$(value dirty)" = ON ]; then
        say "the checkout has uncommitted changes: this is no release, and its version says so ($text)"
        git -C "$root" status --short | sed 's/^/    /'
    elif [ "$version" != "${version%-unknown}" ]; then
        say "the checkout's history is missing (a shallow clone, or no git): this is no release, and its version says so ($text)"
    fi
    local signing=
    if [ -n "${KAVREL_SIGN_PKCS12:-}" ] || [ -n "${KAVREL_SIGN_PASSWORD_FILE:-}" ]; then
        [ -f "${KAVREL_SIGN_PKCS12:-}" ] && [ -f "${KAVREL_SIGN_PASSWORD_FILE:-}" ] ||
            fail "signing needs both KAVREL_SIGN_PKCS12 (the certificate, PKCS#12) and KAVREL_SIGN_PASSWORD_FILE (its password) to name files"
        command -v osslsigncode >/dev/null 2>&1 ||
            fail "osslsigncode is missing; scripts/setup-machine.sh installs it (as root), or install it by hand"
        signing=yes
    fi

    local name=kavrel-$version
    rm -rf "$stage"
    cmake --install "$build" --prefix "$stage/main/$name" --component kavrel >/dev/null
    cmake --install "$build" --prefix "$stage/symbols/$name" --component symbols >/dev/null
    # Signed before anything is packed or summed, so that the archive, its SHA256SUMS and the
    # package all hold the signed binaries. (The symbol files are found by their own CRC, which
    # a signature does not change.)
    local binary
    if [ -n "$signing" ]; then
        for binary in "$stage/main/$name"/bin/*.dll "$stage/main/$name"/bin/*.exe "$stage/main/$name"/bin/*.ds; do
            [ -f "$binary" ] || continue
            sign_file "$binary"
            say "signed bin/$(basename "$binary")"
        done
    fi
    # The SHA-256 of every file, for checking a file on a workstation against the release.
    (cd "$stage/main/$name" && find . -type f | LC_ALL=C sort | sed 's|^\./||' |
        xargs -d '\n' sha256sum) > "$stage/SHA256SUMS"
    mv "$stage/SHA256SUMS" "$stage/main/$name/SHA256SUMS"

    # Made beside the release folder and put in its place only when complete: a failure on the
    # way (a signature refused, a time-stamp server away) leaves the earlier release as it was,
    # never a half-signed one.
    local out=$dist.partial
    rm -rf "$out"
    mkdir -p "$out"
    local archive
    for part in main symbols; do
        archive=$out/$name-win32.zip
        [ "$part" = symbols ] && archive=$out/$name-win32-symbols.zip
        # Fixed modes and the commit's time on every entry; sorted names; no extra fields (owner,
        # Unix times); DOS times in UTC.
        find "$stage/$part" -type d -exec chmod 755 {} +
        find "$stage/$part" -type f -exec chmod 644 {} +
        find "$stage/$part" -exec touch -h -d "@$epoch" {} +
        (cd "$stage/$part" && find "$name" | LC_ALL=C sort | TZ=UTC zip -X -9 -q "$archive" -@)
    done
    # The Windows Installer package, from the same tree (packaging/kavrel.wxs), signed last.
    local package=$name-win32.msi
    bash "$root/scripts/make-msi.sh" "$stage/main/$name" "$values" "$out/$package" ||
        fail "making the Windows Installer package failed"
    if [ -n "$signing" ]; then
        sign_file "$out/$package"
        say "signed $package"
    fi
    (cd "$out" && sha256sum "$name-win32.zip" "$name-win32-symbols.zip" "$package" > SHA256SUMS)

    rm -rf "$dist"
    mv "$out" "$dist"

    say "made the release $text${signing:+, signed}:"
    unzip -l "$dist/$name-win32.zip" | sed 's/^/    /'
    unzip -l "$dist/$name-win32-symbols.zip" | sed 's/^/    /'
    msiinfo suminfo "$dist/$package" | sed -n 's/^\(Subject\|Revision number (UUID)\|Created\): /    package: \1: /p'
    sed 's/^/    /' "$dist/SHA256SUMS"
}

# --- checking that the release is reproducible ------------------------------------------------------
# "HASH  FILE" lines for every file of the archives in a dist folder, and for the archives.
release_digests() {
    local dist=$1 unpacked=$2 archive
    mkdir -p "$unpacked"
    for archive in "$dist"/*.zip; do
        unzip -q -o "$archive" -d "$unpacked/$(basename "$archive" .zip)"
    done
    # The package's tables (as text) and streams (the cabinet, the summary information), so that
    # a difference names the part of the package that differs.
    for archive in "$dist"/*.msi; do
        mkdir -p "$unpacked/$(basename "$archive")"
        msidump -t -s -d "$unpacked/$(basename "$archive")" "$archive" >/dev/null
    done
    (cd "$unpacked" && find . -type f | LC_ALL=C sort | sed 's|^\./||' | xargs -d '\n' sha256sum)
    (cd "$dist" && sha256sum ./*.zip ./*.msi | sed 's|\./||')
}

check_release() {
    local commit
    commit=$(git -C "$root" rev-parse HEAD)
    if [ -n "$(git -C "$root" status --porcelain)" ]; then
        say "the checkout has uncommitted changes; the check builds the last commit, ${commit:0:7}, without them"
    fi
    local scratch
    scratch=$(mktemp -d /tmp/kavrel-check.XXXXXX)
    local first=$scratch/one second="$scratch/second clone, another path/kavrel"
    local clone
    for clone in "$first" "$second"; do
        git clone --quiet --no-checkout "$root" "$clone"
        git -C "$clone" checkout --quiet --detach "$commit"
    done
    # Both unsigned: a signature carries its signing time, and the check is of the sources.
    local unsigned=(env -u KAVREL_SIGN_PKCS12 -u KAVREL_SIGN_PASSWORD_FILE -u KAVREL_SIGN_TIMESTAMP_URL)
    say "first build, in $first"
    (cd "$first" && TZ=UTC "${unsigned[@]}" bash scripts/package.sh) > "$scratch/first.log" 2>&1 ||
        { tail -n 30 "$scratch/first.log" >&2; fail "the first build failed (log: $scratch/first.log)"; }
    say "second build, in $second"
    (cd "$second" && umask 077 && TZ=Asia/Yekaterinburg "${unsigned[@]}" bash scripts/package.sh) > "$scratch/second.log" 2>&1 ||
        { tail -n 30 "$scratch/second.log" >&2; fail "the second build failed (log: $scratch/second.log)"; }

    release_digests "$first/dist" "$scratch/unpacked-one" > "$scratch/one.sums"
    release_digests "$second/dist" "$scratch/unpacked-two" > "$scratch/two.sums"
    # One line a file: its SHA-256 in the first build and in the second ("missing" where it is
    # not), and its name (sha256sum's lines: 64 digits, two spaces, the name).
    awk 'FNR == NR { one[substr($0, 67)] = substr($0, 1, 64); next }
         { two[substr($0, 67)] = substr($0, 1, 64) }
         END {
             for (f in one) printf "%s %s %s\n", one[f], (f in two) ? two[f] : "missing", f
             for (f in two) if (!(f in one)) printf "missing %s %s\n", two[f], f
         }' "$scratch/one.sums" "$scratch/two.sums" | LC_ALL=C sort -k 3 > "$scratch/compared"
    say "SHA-256 of every file from both builds (first build, second build, file):"
    awk '{ printf "    %s %s %s%s\n", $1, $2, $3, ($1 == $2) ? "" : "   DIFFERENT" }' "$scratch/compared"
    local different
    different=$(awk '$1 != $2 { print $3 }' "$scratch/compared")
    if [ -n "$different" ]; then
        echo "$different" | sed 's/^/package: differs between the two builds: /' >&2
        fail "the two builds differ; both are kept in $scratch"
    fi
    say "the two builds are identical: $(wc -l < "$scratch/one.sums") files and archives"
    rm -rf "$scratch"
}

case "${1:-}" in
"") make_release ;;
--check) check_release ;;
--pack)
    [ $# -eq 3 ] || { echo "usage: scripts/package.sh --pack BUILD_TREE DIST" >&2; exit 2; }
    pack_release "$(cd "$2" && pwd)" "$3" "$3.stage"
    ;;
*) echo "usage: scripts/package.sh [--check | --pack BUILD_TREE DIST]" >&2; exit 2 ;;
esac
