#!/usr/bin/env bash
# Runs a Windows program under Wine in one of the project's prefixes, with the Russian regional
# settings (ANSI code page 1251, OEM 866) the product runs with.
#   run-in-prefix.sh PREFIX_DIR PROGRAM [ARGUMENT...]
#   run-in-prefix.sh PREFIX_DIR --persistent-server
# As root, the program runs without the capabilities that override file permissions, so that a
# directory with mode 000 is as unreadable to it as to an operator. Without a DISPLAY it gets
# a virtual X server of its own.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8
unset LANGUAGE
# Prefixes that must see no printer reach no CUPS server and no printcap.
if [ -f "$prefix/.kavrel-no-printer" ]; then
    export CUPS_SERVER=/nonexistent/cups.sock PRINTCAP=/nonexistent/printcap
fi
# A program that crashes ends at once and says so: Wine's debugger, which it would otherwise start,
# waits for a person (and hangs under the i386 emulator), so it is kept from loading.
overrides="winedbg.exe=d"
# The scripted test manager replaces Wine's own TWAIN_32.DLL in its prefix.
if [ -f "$prefix/.kavrel-native-twain" ]; then
    overrides="$overrides;twain_32=n"
fi
export WINEDLLOVERRIDES="$overrides${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
# The prefix for a 16-bit display has an X server of that depth (started by the test run, or
# one of its own below).
depth=24
if [ -f "$prefix/.kavrel-depth16" ]; then
    depth=16
    if [ -n "${KAVREL_DISPLAY_16:-}" ]; then export DISPLAY=$KAVREL_DISPLAY_16; else unset DISPLAY; fi
fi
launch=(wine)
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null 2>&1; then
    launch=(setpriv --bounding-set=-dac_override,-dac_read_search
            --inh-caps=-dac_override,-dac_read_search wine)
fi
if [ "${1:-}" = "--persistent-server" ]; then
    # A server started here, with the programs' own privileges, serves every program of the
    # prefix until it is killed; programs then never start one that holds their output open.
    launch[${#launch[@]}-1]=wineserver
    exec "${launch[@]}" -p </dev/null >/dev/null 2>&1
fi
# The camera prefix's programs run with its camera attached, in a mount namespace of their own.
camera=()
if [ -f "$prefix/.kavrel-camera" ]; then
    camera=("$(cd "$(dirname "$0")" && pwd)/with-camera.sh" "$prefix")
fi
if [ -z "${DISPLAY:-}" ]; then
    exec "${camera[@]}" xvfb-run -a -s "-screen 0 1280x1024x$depth" "${launch[@]}" "$@"
fi
exec "${camera[@]}" "${launch[@]}" "$@"
