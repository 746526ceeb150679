# Running 32-bit x86 Linux programs on a machine whose kernel runs no 32-bit code: qemu's
# user-mode emulator, registered with binfmt_misc for i386 ELF programs. Sourced by the machine
# set-up (which registers it) and by the scripts that report whether a run was emulated.

# The i386 ELF header qemu's own registrations match (executables and shared objects, machine 3).
I386_ELF_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
I386_ELF_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
BINFMT_DIR=/proc/sys/fs/binfmt_misc
KAVREL_BINFMT_NAME=kavrel-i386
# The emulator lives outside any checkout: the registration outlives the clone that made it.
KAVREL_QEMU_DIR=/usr/local/lib/kavrel
KAVREL_QEMU_STATE=/var/cache/kavrel/qemu

# A 32-bit program every machine with the i386 architecture has (libc6:i386, which Wine needs).
i386_probe_program() { echo /lib/ld-linux.so.2; }

# True when a 32-bit x86 program actually runs here, natively or emulated.
i386_runs() {
    local probe
    probe=$(i386_probe_program)
    [ -x "$probe" ] && "$probe" --version >/dev/null 2>&1
}

# True when an enabled binfmt_misc handler takes i386 ELF programs (the emulator runs them).
i386_emulated() {
    local entry
    [ -d "$BINFMT_DIR" ] || return 1
    for entry in "$BINFMT_DIR"/*; do
        [ -f "$entry" ] || continue
        case "$entry" in */register|*/status) continue ;; esac
        if grep -qx enabled "$entry" 2>/dev/null &&
           grep -q '^magic 7f454c4601010100000000000000000002000300$' "$entry" 2>/dev/null; then
            return 0
        fi
    done
    return 1
}

