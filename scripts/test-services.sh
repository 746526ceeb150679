# Services the tests and the demo need: a virtual X display and a CUPS print queue whose jobs
# arrive as PDF files. Sourced by test.sh, demo.sh and benchmark.sh. Paths may hold spaces: each
# is kept whole, in quotes or as one element of an array.

kavrel_checkout=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# kavrel_wine_prefixes BUILD: sets the array wine_prefixes to the Wine prefixes of the build.
kavrel_wine_prefixes() {
    wine_prefixes=()
    [ -d "$1/kavrel/wine" ] || return 0
    mapfile -d '' -t wine_prefixes < <(find "$1/kavrel/wine" -mindepth 1 -maxdepth 1 -type d -print0)
}

stop_wineservers() {
    local prefix wine_prefixes
    kavrel_wine_prefixes "$1"
    for prefix in "${wine_prefixes[@]+"${wine_prefixes[@]}"}"; do
        WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    done
}

# Starts an Xvfb of the given depth on the first free display number from $1 on; sets
# xvfb_display and xvfb_pid.
start_xvfb() {
    local display=$1 depth=$2
    while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
        display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 "1280x1024x$depth" -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    xvfb_display=":$display"
    for _ in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$display" ] && break
        sleep 0.1
    done
}

# start_test_services BUILD [PREFIX_NAME...]: the services, with the named Wine prefixes (all of
# them if none is named) booted and ready.
start_test_services() {
    local build=$1
    shift
    local wanted=" $* "
    # Wine servers left from the build (made with full privileges) would serve the tests.
    stop_wineservers "$build"

    if [ -z "${KAVREL_KEEP_DISPLAY:-}" ]; then
        start_xvfb 99 24
        KAVREL_XVFB_PID=$xvfb_pid
        export DISPLAY=$xvfb_display
        # A second display of 16 bits a pixel, for the prefix that checks such screens.
        start_xvfb 100 16
        KAVREL_XVFB16_PID=$xvfb_pid
        export KAVREL_DISPLAY_16=$xvfb_display
    fi

    # One persistent Wine server per prefix, and its session booted and its desktop made before
    # any test starts: no test program then starts a server that keeps the test runner waiting on
    # its output, and none makes its first window while the desktop is still starting. Under the
    # i386 emulator booting the prefixes takes a minute of both cores; the wait is bounded.
    local prefix pending=() wine_prefixes
    kavrel_wine_prefixes "$build"
    for prefix in "${wine_prefixes[@]+"${wine_prefixes[@]}"}"; do
        [ -f "$prefix/.kavrel-ready" ] || continue
        [ "$(basename "$prefix")" = template ] && continue
        [ "$wanted" = "  " ] || [[ "$wanted" == *" $(basename "$prefix") "* ]] || continue
        rm -f "$prefix/.kavrel-session-up"
        "$kavrel_checkout/tests/wine/run-in-prefix.sh" "$prefix" --persistent-server
        "$kavrel_checkout/tests/wine/run-in-prefix.sh" "$prefix" "$build/kavrel/bin/kavrel_warm_up.exe" \
            --stay "Z:${prefix//\//\\}\\.kavrel-session-up" </dev/null >/dev/null 2>&1 &
        pending+=("$prefix")
    done
    local waited=0
    while [ "${#pending[@]}" -gt 0 ] && [ "$waited" -lt 600 ]; do
        local still=()
        for prefix in "${pending[@]}"; do
            [ -f "$prefix/.kavrel-session-up" ] || still+=("$prefix")
        done
        pending=("${still[@]+"${still[@]}"}")
        [ "${#pending[@]}" -gt 0 ] || break
        sleep 0.5
        waited=$((waited + 1))
    done
    for prefix in "${pending[@]+"${pending[@]}"}"; do
        echo "test services: the Wine prefix $prefix did not get its desktop in 5 minutes" >&2
    done

    # CUPS with a cups-pdf queue as the default printer; its jobs land in $HOME/PDF.
    if command -v cupsd >/dev/null 2>&1; then
        if ! lpstat -r 2>/dev/null | grep -q "is running"; then
            cupsd >/dev/null 2>&1 || true
            for _ in $(seq 1 50); do
                lpstat -r 2>/dev/null | grep -q "is running" && break
                sleep 0.1
            done
        fi
        if ! lpstat -p KavrelPDF >/dev/null 2>&1; then
            lpadmin -p KavrelPDF -v cups-pdf:/ -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd -E \
                >/dev/null 2>&1 || true
        fi
        lpoptions -d KavrelPDF >/dev/null 2>&1 || true
        mkdir -p "$HOME/PDF"
    fi
}

stop_test_services() {
    local build=$1
    stop_wineservers "$build"
    local pid
    for pid in ${KAVREL_XVFB_PID:-} ${KAVREL_XVFB16_PID:-}; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}
