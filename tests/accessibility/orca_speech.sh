#!/usr/bin/env bash
# What Orca says, through the real accessibility stack: focus on the box under A, on the input
# and on the output, and the output announced after typing in the input and in a key box. Orca
# writes what it speaks to its debug file ("SPEECH OUTPUT: ..."), which needs no sound.
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
spoken() { sed -n "s/.*SPEECH OUTPUT: '\(.*\)' *{.*/\1/p" "$log" 2>/dev/null | sed 's/ *$//'; }
# Waits up to $2 seconds for Orca to have said the line $1 (after the $3 lines said before).
expect_said() {
    local deadline=$((SECONDS + $2))
    until spoken | tail -n +$(($3 + 1)) | grep -xF -- "$1" >/dev/null; do
        [ "$SECONDS" -lt "$deadline" ] || fail "Orca did not say: $1"
        sleep 0.1
    done
}
said() { spoken | wc -l; }

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

# The toolkit holds each key until the screen reader has said whether it takes it (or 0.1 s
# has passed), one key after another, so under the sanitizers on a loaded machine 26 Tabs can
# take many seconds to arrive; the deadlines only matter when the speech never comes.
xdotool type q
n=$(said)
for _ in $(seq 26); do xdotool key Tab; done
expect_said "Enter text to be decrypted (/ Applied to) here: text." 40 "$n"

n=$(said)
xdotool type --delay 50 ab
expect_said "notification Applied text: Q*" 15 "$n"

n=$(said)
xdotool key Tab
expect_said "View / Copy Applied text here (automatically updated as you type) read only text." 15 "$n"

for _ in 1 2 3 4; do xdotool key Tab; done
expect_said "Key for A text." 15 "$n"
n=$(said)
xdotool key End type x
expect_said "notification Applied text: QX*" 15 "$n"

echo "Orca said:"
spoken | grep -vx 'tab' | uniq
