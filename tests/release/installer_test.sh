#!/usr/bin/env bash
# The release as IT deploys it: signed, packaged, installed silently under Wine's msiexec.
#   installer_test.sh STEP SOURCE_DIR BUILD_DIR WORK MAKE_PREFIX TEMPLATE RUN_IN_PREFIX
# STEP is
#   pack      packs the build tree signed with a throwaway certificate made here (openssl) and
#             verifies every signature against it; also an older build's package and an older
#             version's, both of the same tree
#   install   in a fresh prefix: installs the older build into a MODULEDIR of its own, upgrades
#             to this one, finds the files and the one uninstall entry, lets the host stand-in
#             call kvrprov through the installed Kavrel.dll, repairs, refuses both older
#             packages, removes it and finds nothing of its own left
#   training  in a fresh prefix: the training feature puts the virtual scanner where the TWAIN
#             manager finds sources, and takes it away again
set -euo pipefail
step=$1 source_dir=$2 build_dir=$3 work=$4 make_prefix=$5 template=$6 run_in_prefix=$7
status=0
fail() { echo "FAIL $*"; status=1; }
expect() {  # expect WHAT ACTUAL EXPECTED
    if [ "$2" != "$3" ]; then fail "$1: \"$2\", expected \"$3\""; fi
}
value() { sed -n "s/^$1=//p" "$build_dir/version/kavrel_version.txt"; }
version=$(value version) build=$(value build)
name=kavrel-$version
dist=$work/dist
tree=$dist.stage/main/$name

