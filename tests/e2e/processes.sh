# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
# What the end-to-end scripts share: a case's folder and processes, its failure, and waiting for
# processes. Sourced, not run.

# Opens a case: its scratch folder, $work, and the processes it starts, $pids, which are ended,
# the last started first, and the folder removed when the script exits, however it exits.
open_case() {
    work=$(mktemp -d)
    pids=()
    trap close_case EXIT
}
close_case() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    rm -rf "$work"
}

# Says that the case $name failed and why, with the program's standard error where there is
# one, and exits.
fail() {
    echo "FAIL: $name: $*" >&2
    if [ -s "$work/stderr" ]; then
        echo "the program's standard error:" >&2
        cat "$work/stderr" >&2
    fi
    exit 1
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# True once the process has ended (a zombie counts: it handles nothing any more).
ended() { ! kill -0 "$1" 2>/dev/null || [ "$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" = Z ]; }

# Waits up to $2 milliseconds for process $1 to end.
wait_end() {
    local deadline=$(($(now_ms) + $2))
    while ! ended "$1"; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.01
    done
}

# The processes, other than this shell, that carry the environment entry $1 (NAME=VALUE): a test
# marks everything it starts that way, daemons that detach included. One grep reads every
# environment: two processes started for each one took more than 20 s on a loaded machine.
processes_marked() {
    { grep -lzxF -- "$1" /proc/[0-9]*/environ 2>/dev/null || true; } |
        sed -n 's|^/proc/\([0-9]*\)/environ$|\1|p' | { grep -vx "$$" || true; }
}

# Ends every process marked with $1, asking first (TERM), then no longer asking (KILL).
end_processes_marked() {
    local i pid
    for i in 1 2 3 4 5 6 7 8 9 10; do
        [ -n "$(processes_marked "$1")" ] || return 0
        for pid in $(processes_marked "$1"); do
            kill "$([ "$i" -lt 6 ] && echo -TERM || echo -KILL)" "$pid" 2>/dev/null || true
        done
        sleep 0.2
    done
}

# Runs the calling script ($0 with its arguments "$@") again in a session and process group of
# its own, and ends that group once the script has ended, however it ended. A CTest timeout
# kills only the processes it finds under the test, and what a test's programs start detached
# (wlroots starts Xwayland so) is not among them; the watcher, detached as well, is not either.
# Returns in the script that runs in the group; the first one exits with its status.
run_in_own_group() {
    [ -z "${OWN_GROUP:-}" ] || return 0
    OWN_GROUP=1 setsid bash "$0" "$@" &
    local group=$! script=$$
    # Started from a subshell that ends at once, the watcher is no child of the script.
    ( (
        while kill -0 "$script" 2>/dev/null; do sleep 0.5; done
        local i
        for i in 1 2 3 4 5 6 7 8 9 10; do
            kill "$([ "$i" -lt 6 ] && echo -TERM || echo -KILL)" -- "-$group" 2>/dev/null || exit 0
            sleep 0.2
        done
    ) </dev/null >/dev/null 2>&1 & )
    local status=0
    wait "$group" || status=$?
    exit "$status"
}
