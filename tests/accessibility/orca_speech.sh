#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
# What Orca says, through the real accessibility stack, as a blind user solves a ROT13 cryptogram
# with the keyboard alone: the instruction once as the window opens, each caption or name said
# once as the focus comes to its control, the output announced once typing pauses (the line that
# changed, with its number), the output read whole a line and a word at a time, and what the clear
# buttons did. Orca writes what it speaks to its debug file ("SPEECH OUTPUT: ..."), which needs no
# sound. The lines hold for Orca 43 (Debian 12), 48 (Debian 13) and 51 (Debian testing); where they
# differ in form, the differences are named below.
#
# Usage: orca_speech.sh PROGRAM     (inside tests/accessibility/session.sh, which provides the buses)
set -euo pipefail

program=$1
command -v orca >/dev/null || { echo "FAIL: orca is not installed" >&2; exit 1; }
# Orca will not start beside another Orca of the same user, so speech tests of several checkouts
# on one machine take turns; the lock goes with this shell, and no child keeps it open.
exec 9>"${TMPDIR:-/tmp}/vellumtide-orca-$(id -u).lock"
flock -w 90 9 || { echo "FAIL: another Orca speech test held the lock for 90 s" >&2; exit 1; }
if pgrep -u "$(id -u)" -x orca >/dev/null; then
    echo "FAIL: an Orca of this user is running, and Orca will not start beside it" >&2
    exit 1
fi
log="$A11Y_SESSION/orca.debug"
fail() {
    echo "FAIL: $*" >&2
    echo "--- what Orca said:" >&2
    spoken >&2
    tail -n 5 "$A11Y_SESSION/orca.out" >&2
    exit 1
}
# What Orca said, a line an utterance. Orca 48 says a notification's role and its text as two
# utterances, Orca 43 as one: here they are one line either way.
spoken() {
    sed -n "s/.*SPEECH OUTPUT: '\(.*\)' *{.*/\1/p" "$log" 2>/dev/null | sed 's/ *$//' |
        sed '/^notification$/{N;s/\n/ /}'
}
# Waits up to $3 seconds for Orca to have said a line that grep's pattern $2 matches whole (after
# the $4 lines said before); $1 is grep's kind of pattern, -F for a line as it stands.
expect_line() {
    local deadline=$((SECONDS + $3))
    until spoken | tail -n +$(($4 + 1)) | grep -x "$1" -- "$2" >/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || fail "Orca did not say: $2"
        sleep 0.1
    done
}
expect_said() { expect_line -F "$@"; }
expect_said_re() { expect_line -E "$@"; }
said() { spoken | wc -l; }
# Orca said the line $1 only once after the $2 lines said before: a caption, a name or an
# announcement that came twice would be heard twice.
# $3, if given, is grep's kind of pattern, as for expect_line.
expect_once() {
    local times
    sleep 0.5
    times=$(spoken | tail -n +$(($2 + 1)) | grep -cx "${3:--F}" -- "$1") || true
    [ "$times" -eq 1 ] || fail "Orca said $times times: $1"
}
# What Orca says of a control that gets the focus, as a pattern: its name and role, with a period
# after them from Orca 43 and 48, none from Orca 51.
focused() { printf '%s\\.?' "$(sed 's/[][\.*^$+?(){}|]/\\&/g' <<<"$1")"; }
# Orca 43 calls a push button so, Orca 48 and 51 a button.
button='(push )?button\.?'
# An announcement: Qt 6.4 makes a notification appear, which Orca says with its role; from
# Qt 6.8 it is an announcement event, which Orca 48 says as it stands.
announced='(notification )?'

# As a desktop session with the screen reader turned on: the toolkit bridge module for Orca's
# own window and the setting that Orca and the toolkits read. Orca logs what it would say, so
# no sound is needed.
export GTK_MODULES=gail:atk-bridge
gsettings set org.gnome.desktop.a11y.applications screen-reader-enabled true
# Orca starts GStreamer, which, finding no plugin registry in the session's new home, loads every
# plugin installed to build one before Orca says a word. Where a desktop's plugins are installed
# (266 on a Debian 12 with GNOME and Plasma, against 102 without; loading the gio one starts gvfs)
# Orca then took 9 to 12 s to start under load, and 20 s were not always enough. A desktop keeps
# the registry in its cache; these tests keep it for the user from one run to the next.
export GST_REGISTRY_1_0="${TMPDIR:-/tmp}/vellumtide-orca-gst-$(id -u).bin"
# Orca buffers its debug file; its own customization hook makes it write every line at once.
prefs="$A11Y_SESSION/orca-prefs"
mkdir -p "$prefs"
cat >"$prefs/orca-customizations.py" <<'PY'
import orca.debug
if orca.debug.debugFile:
    orca.debug.debugFile.reconfigure(line_buffering=True)
PY
orca --user-prefs "$prefs" --debug-file="$log" >"$A11Y_SESSION/orca.out" 2>&1 9>&- &
orca=$!
app=""
# Orca refuses to start while another Orca of the same user exists, even one that has ended
# and not been reaped yet: this script reaps its own. Told to end, Orca has been seen to say it
# has shut down and then spin on, so it is killed outright.
trap 'kill -KILL $orca $app 2>/dev/null || true; wait 2>/dev/null || true' EXIT
# The first run still builds the registry: the deadline allows for it.
expect_said "Screen reader on." 60 0