if [ "$step" = pack ]; then
    rm -rf "$work"
    mkdir -p "$work/certificate"
    cd "$work/certificate"
    # A code-signing certificate of its own root, trusted by nobody but this test; the key never
    # leaves the work folder.
    make_certificate() {  # make_certificate NAME SUBJECT
        openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "$2" -keyout "$1.key" -out "$1.pem" \
            -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
            -addext "basicConstraints=critical,CA:FALSE" 2>/dev/null
    }
    make_certificate signer "/O=Kavrel test/CN=Kavrel Test Signing"
    make_certificate stranger "/O=Kavrel test/CN=Someone Else"
    head -c 18 /dev/urandom | base64 >password
    openssl pkcs12 -export -inkey signer.key -in signer.pem -out signer.p12 -passout file:password
    cd - >/dev/null

    KAVREL_SIGN_PKCS12=$work/certificate/signer.p12 KAVREL_SIGN_PASSWORD_FILE=$work/certificate/password \
        bash "$source_dir/scripts/package.sh" --pack "$build_dir" "$dist" >"$work/pack.log" 2>&1 ||
        { cat "$work/pack.log"; echo "FAIL packing the signed release"; exit 1; }
    mkdir -p "$work/unpacked"
    unzip -q "$dist/$name-win32.zip" -d "$work/unpacked"
    shipped=("$work/unpacked/$name"/bin/*.dll "$work/unpacked/$name"/bin/*.exe
             "$work/unpacked/$name"/bin/*.ds "$dist/$name-win32.msi")
    expect "signed files (the DLL, kvrdiag, kvrhost, the scanner, the package)" "${#shipped[@]}" 5
    for file in "${shipped[@]}"; do
        out=$(osslsigncode verify -CAfile "$work/certificate/signer.pem" -in "$file" 2>&1) ||
            fail "$(basename "$file") does not verify: $(echo "$out" | tail -n 3)"
        grep -q "^Number of verified signatures: 1$" <<<"$out" ||
            fail "$(basename "$file"): no verified signature: $(echo "$out" | tail -n 3)"
        # The signature is the certificate's and no other's: another root does not vouch for it.
        osslsigncode verify -CAfile "$work/certificate/stranger.pem" -in "$file" >/dev/null 2>&1 &&
            fail "$(basename "$file") verifies against a certificate that did not sign it"
    done
    # Every file in the archive is the one its SHA256SUMS names: the sums are of the signed files.
    (cd "$work/unpacked/$name" && sha256sum --quiet -c SHA256SUMS) || fail "the archive's SHA256SUMS"
    (cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "the release's SHA256SUMS"

    # Older packages of the same tree: the build before this one (or, for a version's first
    # commit, a build of an older version) and an older version.
    older_build=$((build - 1)) older_values=$build_dir/version/kavrel_version.txt
    if [ "$older_build" -lt 0 ]; then
        sed 's/^version=.*/version=0.0.1/' "$older_values" >"$work/older-build.txt"
        older_values=$work/older-build.txt older_build=0
    fi
    KAVREL_MSI_BUILD=$older_build bash "$source_dir/scripts/make-msi.sh" "$tree" "$older_values" "$work/older-build.msi"
    # The same build made again of other files (an unsigned package, then the signed release).
    rm -rf "$work/rebuilt-tree" && cp -a "$tree" "$work/rebuilt-tree"
    echo "made again" >>"$work/rebuilt-tree/share/doc/kavrel/README.md"
    bash "$source_dir/scripts/make-msi.sh" "$work/rebuilt-tree" "$build_dir/version/kavrel_version.txt" "$work/rebuilt.msi"
    sed 's/^version=.*/version=0.9.0/' "$build_dir/version/kavrel_version.txt" >"$work/older-version.txt"
    bash "$source_dir/scripts/make-msi.sh" "$tree" "$work/older-version.txt" "$work/older-version.msi"
    exit $status
fi

# --- under Wine -------------------------------------------------------------------------------
prefix=$work/prefix-$step
drive=$prefix/drive_c
rm -rf "$prefix"
bash "$make_prefix" "$template" "$prefix" plain
trap 'WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true' EXIT
# Each program on an X server of its own (run-in-prefix.sh starts one where there is no DISPLAY):
# a fresh prefix's first programs open Wine's desktop windows, which must not come between the
# GUI tests and the test run's shared display.
wine_run() { env -u DISPLAY "$run_in_prefix" "$prefix" "$@" </dev/null 2>/dev/null | tr -d '\r'; }
# msiexec's exit code is the installer's, cut to 8 bits by the Unix side (1603 gives 67).
msiexec() { env -u DISPLAY "$run_in_prefix" "$prefix" msiexec "$@" </dev/null >/dev/null 2>&1; }
cp "$dist/$name-win32.msi" "$drive/kavrel.msi"
cp "$work/older-build.msi" "$drive/older-build.msi"
cp "$work/older-version.msi" "$drive/older-version.msi"
cp "$work/rebuilt.msi" "$drive/rebuilt.msi"
# Kavrel's uninstall entries: "DisplayVersion Publisher" for each.
uninstall_entries() {
    wine_run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s |
        awk '/^HKEY/ { if (name == "Kavrel") print version, publisher; name = version = publisher = "" }
             $1 == "DisplayName" { name = $3 } $1 == "DisplayVersion" { version = $3 }
             $1 == "Publisher" { $1 = $2 = ""; sub(/^ +/, ""); publisher = $0 }
             END { if (name == "Kavrel") print version, publisher }'
}
# Every file and folder of the prefix but Wine's own (temporary files, the folder where Windows
# Installer caches packages, made at the first install, and the printer drivers Wine installs when
# a program first finds the test run's CUPS printer).
prefix_files() {
    (cd "$drive" && find . | grep -v -e '^\./users/[^/]*/Temp' -e '^\./windows/temp' -e '^\./windows/Installer$' \
        -e '^\./windows/system32/spool/' | LC_ALL=C sort)
}
file_version=$(echo "$version" | sed 's/-.*//').$build
program_files="$drive/Program Files/Kavrel"
before=$(prefix_files)

if [ "$step" = install ]; then
    # The interpreter's module folder exists, with the interpreter's own files; a signature
    # directory with a client's signature lies beside it.
    module_dir=$drive/RSL/Modules
    mkdir -p "$module_dir" "$drive/signatures"
    echo "the interpreter's own module" >"$module_dir/rsl_own.dll"
    echo "a scanned signature" >"$drive/signatures/40817810000000000001_1.jpg"
    before=$(prefix_files)

    msiexec /i 'C:\older-build.msi' /qn 'MODULEDIR=C:\RSL\Modules\' || fail "installing the older build"
    expect "uninstall entries after the older build" "$(uninstall_entries)" \
        "$(msiinfo export "$work/older-build.msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p') Kavrel project"
    # The upgrade names no MODULEDIR: it keeps the folder the older build was given.
    msiexec /i 'C:\kavrel.msi' /qn || fail "upgrading to this build"
    expect "uninstall entries after the upgrade" "$(uninstall_entries)" "$file_version Kavrel project"
    cmp -s "$module_dir/Kavrel.dll" "$tree/bin/Kavrel.dll" || fail "MODULEDIR has no Kavrel.dll of this build"
    cmp -s "$program_files/kvrdiag.exe" "$tree/bin/kvrdiag.exe" || fail "Program Files has no kvrdiag.exe of this build"
    for doc in README.md deploying.md deploying.ru.md CHANGELOG.md LICENSE THIRD-PARTY-NOTICES; do
        cmp -s "$program_files/doc/$doc" "$tree/share/doc/kavrel/$doc" || fail "Program Files has no doc/$doc"
    done
    [ ! -e "$program_files/module/Kavrel.dll" ] || fail "Kavrel.dll went to the default module folder too"
    [ ! -e "$drive/windows/twain_32/Kavrel" ] || fail "the training feature was installed without being asked for"
    expect "the host stand-in through the installed module" \
        "$(wine_run "$build_dir/bin/kvrhost.exe" --module 'C:\RSL\Modules\Kavrel.dll' kvrprov - 'C:\signatures' 40817810000000000001)" \
        "argument 0 := 0"

    # The installed kvrdiag says whose signature the installed module carries (asked in English:
    # the prefix's interface language is Russian, which kvrdiag would speak by default).
    expect "kvrdiag's signature line for the installed module" \
        "$(wine_run 'C:\Program Files\Kavrel\kvrdiag.exe' --lang en --dll 'C:\RSL\Modules\Kavrel.dll' | grep '^OK    signed by ')" \
        "OK    signed by CN=Kavrel Test Signing, O=Kavrel test (Authenticode), and WinVerifyTrust accepts the signature"

    # Repair: the same package again puts back what is missing, where it was.
    rm "$module_dir/Kavrel.dll"
    msiexec /i 'C:\kavrel.msi' /qn REINSTALL=ALL REINSTALLMODE=amus || fail "repairing"
    cmp -s "$module_dir/Kavrel.dll" "$tree/bin/Kavrel.dll" || fail "the repair did not put Kavrel.dll back"
    msiexec /i 'C:\kavrel.msi' /qn || fail "installing the same package again"
    expect "uninstall entries after installing again" "$(uninstall_entries)" "$file_version Kavrel project"

    # Neither older package goes over this one.
    for older in older-build older-version; do
        msiexec /i "C:\\$older.msi" /qn 'MODULEDIR=C:\RSL\Modules\' && fail "the $older package went over this build"
        expect "uninstall entries after the $older package" "$(uninstall_entries)" "$file_version Kavrel project"
        cmp -s "$module_dir/Kavrel.dll" "$tree/bin/Kavrel.dll" || fail "the $older package changed Kavrel.dll"
    done

    # The same build made of other files replaces it.
    msiexec /i 'C:\rebuilt.msi' /qn || fail "installing the same build made again"
    expect "uninstall entries after the same build made again" "$(uninstall_entries)" "$file_version Kavrel project"
    cmp -s "$program_files/doc/README.md" "$work/rebuilt-tree/share/doc/kavrel/README.md" ||
        fail "the same build made of other files did not replace the installed one"

    msiexec /x 'C:\rebuilt.msi' /qn || fail "removing"
    expect "uninstall entries after the removal" "$(uninstall_entries)" ""
    wine_run reg query 'HKLM\Software\Kavrel' >/dev/null && fail "the registry still holds HKLM\\Software\\Kavrel"
    expect "the files after the removal (< before, > after)" \
        "$(diff <(echo "$before") <(prefix_files) | grep '^[<>]')" ""
    expect "the interpreter's module" "$(cat "$module_dir/rsl_own.dll")" "the interpreter's own module"
    expect "the signature" "$(cat "$drive/signatures/40817810000000000001_1.jpg")" "a scanned signature"
fi

if [ "$step" = training ]; then
    scanner_dir=$drive/windows/twain_32/Kavrel
    # Installed with an older build, and kept by the upgrade, which names no feature.
    msiexec /i 'C:\older-build.msi' /qn ADDLOCAL=Main,Training || fail "installing with the training feature"
    msiexec /i 'C:\kavrel.msi' /qn || fail "upgrading a training room"
    cmp -s "$scanner_dir/kavrel_virtual_scanner.ds" "$tree/bin/kavrel_virtual_scanner.ds" ||
        fail "no virtual scanner in C:\\windows\\twain_32\\Kavrel"
    cmp -s "$scanner_dir/virtual-scanner.ini" "$tree/bin/virtual-scanner.ini" ||
        fail "no virtual-scanner.ini beside the scanner"
    cmp -s "$program_files/module/Kavrel.dll" "$tree/bin/Kavrel.dll" ||
        fail "without MODULEDIR, Kavrel.dll is not in the default module folder"
    [ -f "$drive/windows/twain_32/sane.ds" ] || fail "Wine's own source is gone"
    msiexec /x 'C:\kavrel.msi' /qn || fail "removing"
    expect "the files after the removal (< before, > after)" \
        "$(diff <(echo "$before") <(prefix_files) | grep '^[<>]')" ""
fi
exit $status
