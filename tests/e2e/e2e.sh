#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end tests: the real program on a private X server (Xvfb -displayfd) with no window
# manager and no clipboard manager, driven by xdotool, its clipboard read by xclip after the
# program has exited, exactly as another program would paste it.
#
# Usage: e2e.sh PROGRAM XTOOL CASE     (the cases are the functions named case_*)
set -euo pipefail
source "$(dirname "$0")/processes.sh"
run_in_own_group "$@"

program=$1
xtool=$2
name=$3
# These tests are of X11 alone; a Wayland session around them is not theirs to touch.
unset WAYLAND_DISPLAY
# The privacy case runs as on a desktop, with a D-Bus session and the accessibility bus.
if [ "$name" = nothing_written_nothing_sent ] && [ -z "${E2E_IN_SESSION:-}" ]; then
    command -v dbus-run-session >/dev/null || { echo "FAIL: dbus-run-session is not installed" >&2; exit 1; }
    E2E_IN_SESSION=$(mktemp -u) exec dbus-run-session -- bash "$0" "$@"
fi
open_case
# Elsewhere no session bus: with dbus-x11 installed the toolkit would otherwise start one
# through dbus-launch, which outlives the test.
[ -n "${E2E_IN_SESSION:-}" ] || export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-session-bus"

start_display() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
    xvfb=$!
    pids+=("$xvfb")
    local i
    for i in $(seq 200); do
        grep -q '[0-9]' "$work/display" 2>/dev/null && break
        sleep 0.05
    done
    export DISPLAY=":$(head -n 1 "$work/display")"
    [ "$DISPLAY" != ":" ] || fail "Xvfb did not start"
}

# Waits up to $1 seconds for the program's window and gives it the focus; sets window.
wait_for_window() {
    window=$(timeout "$1" xdotool search --sync --onlyvisible --name '^Vellumtide decoder$' |
        head -n 1)
    [ -n "$window" ] || fail "the window did not appear"
    xdotool windowfocus --sync "$window"
}

# Starts the program (or $1 instead) and waits for its window; sets app and window.
start_program() {
    "${1:-$program}" >"$work/stdout" 2>"$work/stderr" &
    app=$!
    pids+=("$app")
    wait_for_window 10
}

# Clicks at a point of the window's client area, in pixels.
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.1; }
click_key_box() { click $((8 + 16 * ($1 - 1) + 8)) 49; }
click_input() { click 200 130; }
click_output() { click 200 250; }
click_exit() { click 460 292; }

type_text() { xdotool type --delay 20 "$1"; sleep 0.1; }

# Puts text on the clipboard from another program, as a user copying elsewhere would.
offer_clipboard() {
    xclip -selection clipboard -i -quiet <"$1" >/dev/null 2>&1 &
    pids+=($!)
    sleep 0.3
}

paste_into_input() {
    click_input
    xdotool key ctrl+v
    sleep 0.5
}

read_clipboard() { timeout 10 xclip -selection clipboard -o -t UTF8_STRING; }

# $2 bytes of the line $1 over and over (yes ends on a broken pipe, which is no failure here).
repeat_line() { yes "$1" | head -c "$2" || true; }

stars() { printf '%*s' "$1" '' | tr ' ' '*'; }

