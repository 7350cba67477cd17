#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end tests of the Windows program under Wine, inside session.sh: the decoder driven
# through the session's X server by xdotool, as a user types, and the clipboard read by a
# Windows program (clipboard_tool) after the decoder has ended, as another program would paste.
#
# Usage: e2e.sh PROGRAM CLIPBOARD_TOOL CASE [UIA_CLIENT]
#   (the cases are the functions named case_*; the UI Automation case needs UIA_CLIENT)
set -euo pipefail
source "$(dirname "$0")/../e2e/processes.sh"

program=$1
clipboard_tool=$2
name=$3
uia_client=${4:-}
[ -n "${WINEPREFIX:-}" ] || { echo "FAIL: run inside tests/windows/session.sh" >&2; exit 1; }
open_case

tool() { wine "$clipboard_tool" "$@"; }

# Starts the decoder and waits for its window, which takes the keyboard; sets app.
start_program() {
    # The toolkit's warnings, where a failure shows them (see wine-run.sh).
    WINEQT_FORCE_STDERR_LOGGING=1 wine "$program" >"$work/stdout" 2>"$work/stderr" &
    app=$!
    pids+=("$app")
    tool window "Vellumtide decoder" 20000 >/dev/null || fail "the window did not appear"
    xdotool windowfocus --sync "$WINE_DESKTOP_WINDOW"
}

type_text() { xdotool type --delay 20 "$1"; }
tab() {
    local keys=()
    for _ in $(seq "$1"); do keys+=(Tab); done
    xdotool key --delay 20 "${keys[@]}"
}

# From the input box, along the focus order to Exit (output, Clear Keyword, Clear Input text,
# Exit), and press it.
press_exit_from_input() {
    tab 4
    xdotool key space
}

# The export of output $1 and a key of $2 under A, every other box empty.
export_of() { printf '%s\r\n%s%s' "$1" "$2" '*************************'; }

expect_clipboard() {
    tool read >"$work/clipboard" || fail "the clipboard holds no text"
    cmp -s "$work/clipboard" <(printf '%s' "$1") ||
        fail "the clipboard holds $(od -c "$work/clipboard" | head -n 5), not $(printf '%s' "$1" | od -c | head -n 5)"
}

# Waits up to $1 milliseconds for the decoder to end.
expect_end() { wait_end "$app" "$1" || fail "the program did not end within $1 ms"; }

# The key and the input typed, a pasted text with a letter outside Latin-1, a character beyond
# the 16-bit range and a line break among them: after Exit, another program reads exactly the
# output, its line break as Windows writes it (CR LF), CR LF, and the key.
case_export_exact() {
    printf 'é😀\r\nx' | tool put
    start_program
    type_text q
    tab 26
    type_text ab
    xdotool key ctrl+v
    press_exit_from_input
    expect_end 2000
    expect_clipboard "$(export_of "$(printf 'Q*É😀\r\n*')" q)"
}

# A program that reads the clipboard again and again, as a clipboard history may, while the
# decoder exits: the decoder waits its turn to open the clipboard, and the text arrives whole.
case_export_survives_reader_at_exit() {
    printf 'sentinel' | tool put
    start_program
    type_text q
    tab 26
    type_text ab
    tool read-for 3000 &
    local reader=$!
    pids+=("$reader")
    sleep 0.5
    press_exit_from_input
    expect_end 2000
    wait "$reader"
    expect_clipboard "$(export_of 'Q*' q)"
}

# Another program holds the clipboard open: the decoder says so, with the reason, and ends once
# the report is dismissed; the clipboard keeps what it held.
case_reported_when_clipboard_held() {
    printf 'sentinel' | tool put
    start_program
    type_text q
    tab 26
    tool hold 3000 >"$work/held" &
    local holder=$!
    pids+=("$holder")
    for _ in $(seq 100); do grep -q held "$work/held" && break; sleep 0.05; done
    press_exit_from_input
    tool window owned "Vellumtide decoder" 3000 >/dev/null || fail "no report appeared"
    ! ended "$app" || fail "the program ended before the user saw the report"
    wait "$holder"
    expect_clipboard sentinel
    # A Windows message box puts its title and text on the clipboard on Ctrl+C.
    xdotool key ctrl+c
    tool read >"$work/report" || fail "the report could not be copied"
    grep -qF 'The result could not be put on the clipboard: another program kept it open' \
        "$work/report" || fail "the report says: $(cat "$work/report")"
    xdotool key Return
    expect_end 2000
}

# Closing the window through the window system ends the program and leaves the clipboard alone.
case_close_leaves_clipboard() {
    printf 'sentinel' | tool put
    start_program
    type_text q
    xdotool key alt+F4
    expect_end 2000
    expect_clipboard sentinel
}

