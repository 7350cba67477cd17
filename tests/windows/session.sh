#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command inside a private Wine session, headless: an Xvfb of its own, a new Wine prefix
# whose programs open in Wine's virtual desktop, and a Windows process that lives as long as the
# session. Wine keeps the clipboard only while a Windows process of the prefix runs: without one,
# a text put there would be gone about a second after the program that put it ended. Without a
# window manager Wine waits two seconds whenever a window hides; in its virtual desktop it does
# not. Whatever the session started is ended afterwards, wineserver included.
#
# Usage: session.sh COMMAND [ARGS...]     (COMMAND sees DISPLAY, WINEPREFIX and, the X window
#                                          of Wine's desktop, WINE_DESKTOP_WINDOW)
set -euo pipefail
source "$(dirname "$0")/../e2e/processes.sh"
run_in_own_group "$@"

for tool in Xvfb wine wineserver xdotool; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed" >&2; exit 1; }
done
# Every process of the session carries WINE_SESSION in its environment, wineserver too, which
# leaves the process group.
WINE_SESSION=$(mktemp -d)
export WINE_SESSION
cleanup() {
    exec 7>&- || true
    wineserver -k 2>/dev/null || true
    end_processes_marked "WINE_SESSION=$WINE_SESSION"
    rm -rf "$WINE_SESSION"
}
trap cleanup EXIT
# Ended from outside (a timeout), the session still ends what it started.
trap 'exit 143' TERM INT HUP

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$WINE_SESSION/display" 2>/dev/null &
for _ in $(seq 200); do grep -q '[0-9]' "$WINE_SESSION/display" 2>/dev/null && break; sleep 0.05; done
DISPLAY=":$(head -n 1 "$WINE_SESSION/display")"
export DISPLAY

# Wine offers Windows programs every font the host's fontconfig lists, and what a test sees then
# depends on what happens to be installed: a host with fonts-noto-color-emoji crashes the
# toolkit's Windows font engine (it reads the metrics Wine cannot give that bitmap-only font).
# The session offers DejaVu alone. Where Wine has no Tahoma, which its dialog font names (Debian
# 12's wine64 has none), the toolkit draws in the first family it lists, DejaVu Math TeX Gyre.
dejavu=/usr/share/fonts/truetype/dejavu
[ -f "$dejavu/DejaVuSans.ttf" ] || { echo "FAIL: fonts-dejavu-core is not installed" >&2; exit 1; }
printf '<?xml version="1.0"?>\n<fontconfig><dir>%s</dir><cachedir>%s</cachedir></fontconfig>\n' \
    "$dejavu" "$WINE_SESSION/fontconfig" >"$WINE_SESSION/fonts.conf"
export FONTCONFIG_FILE=$WINE_SESSION/fonts.conf

# No Mono or Gecko to offer to install, and none of Wine's notes on what it does not implement.
export WINEPREFIX=$WINE_SESSION/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine wineboot --init
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null
# The desktop that wineboot opened is not a virtual one; the next program opens a new one.
wineserver -k
wineserver -w
# The session's process: a command prompt that waits for a line that never comes, and ends
# when its input closes with this script.
mkfifo "$WINE_SESSION/session-input"
wine cmd.exe <"$WINE_SESSION/session-input" >/dev/null 2>&1 &
exec 7>"$WINE_SESSION/session-input"
# Its window, which the tests give the keyboard to: Wine 8 names it after the desktop, Wine 10
# does not.
WINE_DESKTOP_WINDOW=$(timeout 30 xdotool search --sync --limit 1 \
    --name '^(Default - Wine desktop|Wine Desktop)$') ||
    { echo "FAIL: Wine's desktop did not appear" >&2; exit 1; }
export WINE_DESKTOP_WINDOW
"$@"
