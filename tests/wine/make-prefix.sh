#!/usr/bin/env bash
# Creates or refreshes one of the project's Wine prefixes.
#   make-prefix.sh TEMPLATE_DIR PREFIX_DIR KIND [FILE...]
# The template prefix is made once with wineboot; the others are copies of it, which is much
# faster. KIND says what the copy gets:
#   main       Wine's own TWAIN manager; FILE is the virtual scanner, installed as sane.ds
#   scripted   FILE is the scripted test manager, installed as C:\windows\TWAIN_32.DLL
#   nodsm      no TWAIN_32.DLL in the Windows directory at all
#   noprinter  like main, but reaching no printer
#   depth16    like main, on an X display of 16 bits a pixel
#   stuckprinter  like main, with a printer driver whose DllMain never returns (FILE 2) and Wine's
#              own PostScript driver kept beside it in C:\windows\kavrel
#   plain      Wine as it is, nothing of Kavrel's in it (the installer's tests install it)
#   camera     like main, and Wine's own camera source gphoto2.ds kept beside the virtual scanner,
#              with a camera's pictures that tests/wine/with-camera.sh mounts for each program
#
# Wine's camera source (C:\windows\twain_32\gphoto2.ds) is taken out of every prefix but the
# camera prefix: each prefix then lists exactly the sources its tests expect.
set -euo pipefail
template=$1 prefix=$2 kind=$3
shift 3
export WINEDEBUG=-all LC_ALL=ru_RU.UTF-8
unset DISPLAY

# Raised whenever the template's making changes, so that every prefix is made again.
ready=.kavrel-ready-3
if [ ! -f "$template/$ready" ]; then
    rm -rf "$template"
    mkdir -p "$(dirname "$template")"
    WINEPREFIX="$template" wineboot -i >/dev/null 2>&1
    # No window manager runs on the tests' X server: windows that Wine leaves to a window
    # manager wait for one (seconds) each time they are hidden.
    WINEPREFIX="$template" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    WINEPREFIX="$template" wineserver -w
    touch "$template/$ready" "$template/.kavrel-ready"
fi
if [ "$prefix" != "$template" ] && [ ! -f "$prefix/$ready" ]; then
    rm -rf "$prefix"
    cp -a "$template" "$prefix"
    rm -f "$prefix"/.kavrel-prefix-*
fi
windows="$prefix/drive_c/windows"
# Replace files by new ones (never write through into a copy shared with the template).
install_file() { rm -f "$2"; cp "$1" "$2"; }
case "$kind" in
template|plain)
    ;;
main)
    [ $# -ge 1 ] && install_file "$1" "$windows/twain_32/sane.ds"
    [ $# -ge 1 ] && install_file "$1" "$windows/twain_32/kavrel_virtual_scanner.ds"
    ;;
camera)
    [ $# -ge 1 ] && install_file "$1" "$windows/twain_32/sane.ds"
    # The camera's pictures, of known sizes and colours: a Mass Storage Camera is any mounted
    # file system with a DCIM folder (with-camera.sh mounts a copy of this one).
    pictures="$prefix/camera/DCIM/100KAVRL"
    rm -rf "$prefix/camera"
    mkdir -p "$pictures"
    convert -size 64x48 'xc:rgb(200,30,30)' -quality 95 "$pictures/KVR_0001.JPG"
    convert -size 48x32 'xc:rgb(30,160,60)' -quality 95 "$pictures/KVR_0002.JPG"
    convert -size 80x24 'xc:rgb(40,60,200)' -quality 95 "$pictures/KVR_0003.JPG"
    touch "$prefix/.kavrel-camera"
    ;;
scripted)
    install_file "$1" "$windows/twain_32.dll"
    touch "$prefix/.kavrel-native-twain"
    ;;
nodsm)
    rm -f "$windows/twain_32.dll" "$windows/TWAIN_32.DLL"
    ;;
noprinter)
    [ $# -ge 1 ] && install_file "$1" "$windows/twain_32/sane.ds"
    touch "$prefix/.kavrel-no-printer"
    ;;
stuckprinter)
    install_file "$1" "$windows/twain_32/sane.ds"
    # The test puts either driver in place itself (tests/tools/kvrdiag_stuck_printer_test.cpp).
    mkdir -p "$windows/kavrel"
    install_file "$2" "$windows/kavrel/stuck-printer-driver.drv"
    install_file "$template/drive_c/windows/system32/spool/drivers/w32x86/3/wineps.drv" "$windows/kavrel/wine-printer-driver.drv"
    ;;
depth16)
    [ $# -ge 1 ] && install_file "$1" "$windows/twain_32/sane.ds"
    touch "$prefix/.kavrel-depth16"
    ;;
*)
    echo "make-prefix.sh: unknown kind $kind" >&2
    exit 1
    ;;
esac
case "$kind" in
camera|template) ;;
*) rm -f "$windows/twain_32/gphoto2.ds" ;;
esac
touch "$prefix/.kavrel-prefix-$kind"