# The Debian mirror Debian 13's qemu-user is fetched from (a local mirror may stand in for it).
KAVREL_QEMU_MIRROR=${KAVREL_QEMU_MIRROR:-http://deb.debian.org/debian}

# True when the emulator at $1 runs a 32-bit x86 program: the file alone proves nothing.
qemu_runs_i386() {
    [ -x "$1" ] && "$1" "$(i386_probe_program)" --version >/dev/null 2>&1
}

# Says why a step failed: what it was, then apt's own errors from the log $2.
fetch_failed() {
    echo "setup: $1" >&2
    if [ -s "$2" ]; then grep -E '^(E|W|Err):' "$2" | head -n 5 | sed 's/^/setup:   /' >&2; fi
}

# Fetches Debian 13's qemu-user (only its package, through an apt configuration of the set-up's
# own: the system's sources and package state stay untouched) and installs its qemu-i386 as $1.
fetch_trixie_qemu() {
    local qemu=$1 state=$KAVREL_QEMU_STATE
    rm -rf "$state"
    mkdir -p "$state/lists/partial" "$state/cache" "$state/archives/partial" "$state/unpacked" || return 1
    echo "deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]" \
         "$KAVREL_QEMU_MIRROR trixie main" > "$state/sources.list" || return 1
    local apt_options=(
        -o "Dir::Etc::SourceList=$state/sources.list" -o "Dir::Etc::SourceParts=$state/none"
        -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state/cache"
        -o "Dir::Cache::Archives=$state/archives" -o "Acquire::Languages=none")
    local log=$state/apt.log status=1
    # apt-get update says "Err:" and still exits with 0 when the index could not be fetched: the
    # download that follows fails then.
    if apt-get "${apt_options[@]}" update -qq >"$log" 2>&1 &&
       (cd "$state/archives" && apt-get "${apt_options[@]}" download -qq qemu-user) >>"$log" 2>&1; then
        local deb
        deb=$(find "$state/archives" -maxdepth 1 -name 'qemu-user_*.deb' -print -quit)
        if [ -n "$deb" ] && dpkg -x "$deb" "$state/unpacked" &&
           ! LC_ALL=C readelf -l "$state/unpacked/usr/bin/qemu-i386" 2>/dev/null | grep -q INTERP &&
           qemu_runs_i386 "$state/unpacked/usr/bin/qemu-i386" &&
           install -m 0755 "$state/unpacked/usr/bin/qemu-i386" "$qemu"; then
            status=0
        else
            echo "E: its package held no static qemu-i386 that runs 32-bit x86 programs" >>"$log"
        fi
    fi
    [ "$status" -eq 0 ] ||
        fetch_failed "Debian 13's qemu-user could not be fetched from $KAVREL_QEMU_MIRROR (trixie)" "$log"
    rm -rf "$state"
    return "$status"
}

# Prints the path of a statically linked qemu-i386 that runs 32-bit x86 programs, fetching it
# first when there is none (or the one there does not run). Debian 13's qemu-user (version 10) is
# preferred: its programs are static, so they run on Debian 12 as they are, and Wine under Debian
# 12's qemu 7.2 crashed now and then (illegal instructions under load). Debian 12's
# qemu-user-static, from the system's own sources, is the fallback. Fails, saying what could not
# be had, when neither can be: it runs in a command substitution, where `set -e` does not act, so
# every step is checked here.
fetch_qemu_i386() {
    local qemu=$KAVREL_QEMU_DIR/qemu-i386
    if qemu_runs_i386 "$qemu"; then echo "$qemu"; return 0; fi
    mkdir -p "$KAVREL_QEMU_DIR" || return 1
    if fetch_trixie_qemu "$qemu"; then echo "$qemu"; return 0; fi
    echo "setup: trying Debian 12's qemu-user-static instead" >&2
    local log
    log=$(mktemp) || return 1
    if ! dpkg-query -W -f='${Status}\n' qemu-user-static 2>/dev/null | grep -q '^install ok installed$' &&
       ! apt-get install -y -qq --no-install-recommends qemu-user-static >"$log" 2>&1; then
        fetch_failed "Debian 12's qemu-user-static could not be fetched from the system's package sources" "$log"
        rm -f "$log"
        return 1
    fi
    rm -f "$log"
    if ! qemu_runs_i386 /usr/bin/qemu-i386-static || ! install -m 0755 /usr/bin/qemu-i386-static "$qemu"; then
        echo "setup: Debian 12's qemu-user-static gave no qemu-i386 that runs 32-bit x86 programs" >&2
        return 1
    fi
    echo "$qemu"
}

# Registers the emulator for i386 ELF programs. The flag F opens the interpreter now, so the
# registration works in every mount namespace and does not depend on the file staying in place.
# Fails, saying why, when no emulator could be had or the kernel refuses the registration.
register_i386_emulator() {
    local qemu
    if ! qemu=$(fetch_qemu_i386); then
        echo "setup: no i386 emulator could be had (neither Debian 13's qemu-user nor Debian 12's" \
             "qemu-user-static), so 32-bit x86 programs cannot run here" >&2
        return 1
    fi
    if [ ! -f "$BINFMT_DIR/register" ] && ! mount -t binfmt_misc binfmt_misc "$BINFMT_DIR"; then
        echo "setup: binfmt_misc could not be mounted on $BINFMT_DIR" >&2
        return 1
    fi
    if [ -f "$BINFMT_DIR/$KAVREL_BINFMT_NAME" ]; then
        echo -1 > "$BINFMT_DIR/$KAVREL_BINFMT_NAME" || return 1
    fi
    if ! printf '%s' ":$KAVREL_BINFMT_NAME:M::$I386_ELF_MAGIC:$I386_ELF_MASK:$qemu:F" > "$BINFMT_DIR/register"; then
        echo "setup: the kernel refused to register $qemu for i386 programs" >&2
        return 1
    fi
    [ "$(cat "$BINFMT_DIR/status")" = enabled ] || echo 1 > "$BINFMT_DIR/status"
}
