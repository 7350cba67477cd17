#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Exit with a long result: how long Exit takes, from the key or click to the end of the program,
# and whether the export can be pasted afterwards, exactly, by another program.
#
# Usage: bench/exit.sh BIN_DIR WHERE MB RUNS
#   BIN_DIR  the folder of vellumtide and vellumtide-clipboard (build/release/bin)
#   WHERE    x11 (a private Xvfb), sway (headless sway, the program drawing through Wayland) or
#            sway-no-wl-copy (the same with no wl-copy for the program)
#   MB       megabytes of English-like lines of 70 characters, pasted, under A = "q"
# Prints a line a run: the time, and "exact" where the export pasted back byte for byte
# ("reported" where the program said it could not export).
set -euo pipefail
source "$(dirname "$0")/../tests/e2e/processes.sh"
run_in_own_group "$@"

bin=$(cd "$1" && pwd)
where=$2
mb=$3
runs=$4
work=$(mktemp -d)
chmod 755 "$work"
marker="XDG_RUNTIME_DIR=$work/run"
trap 'end_processes_marked "$marker"; [ -n "${KEEP:-}" ] && echo "kept $work" || rm -rf "$work"' EXIT
mkdir -m 700 "$work/run" "$work/home"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    chown nobody:nogroup "$work/run" "$work/home"
fi
mkdir "$work/no-wl-copy"
cp "$bin/vellumtide" "$bin/vellumtide-clipboard" "$work/"
chmod -R a+rX "$work"
path=/usr/bin:/bin
[ "$where" != sway-no-wl-copy ] || path=$work/no-wl-copy # /bin is /usr/bin, which has wl-copy

# The text, the export it makes, and a run's display and programs, each as the user.
words='the quick brown fox jumps over the lazy dog and then a solver reads it'
yes "${words:0:70}" | head -c $((mb << 20)) >"$work/text" || true
{ tr a-z A-Z <"$work/text" | sed 's/[B-Z]/*/g; s/A/Q/g'; printf '\r\nq%s' \
    "$(printf '%25s' '' | tr ' ' '*')"; } >"$work/expected"
chmod a+r "$work/text" "$work/expected"
user() {
    "${as_user[@]}" env -i HOME="$work/home" XDG_RUNTIME_DIR="$work/run" PATH=/usr/bin:/bin \
        DBUS_SESSION_BUS_ADDRESS="unix:path=$work/run/no-bus" ${DISPLAY:+DISPLAY=$DISPLAY} \
        ${WAYLAND_DISPLAY:+WAYLAND_DISPLAY=$WAYLAND_DISPLAY} "$@"
}
wait_for() {
    local deadline=$(($(now_ms) + $2 * 1000))
    until eval "$1" >/dev/null 2>&1; do
        [ "$(now_ms)" -lt "$deadline" ] || { echo "timed out: $1" >&2; exit 1; }
        sleep 0.05
    done
}

# Waits until the program has used no processor time for half a second: the paste is in.
wait_idle() {
    local before="" now
    while now=$(awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null) && [ "$now" != "$before" ]; do
        before=$now
        sleep 0.5
    done
}

pipes_of() { find "/proc/$1/fd" -lname 'pipe:*' 2>/dev/null | wc -l; }

windows() {
    if [ "$where" = x11 ]; then
        user xdotool search --onlyvisible --name '^Vellumtide decoder$' 2>/dev/null | wc -l
    else
        user env SWAYSOCK="$(ls "$work"/run/sway-ipc.*.sock)" swaymsg -t get_tree 2>/dev/null |
            grep -c '"name": "Vellumtide decoder"' || true
    fi
}

one_run() {
    unset DISPLAY WAYLAND_DISPLAY
    local start app program pasted
    if [ "$where" = x11 ]; then
        user Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
        wait_for 'grep -q "[0-9]" "$work/display"' 30
        export DISPLAY=":$(head -n 1 "$work/display")"
        user xclip -selection clipboard -i -quiet <"$work/text" >/dev/null 2>&1 &
        user env PATH="$path" "$work/vellumtide" >/dev/null 2>&1 &
        app=$!
        wait_for 'program=$(pgrep -n -f "^$work/vellumtide")' 30
        local window
        wait_for 'window=$(user xdotool search --onlyvisible --name "^Vellumtide decoder$")' 30
        user xdotool windowfocus --sync "$window" type q
        user xdotool mousemove --window "$window" 200 130 click 1 key ctrl+v
        sleep 1
        wait_idle "$program"
        start=$(now_ms)
        user xdotool mousemove --window "$window" 460 292 click 1
    else
        printf 'output HEADLESS-1 resolution 1024x768\nxwayland force\n' >"$work/sway.conf"
        chmod a+r "$work/sway.conf"
        user env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
            sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
        wait_for 'ls "$work/run" | grep -qx "wayland-[0-9]*"' 30
        export WAYLAND_DISPLAY=$(ls "$work/run" | grep -x 'wayland-[0-9]*' | head -n 1)
        user wl-copy --type text/plain <"$work/text"
        user env PATH="$path" QT_QPA_PLATFORM=wayland QT_LOGGING_RULES=qt.qpa.wayland=true \
            "$work/vellumtide" >"$work/program.log" 2>&1 &
        app=$!
        wait_for 'program=$(pgrep -n -f "^$work/vellumtide")' 30
        wait_for 'grep -q "configure event.*WindowActive" "$work/program.log"' 30
        sleep 0.3
        local keys=(-s 300 q) i
        for i in $(seq 26); do keys+=(-k Tab); done
        # The paste reads from a pipe, waiting on wl-copy more than working: it is in once the
        # pipe has come and gone.
        local pipes
        pipes=$(pipes_of "$program")
        user wtype -d 15 "${keys[@]}" -M ctrl v -m ctrl
        wait_for '[ "$(pipes_of "$program")" -gt "$pipes" ]' 30
        wait_for '[ "$(pipes_of "$program")" -eq "$pipes" ]' 300
        wait_idle "$program"
        user wtype -s 300 -d 15 -k Tab -k Tab -k Tab -k Tab # a new keyboard: see below
        start=$(($(now_ms) + 300)) # wtype waits 300 ms for its keymap before the key
        user wtype -s 300 -k space
    fi
    # The end of the program, or its report (a second window of its name).
    local outcome=exact deadline=$(($(now_ms) + 30000))
    until ended "$app"; do
        [ "$(now_ms)" -lt "$deadline" ] || { echo "$where ${mb} MB: no end and no report in 30 s"; return; }
        if [ "$(windows)" -gt 1 ]; then
            outcome=reported
            break
        fi
        sleep 0.01
    done
    local took=$(($(now_ms) - start))
    if [ "$outcome" = reported ]; then
        if [ "$where" = x11 ]; then user xdotool key Return; else user wtype -k Return; fi
        wait_end "$app" 5000 || true
    fi
    if [ "$outcome" = exact ]; then
        if [ "$where" = x11 ]; then
            user timeout 60 xclip -selection clipboard -o -t UTF8_STRING >"$work/pasted" 2>/dev/null || true
        else
            user timeout 60 wl-paste --no-newline >"$work/pasted" 2>/dev/null || true
        fi
        cmp -s "$work/pasted" "$work/expected" || outcome="differs ($(stat -c %s "$work/pasted") of $(stat -c %s "$work/expected") bytes)"
    fi
    echo "$where ${mb} MB: Exit took $took ms, $outcome"
    end_processes_marked "$marker"
}

for _ in $(seq "$runs"); do one_run; done