# As on a desktop, the program finds the screen reader on and turns its accessibility on.
"$program" >/dev/null 2>&1 9>&- &
app=$!
window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Vellumtide decoder$' | head -n 1)
[ -n "$window" ] || fail "the window did not appear"
xdotool windowfocus --sync "$window"
instruction="${announced}Enter the straight replacement equivelents in the appropriate boxes below:\\.?"
key_a=$(focused "Key for A text")
expect_said_re "$instruction" 10 0
expect_said_re "$key_a" 10 0
expect_once "$key_a" 0 -E
# The instruction comes before the box, as the window shows them: the box's name is the last
# thing said before the user types. Orca 51 ranks an assertive announcement above a focus
# change; Orca 48 ranks every announcement below one, and Orca 43 says the notification that
# stands in for it (Qt 6.4) after the box.
first_said() { spoken | grep -nxE -- "$1" | head -n 1 | cut -d: -f1; }
orca_major=$(orca --version 2>/dev/null | grep -o '[0-9][0-9]*\.[0-9]*' | head -n 1 | cut -d. -f1)
[ "${orca_major:-0}" -lt 51 ] || [ "$(first_said "$instruction")" -lt "$(first_said "$key_a")" ] ||
    fail "the instruction came after the box under A"

# The toolkit holds each key until the screen reader has said whether it takes it (or 0.1 s
# has passed), one key after another, so under the sanitizers on a loaded machine 26 Tabs can
# take many seconds to arrive; the deadlines only matter when the speech never comes.
# The ROT13 key, an entry under each letter, and on to the input.
n=$(said)
for letter in n o p q r s t u v w x y z a b c d e f g h i j k l m; do
    xdotool type "$letter"
    xdotool key Tab
done
input_said=$(focused "Enter text to be decrypted (/ Applied to) here: text")
expect_said_re "$input_said" 60 "$n"
expect_once "$input_said" "$n" -E

# Two lines of cipher: once typing pauses, the change is said once, from its first line.
n=$(said)
xdotool type --delay 50 'Uryyb, Jbeyq!'
xdotool key Return
xdotool type --delay 50 'Nop'
expect_said_re "${announced}Applied text line 1: HELLO, WORLD!; 1 more line changed\\.?" 15 "$n"

# A key entry whose letter is only in line 2 (P, eleven boxes back): the change is said with its
# line, and line 1, which stayed as it was, is not.
n=$(said)
for _ in $(seq 11); do xdotool key shift+Tab; done
expect_said_re "$(focused "Key for P text")" 30 "$n"
n=$(said)
xdotool key ctrl+a type x
expect_said_re "${announced}Applied text line 2: ABX\\.?" 15 "$n"
spoken | tail -n +$((n + 1)) | grep -q 'HELLO' && fail "line 1 was said, though it did not change"

# The output, read whole: its first line on focus, then line by line, then word by word. A word
# move is made as a person makes it, Ctrl held until the caret has moved.
n=$(said)
for _ in $(seq 12); do xdotool key Tab; done
output_said=$(focused "View / Copy Applied text here (automatically updated as you type) read only text")
expect_said_re "$output_said" 30 "$n"
expect_once "$output_said" "$n" -E
expect_said "HELLO, WORLD!" 15 "$n"
n=$(said)
xdotool key Down
expect_said "ABX" 15 "$n"
n=$(said)
xdotool key Up
expect_said "HELLO, WORLD!" 15 "$n"
for word in HELLO, WORLD!; do
    n=$(said)
    xdotool keydown ctrl
    sleep 0.1
    xdotool key Right
    sleep 0.4
    xdotool keyup ctrl
    expect_said "$word" 15 "$n"
done

# A line of 101 characters typed fast: once typing pauses it is said once, its end, and nothing
# of it is lost among the events of the keystrokes. Each key waits on the screen reader (see the
# key entries above), so on a loaded machine the keys arrive long after xdotool has sent them: the
# deadline is generous, and only the final text is counted, since a pause of the machine between
# two keys is a pause in typing to the program.
xdotool key shift+Tab
expect_said_re "$input_said" 15 "$n"
xdotool key ctrl+End Return
n=$(said)
xdotool type --delay 25 "$(printf 'Gur dhvpx oebja sbk whzcf bire gur ynml qbt %.0s' 1 2 3 | cut -c1-101)"
# Its last 80 characters, P now standing for X.
tail="…$(printf 'THE QUIXK BROWN FOX JUMPS OVER THE LAZY DOG %.0s' 1 2 3 | cut -c22-101)"
final="${announced}Applied text line 3: $tail\\.?"
expect_said_re "$final" 90 "$n"
sleep 1
times=$(spoken | tail -n +$((n + 1)) | grep -cxE "$final") || true
[ "$times" -eq 1 ] || fail "the line typed fast was announced $times times"

# The clear buttons say what they did.
for _ in 1 2; do xdotool key Tab; done
expect_said_re "Clear Keyword $button" 15 "$n"
n=$(said)
xdotool key space
# Orca 51 says a run of more than four of one punctuation mark by its count ("5 * characters").
stars='(\*{5}|5 \* characters)'
expect_said_re "${announced}Keyword cleared\\. Applied text line 1: $stars, $stars!\\.?" 15 "$n"
xdotool key Tab
expect_said_re "Clear Input text $button" 15 "$n"
n=$(said)
xdotool key space
expect_said_re "${announced}Input text cleared\\. Applied text: empty\\.?" 15 "$n"

# Round to the box under A again: the instruction was said once, as the window opened.
for caption in Exit; do
    xdotool key Tab
    expect_said_re "$caption $button" 15 "$n"
done
xdotool key Tab
expect_said_re "$key_a" 15 "$n"
expect_once "$instruction" 0 -E

echo "Orca said:"
spoken | grep -vx 'tab' | uniq
