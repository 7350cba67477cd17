#!/usr/bin/env bash
# What Orca says, through the real accessibility stack: focus on the box under A, on the input,
# on the output and on the buttons, each caption or name said once, and the output announced after
# typing in the input and in a key box. Orca writes what it speaks to its debug file
# ("SPEECH OUTPUT: ..."), which needs no sound. The lines hold for Orca 43 (Debian 12) and 48
# (Debian 13); where the two differ in form, the differences are named below.
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
expect_once() {
    local times
    sleep 0.5
    times=$(spoken | tail -n +$(($2 + 1)) | grep -cxF -- "$1") || true
    [ "$times" -eq 1 ] || fail "Orca said $times times: $1"
}
# Orca 43 calls a push button so, Orca 48 a button.
button='(push )?button\.'

# As a desktop session with the screen reader turned on: the toolkit bridge module for Orca's
# own window and the setting that Orca and the toolkits read. Orca logs what it would say, so
# no sound is needed.
export GTK_MODULES=gail:atk-bridge
gsettings set org.gnome.desktop.a11y.applications screen-reader-enabled true
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
# and not been reaped yet: this script reaps its own.
trap 'kill $orca $app 2>/dev/null || true; wait 2>/dev/null || true' EXIT
expect_said "Screen reader on." 20 0

# As on a desktop, the program finds the screen reader on and turns its accessibility on.
"$program" >/dev/null 2>&1 9>&- &
app=$!
window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Vellumtide decoder$' | head -n 1)
[ -n "$window" ] || fail "the window did not appear"
xdotool windowfocus --sync "$window"
expect_said "Key for A text." 10 0
expect_said "Enter the straight replacement equivelents in the appropriate boxes below:" 5 0
expect_once "Key for A text." 0

# The toolkit holds each key until the screen reader has said whether it takes it (or 0.1 s
# has passed), one key after another, so under the sanitizers on a loaded machine 26 Tabs can
# take many seconds to arrive; the deadlines only matter when the speech never comes.
xdotool type q
n=$(said)
for _ in $(seq 26); do xdotool key Tab; done
input_said="Enter text to be decrypted (/ Applied to) here: text."
expect_said "$input_said" 40 "$n"
expect_once "$input_said" "$n"

n=$(said)
xdotool type --delay 50 ab
expect_said "notification Applied text: Q*" 15 "$n"

n=$(said)
xdotool key Tab
output_said="View / Copy Applied text here (automatically updated as you type) read only text."
expect_said "$output_said" 15 "$n"
expect_once "$output_said" "$n"

for caption in "Clear Keyword" "Clear Input text" Exit; do
    xdotool key Tab
    expect_said_re "$caption $button" 15 "$n"
done
xdotool key Tab
expect_said "Key for A text." 15 "$n"
n=$(said)
xdotool key End type x
expect_said "notification Applied text: QX*" 15 "$n"

echo "Orca said:"
spoken | grep -vx 'tab' | uniq