# The decoder's window as UI Automation gives it to a screen reader, walked by uia_client: its
# tree in $work/tree.
walk_tree() {
    wine "$uia_client" tree "Vellumtide decoder" >"$work/tree" 2>&1 ||
        fail "the walk of the tree failed: $(cat "$work/tree")"
}

# What the tree says of the window's child of type $1 named $2, after the name; fails unless
# there is exactly one.
properties() {
    local prefix="  $1 \"$2\"" lines
    lines=$(awk -v prefix="$prefix" 'index($0, prefix) == 1' "$work/tree")
    if [ -z "$lines" ] || [ "$(wc -l <<<"$lines")" -ne 1 ]; then
        fail "the tree has $(grep -c . <<<"$lines") $1 elements named \"$2\": $(cat "$work/tree")"
    fi
    printf '%s\n' "${lines#"$prefix"}"
}

# Whether an element did not give the property $1: what Wine's UI Automation does not implement
# (Wine 10 refuses those to every element).
unanswered() { grep -q "^unanswered:.* $1=" "$work/tree"; }

# The window's child of type $1 named $2 is each of $3...; focused and read-only only if among
# them. Its value is not looked at.
expect_element() {
    local type=$1 element=$2 properties word
    shift 2
    properties=" $(properties "$type" "$element" | sed -E 's/ value="([^"\\]|\\.)*"//') "
    for word in "$@"; do
        [[ $properties == *" $word "* ]] || fail "$type \"$element\" is not $word:$properties"
    done
    for word in focused read-only; do
        if [[ " $* " != *" $word "* && $properties == *" $word "* ]]; then
            fail "$type \"$element\" is $word:$properties"
        fi
    done
}

# The one child of the window with the focus is the edit named $1. (A text box's viewport, its
# child, has the focus with it: the toolkit says so on Linux as well.)
expect_focus() {
    local focused
    focused=$(grep -E '^  [^ ].* focused( |$)' "$work/tree" || true)
    if [ -z "$focused" ] || [ "$(wc -l <<<"$focused")" -ne 1 ] ||
        [[ $focused != "  edit \"$1\" "* ]]; then
        fail "the focus is not on \"$1\" alone, but on: ${focused:-nothing}"
    fi
}

# What a screen reader finds through UI Automation, which Wine implements from version 10: the
# boxes and buttons, named as on screen, the focus where the keyboard is, the output read-only,
# and what the output reads. Wine 10 gives no values and does not say whether a button can be
# invoked (UIA_IsInvokePatternAvailablePropertyId): those checks wait for a Wine that does, and
# the case says so.
case_uia_tree() {
    local version
    version=$(wine --version 2>/dev/null)
    if ! [[ $version =~ ^wine-([0-9]+) ]] || [ "${BASH_REMATCH[1]}" -lt 10 ]; then
        echo "SKIP: $version has no UI Automation client that reaches another program's tree (Wine 10 has)"
        exit 77
    fi
    [ -n "$uia_client" ] || fail "no UI Automation client given"
    start_program
    walk_tree
    local letter caption
    for letter in {A..Z}; do
        caption="Key for $letter"
        expect_element text "$caption"
        if [ "$letter" = A ]; then
            expect_element edit "$caption" focusable focused editable
        else
            expect_element edit "$caption" focusable editable
        fi
    done
    local input='Enter text to be decrypted (/ Applied to) here:'
    local output='View / Copy Applied text here (automatically updated as you type)'
    expect_element edit "$input" focusable editable
    expect_element edit "$output" focusable read-only
    for caption in "Clear Keyword" "Clear Input text" Exit; do
        if unanswered invokable; then
            expect_element button "$caption" focusable
        else
            expect_element button "$caption" focusable invokable
        fi
    done
    expect_focus "Key for A"

    type_text q
    tab 1
    walk_tree
    expect_focus "Key for B"
    tab 25
    type_text ab
    walk_tree
    expect_focus "$input"
    tab 1
    walk_tree
    expect_focus "$output"
    if unanswered value; then
        echo "NOTE: not checked, as Wine does not answer: $(grep '^unanswered:' "$work/tree")"
    elif [[ $(properties edit "$output") != *' value="Q*" '* ]]; then
        fail "the output is not Q*: $(properties edit "$output")"
    fi
    # Nothing else may go unanswered: what Wine 10 refuses is known.
    grep -qxE 'unanswered:( invokable=0x[0-9a-f]+)?( value=0x[0-9a-f]+)?' "$work/tree" ||
        fail "UI Automation refused more: $(grep '^unanswered:' "$work/tree")"
}

"case_$name"
