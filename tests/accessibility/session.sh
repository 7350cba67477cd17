#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command inside a private desktop session for the accessibility tests: an Xvfb of its
# own and a D-Bus session bus (dbus-run-session), in which the accessibility bus starts on
# demand. Whatever the session started is ended afterwards.
#
# Usage: session.sh COMMAND [ARGS...]     (COMMAND sees DISPLAY, and the session's buses)
set -euo pipefail
source "$(dirname "$0")/../e2e/processes.sh"
run_in_own_group "$@"

if [ -z "${A11Y_SESSION:-}" ]; then
    for tool in Xvfb dbus-run-session xdotool; do
        command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed" >&2; exit 1; }
    done
    A11Y_SESSION=$(mktemp -d)
    export A11Y_SESSION
    # Every process of the session carries A11Y_SESSION in its environment.
    status=0
    # A session as a desktop starts it: nothing of the caller's environment but the display
    # comes into it (a Python of the caller's on PATH, say, breaks the speech service).
    env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$A11Y_SESSION" XDG_RUNTIME_DIR="$A11Y_SESSION" \
        A11Y_SESSION="$A11Y_SESSION" OWN_GROUP=1 LANG=C.UTF-8 dbus-run-session -- bash "$0" "$@" ||
        status=$?
    end_processes_marked "A11Y_SESSION=$A11Y_SESSION"
    rm -rf "$A11Y_SESSION"
    exit "$status"
fi

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$A11Y_SESSION/display" 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 200); do grep -q '[0-9]' "$A11Y_SESSION/display" 2>/dev/null && break; sleep 0.05; done
export DISPLAY=":$(head -n 1 "$A11Y_SESSION/display")"
# Services that the bus starts (the accessibility registry among them) need the display too.
dbus-update-activation-environment DISPLAY
"$@"