# The clipboard helpers serving this display.
# (A helper that has just ended, such as the one that reports and leaves its detached child to
# serve, may vanish between the listing and the reading.)
helpers_here() {
    local pid
    for pid in $(pgrep -x vellumtide-clip || true); do
        if { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qx "DISPLAY=$DISPLAY"; then
            echo "$pid"
        fi
    done
    return 0
}

# Presses Exit and waits up to $1 milliseconds (2000) for the program to end.
exit_and_wait() {
    click_exit
    wait_end "$app" "${1:-2000}" || fail "the program did not end after Exit"
}

expect_clipboard() {
    read_clipboard >"$work/actual" || fail "nothing could be pasted"
    cmp -s "$work/actual" "$1" || {
        od -c "$work/actual" | head -n 5 >&2
        fail "the pasted text differs from the expected one"
    }
}

case_export_bytes() {
    start_program
    type_text t # the box under A has the focus
    click_input
    type_text "a b"
    exit_and_wait
    printf 'T *\r\nt%s' "$(stars 25)" >"$work/expected"
    expect_clipboard "$work/expected"
}

case_utf8_beyond_latin1() {
    start_program
    type_text q
    printf 'ünïcödé ß 漢字 👍🏽 ıa' >"$work/pasted"
    offer_clipboard "$work/pasted"
    paste_into_input
    exit_and_wait
    printf 'Ü*Ï*Ö*É ß 漢字 👍🏽 *Q\r\nq%s' "$(stars 25)" >"$work/expected"
    expect_clipboard "$work/expected"
}

# $1 bytes of the line $2 pasted under A = "x": the export goes whole, by INCR transfers,
# however long (the paste may still be under way when Exit is pressed).
export_of_size() {
    start_program
    type_text x
    repeat_line "$2" "$1" >"$work/pasted"
    offer_clipboard "$work/pasted"
    paste_into_input
    exit_and_wait 30000
    { repeat_line "$(sed 's/[b-z]/*/g; s/a/X/g' <<<"$2")" "$1"; printf '\r\nx%s' "$(stars 25)"; } \
        >"$work/expected"
    expect_clipboard "$work/expected"
}
case_one_megabyte_incr() { export_of_size $((1 << 20)) 'abc def'; }
# A book's lines, each a block of the input box: short lines would make the box itself slow.
case_thirty_megabytes() { export_of_size $((30 << 20)) 'the quick brown fox jumps over a lazy dog'; }

# The two-symbol code that writes each letter as five A or B letters, over 10 MB of alphabets:
# an output of 50,877,356 characters, longer than the window once cut at (2^25, or four times
# the input), is shown and exported whole.
case_fifty_million_characters() {
    local codes="" letter bit code
    start_program
    for letter in {0..25}; do
        code=""
        for bit in 4 3 2 1 0; do code+=$(((letter >> bit) & 1)); done
        code=$(tr 01 ab <<<"$code")
        xdotool type --delay 5 "$code"
        xdotool key Tab
        codes+=${code^^}
    done
    local size=$((10 << 20)) line=27 # the alphabet and its line feed
    repeat_line abcdefghijklmnopqrstuvwxyz "$size" >"$work/pasted"
    offer_clipboard "$work/pasted"
    paste_into_input
    exit_and_wait 30000
    { repeat_line "$codes" $((size / line * (26 * 5 + 1)));
      printf '%s\r\n%s' "${codes:0:$((size % line * 5))}" "${codes,,}"; } >"$work/expected"
    expect_clipboard "$work/expected"
}

# Text selected in the output with the mouse is offered as PRIMARY, and Ctrl+A, Ctrl+C copy it all.
case_output_selection_copied() {
    start_program
    type_text t
    click_input
    type_text "a b"
    xdotool key Return
    type_text "cab"
    xdotool mousemove --window "$window" 12 212 mousedown 1 mousemove --window "$window" 40 212 \
        mousemove --window "$window" 90 212 mouseup 1
    sleep 0.2
    [ "$(timeout 5 xclip -selection primary -o)" = "T *" ] ||
        fail "PRIMARY holds '$(timeout 5 xclip -selection primary -o)' after a drag over the first line"
    xdotool key ctrl+a ctrl+c
    sleep 0.2
    printf 'T *\n*T*' >"$work/expected"
    expect_clipboard "$work/expected"
    exit_and_wait
}

# GNOME and Plasma find the launcher of an X11 window, and with it the window's name and icon,
# by the window's class.
case_window_class_names_launcher() {
    local launcher class
    launcher="$(dirname "$0")/../../data/org.vellumtide.Decoder.desktop"
    class=$(sed -n 's/^StartupWMClass=//p' "$launcher")
    [ -n "$class" ] || fail "the launcher names no StartupWMClass"
    start_program
    [ "$("$xtool" class "$window")" = "$class" ] ||
        fail "the window's class is '$("$xtool" class "$window")', the launcher's '$class'"
}

case_close_leaves_clipboard() {
    printf sentinel >"$work/sentinel"
    offer_clipboard "$work/sentinel"
    start_program
    type_text q
    "$xtool" close "$window"
    wait_end "$app" 2000 || fail "the program did not end when its window was closed"
    [ -z "$(helpers_here)" ] || fail "closing the window started the clipboard helper"
    expect_clipboard "$work/sentinel"
}

case_exit_fast_after_copy_with_stuck_manager() {
    "$xtool" hold-manager >"$work/manager" &
    pids+=($!)
    start_program
    type_text k
    click_input
    type_text "some text"
    click_output
    xdotool key ctrl+a ctrl+c # the program now owns the clipboard itself
    sleep 0.3
    local started
    started=$(now_ms)
    click_exit
    wait_end "$app" 1000 || fail "Exit took over a second"
    echo "Exit took $(($(now_ms) - started)) ms"
    printf '%s %s\r\nk%s' '****' '****' "$(stars 25)" >"$work/expected"
    expect_clipboard "$work/expected"
}

# Exits the program and sets helper to the one helper that serves its text.
exit_to_helper() {
    start_program
    exit_and_wait
    helper=$(helpers_here)
    [ -n "$helper" ] || fail "no helper serves the clipboard after Exit"
    [ "$(echo "$helper" | wc -l)" -eq 1 ] || fail "more than one helper serves the clipboard"
}

case_helper_ends_when_clipboard_taken() {
    exit_to_helper
    printf other >"$work/other"
    offer_clipboard "$work/other"
    wait_end "$helper" 2000 || fail "the helper did not end when another client took the clipboard"
    expect_clipboard "$work/other"
}

# A compositor such as KWin (xtool compositor) takes CLIPBOARD from the helper when an X11
# window gets the focus, and lets it go, to no owner, once none has. It says "ready", and "read"
# once a client has read the text it passes on.
start_compositor() {
    mkfifo "$work/to-compositor"
    "$xtool" compositor "$1" <"$work/to-compositor" >"$work/compositor" &
    pids+=($!)
    exec 3>"$work/to-compositor"
    compositor_says ready
}
compositor_says() {
    local i
    for i in $(seq 250); do grep -qx "$1" "$work/compositor" && return; sleep 0.02; done
    fail "the compositor did not say '$1'"
}
compositor_lets_go() { echo let-go >&3; sleep 0.5; }

# The helper reads what the compositor passes on; the very text, it takes back when let go.
case_helper_takes_back_from_compositor() {
    exit_to_helper
    read_clipboard >"$work/expected"
    start_compositor "$(cat "$work/expected")"
    echo take >&3
    compositor_says read
    compositor_lets_go
    expect_clipboard "$work/expected"
}

# Another text is the clipboard's now: the helper ends, and keeps it from no one.
case_helper_ends_when_compositor_passes_on_another() {
    exit_to_helper
    start_compositor "copied later"
    echo take >&3
    wait_end "$helper" 2000 || fail "the helper did not end"
    compositor_lets_go
    ! read_clipboard >/dev/null 2>&1 || fail "something still serves the clipboard"
}

# Asked to leave a served clipboard alone, the helper leaves it to a compositor that answers
# while an X11 window has the focus, and takes it once the compositor lets it go.
case_helper_waits_for_compositor_to_let_go() {
    printf 'the export' >"$work/expected"
    start_compositor "the export"
    echo take >&3
    local status=0
    "$(dirname "$program")/vellumtide-clipboard" --unless-served <"$work/expected" || status=$?
    [ "$status" -eq 2 ] || fail "the helper answered $status, not 2 (left to the compositor)"
    compositor_says read
    compositor_lets_go
    expect_clipboard "$work/expected"
}

case_helper_ends_with_display() {
    exit_to_helper
    kill "$xvfb"
    wait_end "$helper" 2000 || fail "the helper outlived its display"
}

case_failure_reported_without_helper() {
    mkdir "$work/alone"
    cp "$program" "$work/alone/vellumtide"
    printf sentinel >"$work/sentinel"
    offer_clipboard "$work/sentinel"
    start_program "$work/alone/vellumtide"
    click_exit
    local report
    report=$(timeout 5 xdotool search --sync --onlyvisible --name '^Vellumtide decoder$' |
        grep -vx "$window" | head -n 1) || true
    [ -n "$report" ] || fail "no report appeared"
    ! ended "$app" || fail "the program ended before the user saw the report"
    xdotool windowfocus --sync "$report" key Return
    wait_end "$app" 2000 || fail "the program did not end after the report"
    expect_clipboard "$work/sentinel"
}

# After Exit, either the program has ended within a second, or it shows its report within a
# second and ends within a second of the user dismissing it. Sets reported=yes or no.
expect_end_or_report() {
    reported=no
    local deadline=$(($(now_ms) + 1000)) report
    while ! ended "$app"; do
        report=$(xdotool search --onlyvisible --name '^Vellumtide decoder$' 2>/dev/null |
            grep -vx "$window" | head -n 1) || true
        if [ -n "$report" ]; then
            reported=yes
            xdotool windowfocus --sync "$report" key Return
            wait_end "$app" 1000 || fail "the program did not end after its report"
            return 0
        fi
        [ "$(now_ms)" -lt "$deadline" ] || fail "Exit neither ended the program nor reported"
        sleep 0.02
    done
}

case_failing_helper_reported() {
    mkdir "$work/failing"
    cp "$program" "$work/failing/vellumtide"
    printf '#!/bin/sh\necho "the X server refused" >&2\nexit 3\n' >"$work/failing/vellumtide-clipboard"
    chmod +x "$work/failing/vellumtide-clipboard"
    start_program "$work/failing/vellumtide"
    click_exit
    expect_end_or_report
    [ "$reported" = yes ] || fail "a failing helper was not reported"
}

case_clipboard_taken_during_exit() {
    "$xtool" fight 10 >"$work/fight" &
    pids+=($!)
    start_program
    type_text q
    click_exit
    expect_end_or_report
    echo "reported: $reported"
    # Whichever client won, no helper is left serving a clipboard it lost.
    sleep 0.5
    local helper
    for helper in $(helpers_here); do
        wait_end "$helper" 2000 || fail "a helper outlived its clipboard"
    done
}

case_display_gone_during_exit() {
    start_program
    type_text q
    xdotool mousemove --window "$window" 460 292 click 1 &
    kill "$xvfb"
    wait_end "$app" 1000 || fail "the program outlived its display by over a second"
    local helper
    for helper in $(helpers_here); do
        wait_end "$helper" 1000 || fail "a helper outlived the display"
    done
}

# A whole session under strace: the program and its helper write no file outside the toolkit's
# cache and runtime folders and connect to nothing but the X server.
case_nothing_written_nothing_sent() {
    command -v strace >/dev/null || fail "strace is not installed"
    # The accessibility bus, as a desktop starts it for a screen reader.
    local a11y_bus
    a11y_bus=$(dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
        org.a11y.Bus.GetAddress 2>/dev/null | tr -d ' ') || fail "the accessibility bus did not start"
    local trace="$work/trace"
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 strace -f -qq -e trace=%file,%network -o "$trace" \
        "$program" >/dev/null 2>&1 &
    local tracer=$!
    pids+=("$tracer")
    wait_for_window 20
    app=$(pgrep -P "$tracer" | head -n 1)
    type_text q
    printf 'a quiet text\n' >"$work/pasted"
    offer_clipboard "$work/pasted"
    paste_into_input
    exit_and_wait
    # The helper is traced too: taking the clipboard from it ends it, and with it the trace.
    printf other >"$work/other"
    offer_clipboard "$work/other"
    wait_end "$tracer" 5000 || fail "strace did not end"
    [ -s "$trace" ] || fail "strace recorded nothing"

    local runtime="${XDG_RUNTIME_DIR:-/tmp/runtime-$(id -un)}" cache="${XDG_CACHE_HOME:-$HOME/.cache}"
    # Calls that write, create, remove or rename, and that did not fail.
    local writes
    writes=$({
        grep -E '^[0-9]+ +(open|openat)\(.*(O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|O_APPEND)' "$trace"
        grep -E '^[0-9]+ +(creat|mkdir|mkdirat|rename|renameat2?|unlink|unlinkat|rmdir|linkat?|symlinkat?|truncate|chmod|fchmodat|utimensat)\(' "$trace"
    } | grep -v ' = -1 ' | grep -oE '"[^"]*"' | tr -d '"' | sort -u |
        grep -vxE "/dev/null|/dev/tty|($runtime|$cache)(/.*)?" || true)
    [ -z "$writes" ] || fail "wrote outside the toolkit's folders: $writes"
    grep -qE 'socket\(AF_INET6?,' "$trace" && fail "opened a network socket"
    local peers
    # A failed look-up of the name service cache (nscd) reaches nothing.
    # The X server, the session bus and the accessibility bus are the only peers allowed.
    local buses
    buses=$(printf '%s\n%s\n' "$DBUS_SESSION_BUS_ADDRESS" "$a11y_bus" | tr ',;' '\n\n' |
        sed -n 's/^.*unix:path=\(.*\)/"\1"/p; s/^.*unix:abstract=\(.*\)/@"\1"/p; s/^path=\(.*\)/"\1"/p; s/^abstract=\(.*\)/@"\1"/p')
    peers=$(grep -E 'connect\(' "$trace" | grep -vE '= -1 (ENOENT|ECONNREFUSED)' | grep -oE 'sun_path=@?"[^"]*"' |
        sed 's/^sun_path=//' | sort -u | grep -vE '^@?"/tmp/\.X11-unix/X[0-9]+"$' | grep -vxF "$buses" || true)
    [ -z "$peers" ] || fail "connected to something other than the X server and the buses: $peers"
    grep -qE 'connect\(.*X11-unix' "$trace" || fail "the trace shows no connection at all"
    local bus
    while read -r bus; do
        grep -qF "sun_path=$bus" "$trace" || fail "the program did not reach the bus at $bus"
    done <<<"$buses"
}

case_piped_output_does_not_hang() {
    "$program" 2>/dev/null | cat >/dev/null &
    local pipeline=$!
    pids+=("$pipeline")
    wait_for_window 10
    click_exit
    wait_end "$pipeline" 2000 || fail "the pipeline still runs after Exit"
}

declare -F "case_$name" >/dev/null || fail "no such case"
start_display
"case_$name"
echo "ok: $name"
