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

# Prints the path of a statically linked qemu-i386, fetching it first when it is not there.
# Debian 13's qemu-user (version 10) is preferred: its programs are static, so they run on Debian 12
# as they are, and Wine under Debian 12's qemu 7.2 crashed now and then (illegal instructions under
# load). Only its package is fetched, through an apt configuration of the set-up's own; the
# system's sources and package state stay untouched. Debian 12's qemu-user-static is the fallback.
fetch_qemu_i386() {
    local qemu=$KAVREL_QEMU_DIR/qemu-i386
    if [ -x "$qemu" ]; then echo "$qemu"; return 0; fi
    mkdir -p "$KAVREL_QEMU_DIR"
    local state=$KAVREL_QEMU_STATE
    rm -rf "$state"
    mkdir -p "$state/lists/partial" "$state/cache" "$state/archives/partial" "$state/unpacked"
    echo "deb [arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg]" \
         "http://deb.debian.org/debian trixie main" > "$state/sources.list"
    local apt_options=(
        -o "Dir::Etc::SourceList=$state/sources.list" -o "Dir::Etc::SourceParts=$state/none"
        -o "Dir::State::Lists=$state/lists" -o "Dir::Cache=$state/cache"
        -o "Dir::Cache::Archives=$state/archives" -o "Acquire::Languages=none")
    if apt-get "${apt_options[@]}" update -qq >/dev/null 2>&1 &&
       (cd "$state" && apt-get "${apt_options[@]}" download -qq qemu-user >/dev/null 2>&1) &&
       dpkg -x "$state"/qemu-user_*.deb "$state/unpacked" &&
       [ -x "$state/unpacked/usr/bin/qemu-i386" ] &&
       ! LC_ALL=C readelf -l "$state/unpacked/usr/bin/qemu-i386" 2>/dev/null | grep -q INTERP; then
        install -m 0755 "$state/unpacked/usr/bin/qemu-i386" "$qemu"
        rm -rf "$state"
        echo "$qemu"
        return 0
    fi
    rm -rf "$state"
    echo "setup: Debian 13's qemu-user could not be fetched; using Debian 12's qemu-user-static" >&2
    if ! dpkg-query -W -f='${Status}\n' qemu-user-static 2>/dev/null | grep -q '^install ok installed$'; then
        apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
    fi
    install -m 0755 /usr/bin/qemu-i386-static "$qemu"
    echo "$qemu"
}

# Registers the emulator for i386 ELF programs. The flag F opens the interpreter now, so the
# registration works in every mount namespace and does not depend on the file staying in place.
register_i386_emulator() {
    local qemu
    qemu=$(fetch_qemu_i386)
    if [ ! -f "$BINFMT_DIR/register" ]; then
        mount -t binfmt_misc binfmt_misc "$BINFMT_DIR"
    fi
    if [ -f "$BINFMT_DIR/$KAVREL_BINFMT_NAME" ]; then
        echo -1 > "$BINFMT_DIR/$KAVREL_BINFMT_NAME"
    fi
    printf '%s' ":$KAVREL_BINFMT_NAME:M::$I386_ELF_MAGIC:$I386_ELF_MASK:$qemu:F" > "$BINFMT_DIR/register"
    [ "$(cat /proc/sys/fs/binfmt_misc/status)" = enabled ] || echo 1 > "$BINFMT_DIR/status"
}
