#!/usr/bin/env bash
# Makes the Windows Installer package of a release from its install tree, with wixl
# (packaging/kavrel.wxs says what goes where):
#
#   scripts/make-msi.sh TREE VERSION_FILE OUTPUT.msi
#
# TREE is the tree `cmake --install` makes (bin/, share/doc/kavrel/), VERSION_FILE the build's
# kavrel_version.txt. KAVREL_MSI_BUILD, when set, stands for the build number there (the tests
# make an older and a newer build of one tree with it).
#
# The same tree and version give the same package, byte for byte, as far as wixl allows: the
# product code and the package code (the summary information's revision number) come from the
# version and the files' SHA-256 (a package of the same build made again of other files, an
# unsigned one and then the signed release say, is another product, which replaces it), and wixl runs under faketime at the commit's
# time, which is what it writes into the summary information (it takes no time from elsewhere);
# the cabinet's entries carry the files' times, which are set to the commit's too.
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: scripts/make-msi.sh TREE VERSION_FILE OUTPUT.msi" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
tree=$(cd "$1" && pwd)
values=$2 output=$3
fail() { echo "make-msi: $*" >&2; exit 1; }
for tool in wixl msibuild faketime cmake sha256sum; do
    command -v "$tool" >/dev/null 2>&1 ||
        fail "$tool is missing; scripts/setup-machine.sh installs it (as root), or install it by hand"
done

value() { sed -n "s/^$1=//p" "$values"; }
base=$(value version)
base=${base%%-*}  # 1.1.0 of 1.1.0-dirty
build=${KAVREL_MSI_BUILD:-$(value build)}
text=$(value version_text)
epoch=$(value source_date_epoch)
[[ $base =~ ^[0-9]+\.[0-9]+\.[0-9]+$ && $build =~ ^[0-9]+$ && -n $epoch ]] ||
    fail "no version in $values"
version=$base.$build
[ -n "${KAVREL_MSI_BUILD:-}" ] && text="$text (build $build)"

# A name-based (SHA-1) UUID, in the namespace of the product's UpgradeCode.
uuid() {
    local script
    script=$(mktemp)
    printf 'string(UUID id NAMESPACE 6A0F3C2E-7B1D-4C55-9F3E-2D8B51A4C0E7 NAME "%s" TYPE SHA1 UPPER)\nmessage("${id}")\n' "$1" >"$script"
    cmake -P "$script" 2>&1
    rm -f "$script"
}
content=$(cd "$tree" && find . -type f | LC_ALL=C sort | xargs -d '\n' sha256sum | sha256sum)
product_code=$(uuid "product $version ${content%% *}")
package_code=$(uuid "package $version $text ${content%% *}")

# The cabinet takes each file's time from the file: the commit's, like the archives'.
find "$tree" -exec touch -h -d "@$epoch" {} +
mkdir -p "$(dirname "$output")"
output=$(cd "$(dirname "$output")" && pwd)/$(basename "$output")
# wixl takes the sources' paths relative to the folder it runs in (it refuses absolute ones).
cd "$tree"
at_commit() { TZ=UTC faketime -f "@$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')" "$@"; }
at_commit wixl --arch x86 -o "$output" \
    -D Version="$version" -D VersionBase="$base" -D Build="$build" -D VersionText="$text" \
    -D ProductCode="$product_code" \
    "$root/packaging/kavrel.wxs"
# wixl gives every package a random package code (it takes none from the source): the summary
# information is written again with the one derived above, and wixl's own values.
# It also leaves out the Upgrade row's "maximum inclusive" (512), which makes the builds of this
# very x.y.z (and a package of this version built again) count as older ones, to be removed, and
# "migrate features" (1), which installs the features the removed one had (a training room's
# virtual scanner) again.
# (The attributes are part of the row's key, which SQL cannot change: the row is written anew.)
at_commit msibuild "$output" -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'KAVREL_OLDER_FOUND'" \
    -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMin\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('{6A0F3C2E-7B1D-4C55-9F3E-2D8B51A4C0E7}', '0.0.0', '$version', 769, 'KAVREL_OLDER_FOUND')"
at_commit msibuild "$output" -s "Kavrel $text" "Kavrel project" "Intel;1033" "{$package_code}"
