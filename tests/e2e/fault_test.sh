#!/usr/bin/env bash
# Runs the fault scenarios (orvane_fault_tests) in a mount namespace of their
# own, where a read-only folder or a full drive can be made real even for
# root. The driver asks for each state through a control folder: it writes
# one line to "request" and waits for "reply". This script answers, so the
# mounts happen on the Unix side, where Wine's server sees them too.
#
# Usage: fault_test.sh WINE_RUN FAULT_TESTS_EXE [gtest arguments...]
# Verbs: readonly PATH (bind PATH read-only over itself), full PATH (a small
# tmpfs with PATH's files, filled up), restore PATH (undo either), drive
# LETTER PATH (a Wine drive letter for PATH).
set -euo pipefail

wine_run=$1
shift

if [ "${ORVANE_FAULT_INSIDE:-}" != 1 ]; then
    # Wine's server opens the files for its clients: it has to live inside
    # the namespace, so a server of this prefix started elsewhere must go.
    WINEPREFIX="${ORVANE_WINEPREFIX:?}" wineserver -k 2>/dev/null || true
    if unshare -rm true 2>/dev/null; then
        export ORVANE_FAULT_INSIDE=1
        exec unshare -rm "$0" "$wine_run" "$@"
    fi
    # The scenarios that need mounts skip, saying why; the others still run.
    echo "fault_test.sh: unshare -rm is not permitted here: the read-only and full-drive scenarios skip" >&2
    exec "$wine_run" "$@"
fi

ctl=$(mktemp -d /tmp/orvane-faults.XXXXXX)
export ORVANE_FAULT_CONTROL="$ctl"
prefix="${ORVANE_WINEPREFIX:?}"

answer() {
    local verb=$1 path=$2
    case "$verb" in
    readonly)
        mkdir -p "$path"
        mount --bind "$path" "$path" && mount -o remount,bind,ro "$path"
        ;;
    full)
        mkdir -p "$path"
        local keep
        keep=$(mktemp -d "$ctl/keep.XXXXXX")
        cp -a "$path/." "$keep/"
        mount -t tmpfs -o size=256k tmpfs "$path"
        cp -a "$keep/." "$path/"
        rm -rf "$keep"
        # Filled to the last page: any further byte fails with ENOSPC.
        dd if=/dev/zero of="$path/filler.bin" bs=4k 2>/dev/null || true
        dd if=/dev/zero of="$path/filler2.bin" bs=1 2>/dev/null || true
        if echo probe 2>/dev/null >"$path/filler-probe"; then
            echo "$path is not full: $(df -k "$path" | tail -1)"
            return 1
        fi
        ;;
    restore)
        while mountpoint -q "$path"; do umount -l "$path"; done
        ;;
    drive)
        # "drive q /some/path"
        local letter=${path%% *} target=${path#* }
        mkdir -p "$target"
        ln -sfn "$target" "$prefix/dosdevices/$letter:"
        echo "$prefix/dosdevices/$letter:" >>"$ctl/drives"
        ;;
    *)
        echo "unknown verb $verb" >&2
        return 1
        ;;
    esac
}

serve() {
    while :; do
        if [ -f "$ctl/request" ]; then
            local verb path
            IFS=' ' read -r verb path <"$ctl/request" || true
            rm -f "$ctl/request"
            if out=$(answer "$verb" "$path" 2>&1); then
                echo "ok" >"$ctl/reply.new"
            else
                printf 'error: %s\n' "$out" >"$ctl/reply.new"
            fi
            mv "$ctl/reply.new" "$ctl/reply"
        fi
        sleep 0.02
    done
}

serve &
server_pid=$!
status=0
"$wine_run" "$@" || status=$?
kill "$server_pid" 2>/dev/null || true
wait "$server_pid" 2>/dev/null || true
# The prefix's server saw this namespace's mounts: it must not outlive it.
WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
{ awk '{print $2}' /proc/self/mounts | grep -e "^$ctl" -e "^$prefix" || true; } | sort -r | while read -r m; do
    umount -l "$m" 2>/dev/null || true
done
if [ -f "$ctl/drives" ]; then xargs -r rm -f <"$ctl/drives"; fi
rm -rf "$ctl"
exit "$status"
