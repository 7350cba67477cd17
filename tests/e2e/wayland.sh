#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end tests of Exit on real Wayland compositors: the program drawing through Wayland
# (native) or through Xwayland, on sway (headless backend; wlroots, keeps no clipboard) and on
# weston (its X11 backend inside a private Xvfb; keeps clipboards). After the program has ended,
# a Wayland client (wl-paste) and an X11 client under Xwayland (xclip) must paste the export.
# Sway refuses to run as root, so as root everything here runs as the user nobody.
#
# Usage: wayland.sh PROGRAM HELPER CASE     (the cases are the functions named case_*)
#        KEEP=1 keeps the test's folder, with the compositor's and the program's logs.
set -euo pipefail
source "$(dirname "$0")/processes.sh"
run_in_own_group "$@"

program=$1
helper=$2
name=$3
work=$(mktemp -d)
chmod 755 "$work"
user_pids=()

# As root, the compositors and every client run as nobody.
as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
mkdir -m 700 "$work/run" "$work/home"
[ "$(id -u)" -ne 0 ] || chown nobody:nogroup "$work/run" "$work/home"

# Every process of this test carries this runtime folder in its environment.
marker="XDG_RUNTIME_DIR=$work/run"

cleanup() {
    local pid
    for pid in "${user_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    end_processes_marked "$marker"
    [ -z "${KEEP:-}" ] && rm -rf "$work" || echo "kept $work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $name: $*" >&2
    for log in "$work"/*.log "$work"/run/*.log; do
        [ -s "$log" ] || continue
        echo "--- ${log##*/} (last lines)" >&2
        tail -n 15 "$log" >&2
    done
    exit 1
}

# How long a compositor, its Xwayland or the program may take to come up: these deadlines only
# matter when it never does, and on a loaded machine (a load of 8 to 11 on two cores) Xwayland
# alone has taken more than 10 s.
startup=30

# Waits up to $2 seconds for the command line $1 to succeed.
wait_for() {
    local deadline=$(($(now_ms) + $2 * 1000))
    until eval "$1" >/dev/null 2>&1; do
        [ "$(now_ms)" -lt "$deadline" ] || return 1
        sleep 0.05
    done
}

# Runs a command as the test's user, with only what a session gives a program.
user() {
    "${as_user[@]}" env -i HOME="$work/home" XDG_RUNTIME_DIR="$work/run" PATH=/usr/bin:/bin \
        DBUS_SESSION_BUS_ADDRESS="unix:path=$work/run/no-bus" \
        ${WAYLAND_DISPLAY:+WAYLAND_DISPLAY=$WAYLAND_DISPLAY} ${XWAYLAND:+DISPLAY=$XWAYLAND} "$@"
}

# The program and its helper, where the user can run them; "alone" has no helper beside it.
# A wl-copy that fails at once, and one that never answers.
mkdir -p "$work/bin" "$work/alone" "$work/no-wl-copy" "$work/failing-wl-copy" "$work/stuck-wl-copy"
cp "$program" "$helper" "$(dirname "$0")/clipboard_manager.py" "$work/bin/"
cp "$program" "$work/alone/"
printf '#!/bin/sh\necho "the compositor refused the selection" >&2\nexit 1\n' \
    >"$work/failing-wl-copy/wl-copy"
printf '#!/bin/sh\nexec /bin/sleep 30\n' >"$work/stuck-wl-copy/wl-copy"
chmod 755 "$work/failing-wl-copy/wl-copy" "$work/stuck-wl-copy/wl-copy"
chmod -R a+rX "$work/bin" "$work/alone" "$work/no-wl-copy" "$work/failing-wl-copy" \
    "$work/stuck-wl-copy"

# Each Xwayland's own environment is read, not every process's: on a loaded machine a look
# through every process has taken more than 20 s.
our_xwayland() {
    local pid
    for pid in $(pgrep -x Xwayland); do
        { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF -- "$marker" &&
            echo "$pid" && return 0
    done
    return 1
}

start_sway() {
    command -v sway >/dev/null || fail "sway is not installed"
    printf 'output HEADLESS-1 resolution 1024x768\nxwayland force\n' >"$work/sway.conf"
    chmod a+r "$work/sway.conf"
    user env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
        sway -c "$work/sway.conf" >"$work/compositor.log" 2>&1 &
    compositor=$!
    user_pids+=("$compositor")
    wait_for 'ls "$work/run" | grep -qx "wayland-[0-9]*"' "$startup" || fail "sway did not start"
    WAYLAND_DISPLAY=$(ls "$work/run" | grep -x 'wayland-[0-9]*' | head -n 1)
    # wlroots starts Xwayland detached from sway; it is the one in this test's session.
    wait_for 'our_xwayland' "$startup" || fail "sway started no Xwayland"
    XWAYLAND=$(tr '\0' '\n' <"/proc/$(our_xwayland)/cmdline" | grep -m 1 '^:[0-9]*$')
    wait_for 'user xdotool getdisplaygeometry' "$startup" ||
        fail "sway's Xwayland does not answer"
    # For swaymsg alone: the decoder must not depend on it, as a program that sway did not
    # start itself (a systemd or D-Bus activated one) may lack it.
    SWAYSOCK=$(ls "$work"/run/sway-ipc.*.sock)
}

# weston draws into a window of a private Xvfb, through which xdotool reaches it. Its
# configuration is none, or $3's lines.
start_weston() {
    command -v weston >/dev/null || fail "weston is not installed"
    local width=${1:-1024} height=${2:-768}
    printf '%s\n' "${3:-}" >"$work/weston.ini"
    chmod a+r "$work/weston.ini"
    user Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/xvfb.display" \
        2>"$work/xvfb.log" &
    user_pids+=($!)
    wait_for 'grep -q "[0-9]" "$work/xvfb.display"' "$startup" || fail "Xvfb did not start"
    XVFB=":$(head -n 1 "$work/xvfb.display")"
    user env DISPLAY="$XVFB" weston --config="$work/weston.ini" --backend=x11-backend.so --xwayland \
        --width="$width" --height="$height" --socket=wayland-weston --idle-time=0 \
        >"$work/compositor.log" 2>&1 &
    compositor=$!
    user_pids+=("$compositor")
    WAYLAND_DISPLAY=wayland-weston
    wait_for 'grep -q "xserver listening on display" "$work/compositor.log"' "$startup" ||
        fail "weston did not start with Xwayland"
    XWAYLAND=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$work/compositor.log")
    wait_for 'grep -q "launching .*weston-desktop-shell" "$work/compositor.log"' "$startup" ||
        fail "weston started no shell"
}

# A clipboard manager that reads each new selection three times and offers what it kept ($1:
# the last read, an empty text, or nothing) once the selection has gone, as Plasma's Klipper does.
start_clipboard_manager() {
    user python3 "$work/bin/clipboard_manager.py" "$work/run/manager.log" --keeps "$1" \
        2>"$work/manager-errors.log" &
    user_pids+=($!)
    wait_for 'grep -qx ready "$work/run/manager.log"' "$startup" ||
        fail "the clipboard manager did not start"
}

# Starts the program (from folder $2, with wl-copy looked up in $3) on platform $1 and waits
# for its window.
start_program() {
    local platform=$1 folder=${2:-$work/bin} path=${3:-/usr/bin:/bin}
    user env PATH="$path" QT_QPA_PLATFORM="$platform" QT_LOGGING_RULES=qt.qpa.wayland=true \
        "$folder/vellumtide" >"$work/program.log" 2>&1 &
    app=$!
    user_pids+=("$app")
    [ "$platform" != xcb ] || shift_key=(-k Shift_L)
    if [ "$platform" = xcb ]; then
        wait_for 'user xdotool search --onlyvisible --name "^Vellumtide decoder$"' "$startup" ||
            fail "the window did not appear on Xwayland"
    else
        wait_for 'grep -q "configure event.*WindowActive" "$work/program.log"' "$startup" ||
            fail "the window did not become active"
    fi
    sleep 0.3
}

# wtype gives its virtual keyboard a keymap of the keys it types alone. Where none of them is a
# modifier, the keymap that the compositor passes on has an empty compatibility section
# (libxkbcommon 1.13 leaves out what no key uses), which Xwayland's keymap compiler rejects:
# Xwayland keeps its own keymap, and the keys arrive as others (q as Escape). So for a window on
# Xwayland each wtype also presses Shift, which adds a modifier to the keymap and does nothing in
# the window.
shift_key=()

# Types the key entry A = "q" and the input "a b" from the box under A, then presses Exit by
# the keyboard (Tab from the input goes to the output, the two clear buttons, then Exit).
type_and_exit() {
    if [ "$compositor_name" = sway ]; then
        local keys=(-s 300 "${shift_key[@]}" q) i
        for i in $(seq 26); do keys+=(-k Tab); done
        keys+=("a b")
        for i in $(seq 4); do keys+=(-k Tab); done
        user wtype -d 15 "${keys[@]}"
        # A new virtual keyboard loses the keys sent while its keymap is still being taken in,
        # hence wtype's pause before the key.
        exit_pressed=$(($(now_ms) + 300))
        user wtype -s 300 "${shift_key[@]}" -k space
    else
        user env DISPLAY="$XVFB" xdotool type --delay 30 q
        local i
        for i in $(seq 26); do user env DISPLAY="$XVFB" xdotool key Tab; done
        user env DISPLAY="$XVFB" xdotool type --delay 30 "a b"
        for i in $(seq 4); do user env DISPLAY="$XVFB" xdotool key Tab; done
        sleep 0.2
        exit_pressed=$(now_ms)
        user env DISPLAY="$XVFB" xdotool key space
    fi
}

press_return() {
    if [ "$compositor_name" = sway ]; then
        user wtype -s 300 "${shift_key[@]}" -k Return
    else
        user env DISPLAY="$XVFB" xdotool key Return
    fi
}

expected_export() { printf 'Q *\r\nq%s' "$(printf '%25s' '' | tr ' ' '*')"; }

# After the program has ended, both kinds of client paste exactly the export.
expect_pasted_everywhere() {
    expected_export >"$work/expected"
    # On weston wl-paste reads through a surface of its own, which now and then waits in vain
    # for the keyboard focus: it is asked again.
    wayland_paste() {
        user timeout 3 wl-paste --no-newline >"$work/wayland-paste" 2>"$work/wl-paste.log" &&
            cmp -s "$work/wayland-paste" "$work/expected"
    }
    x11_paste() {
        user timeout 10 xclip -o -selection clipboard -t UTF8_STRING >"$work/x11-paste" \
            2>"$work/xclip.log" && cmp -s "$work/x11-paste" "$work/expected"
    }
    # sway's Xwayland runs from the start, and no X11 window has the focus: an X11 client in
    # the background pastes at its first try, right after the end.
    if [ "$compositor_name" = sway ]; then
        x11_paste || fail "xclip right after the end got: $(od -c "$work/x11-paste" | head -n 3)"
    fi
    wait_for wayland_paste 10 || fail "wl-paste got: $(od -c "$work/wayland-paste" | head -n 3)"
    # On weston an Xwayland that has not started yet starts for the first X11 client, which
    # takes a moment.
    wait_for x11_paste 5 || fail "xclip got: $(od -c "$work/x11-paste" | head -n 3)"
}

expect_exported() {
    type_and_exit
    wait_end "$app" 1000 || fail "the program did not end within a second of Exit"
    echo "Exit to the end of the program: $(($(now_ms) - exit_pressed)) ms"
    expect_pasted_everywhere
}

# Exit shows the report and the program waits for the user; after Return it ends, and nothing
# pretends to hold the export.
expect_reported() {
    type_and_exit
    sleep 1.2
    ! ended "$app" || fail "the program ended without a report"
    if [ "$compositor_name" = sway ]; then
        local windows
        windows=$(user env SWAYSOCK="$SWAYSOCK" swaymsg -t get_tree | grep -c '"name": "Vellumtide decoder"')
        [ "$windows" -eq 2 ] || fail "expected the window and its report, found $windows windows"
    fi
    press_return
    wait_end "$app" 1000 || fail "the program did not end after the report"
    expected_export >"$work/expected"
    if user timeout 3 wl-paste --no-newline >"$work/wayland-paste" 2>/dev/null; then
        ! cmp -s "$work/wayland-paste" "$work/expected" || fail "reported a failure, yet the text is there"
    fi
}

case_sway_native_export() { compositor_name=sway; start_sway; start_program wayland; expect_exported; }
case_sway_xwayland_export() { compositor_name=sway; start_sway; start_program xcb; expect_exported; }

# An X11 window (the program's own, through Xwayland) takes the focus when the program ends,
# as the window it was started from would: sway must not have seen the helper's X11 clipboard
# first, or its bridge ends up reading from itself and nothing can be pasted.
case_sway_native_export_x11_window_focused_after() {
    compositor_name=sway
    start_sway
    user env QT_QPA_PLATFORM=xcb "$work/alone/vellumtide" >/dev/null 2>&1 &
    user_pids+=($!)
    wait_for 'user xdotool search --onlyvisible --name "^Vellumtide decoder$"' "$startup" ||
        fail "the X11 window did not appear"
    start_program wayland
    expect_exported
}

# A clipboard manager keeps the text only if every one of its reads was answered before the
# program let the selection go; the program counts on it only once it offers that text back.
case_sway_native_kept_by_clipboard_manager() {
    compositor_name=sway
    start_sway
    start_clipboard_manager last
    start_program wayland "$work/bin" "$work/no-wl-copy"
    expect_exported
}

# A reader that keeps nothing, or an empty text, is no keeper.
case_sway_native_reported_when_manager_keeps_nothing() {
    compositor_name=sway
    start_sway
    start_clipboard_manager nothing
    start_program wayland "$work/bin" "$work/no-wl-copy"
    expect_reported
}

case_sway_native_reported_when_manager_keeps_empty() {
    compositor_name=sway
    start_sway
    start_clipboard_manager empty
    start_program wayland "$work/bin" "$work/no-wl-copy"
    expect_reported
}

# sway keeps no clipboard, so without wl-copy nothing outlives the program.
case_sway_native_reported_without_wl_copy() {
    compositor_name=sway
    start_sway
    start_program wayland "$work/bin" "$work/no-wl-copy"
    expect_reported
}

case_sway_xwayland_reported_alone() {
    compositor_name=sway
    start_sway
    start_program xcb "$work/alone" "$work/no-wl-copy"
    expect_reported
}

# A full-screen request from the compositor leaves the window at its fixed size.
case_sway_native_fullscreen_refused() {
    compositor_name=sway
    start_sway
    start_program wayland
    user env SWAYSOCK="$SWAYSOCK" swaymsg '[app_id="org.vellumtide.Decoder"] fullscreen enable' >/dev/null
    sleep 1
    ! ended "$app" || fail "the program ended on a full-screen request"
    # In sway's tree a window's rectangles come before its name, its full-screen mode after.
    local tree
    tree=$(user env SWAYSOCK="$SWAYSOCK" swaymsg -t get_tree)
    grep -A 30 '"name": "Vellumtide decoder"' <<<"$tree" | grep -m 1 '"fullscreen_mode"' |
        grep -q '"fullscreen_mode": 0' || fail "the window stayed full screen"
    grep -B 30 '"name": "Vellumtide decoder"' <<<"$tree" | grep -A 5 '"window_rect"' |
        tr -d ' \n' | grep -q '"width":495,"height":312' || fail "the window lost its size"
    expect_exported
}

case_weston_native_export() { compositor_name=weston; start_weston; start_program wayland; expect_exported; }
case_weston_xwayland_export() { compositor_name=weston; start_weston; start_program xcb; expect_exported; }

# weston keeps clipboards: it reads the program's own selection at once, which is proof enough.
case_weston_native_kept_without_wl_copy() {
    compositor_name=weston
    start_weston
    start_program wayland "$work/bin" "$work/no-wl-copy"
    expect_exported
}

# Where wl-copy fails, a compositor that keeps clipboards still counts.
case_weston_native_kept_when_wl_copy_fails() {
    compositor_name=weston
    start_weston
    start_program wayland "$work/bin" "$work/failing-wl-copy"
    expect_exported
}

# A wl-copy that never answers leaves no time to wait for the compositor: Exit reports.
case_weston_native_reported_when_wl_copy_hangs() {
    compositor_name=weston
    start_weston
    start_program wayland "$work/bin" "$work/stuck-wl-copy"
    expect_reported
}

case_weston_xwayland_reported_alone() {
    compositor_name=weston
    start_weston
    start_program xcb "$work/alone" "$work/no-wl-copy"
    expect_reported
}

# The maximize button of the title bar that the toolkit draws on weston. On an output as wide
# as the window's 501-pixel frame and less high, weston places the window in the top-left
# corner, and a maximized window would have to be lower than the fixed one; the button's centre
# is 40 pixels from the right edge of the frame and 15 below its top. No panel: the window would
# go under it, or behind it where it is not up yet when the window comes (seen with Qt 6.8).
case_weston_native_maximize_survives() {
    compositor_name=weston
    start_weston 501 300 $'[shell]\npanel-position=none'
    start_program wayland
    local xdo=(user env DISPLAY="$XVFB" xdotool)
    # weston follows the pointer once it has entered its window; Qt 6.8's title bar takes a
    # click only after the pointer has moved over it, and should one go unnoticed all the same,
    # the user clicks again.
    "${xdo[@]}" mousemove 1200 1000 sleep 0.2 mousemove 300 200 sleep 0.2
    local attempt
    for attempt in 1 2 3; do
        "${xdo[@]}" mousemove 460 15 sleep 0.2 mousemove 461 15 sleep 0.2 click 1
        if wait_for 'grep -q "configure event.*WindowMaximized" "$work/program.log"' 1; then
            echo "the maximize button took $attempt click(s)"
            break
        fi
        [ "$attempt" -lt 3 ] || fail "the click did not reach the maximize button"
    done
    sleep 1
    ! ended "$app" || fail "the program ended on maximize"
    ! grep -q 'Protocol error' "$work/program.log" || fail "weston saw a protocol error"
    expect_exported
}

declare -F "case_$name" >/dev/null || fail "no such case"
"case_$name"
echo "ok: $name"
