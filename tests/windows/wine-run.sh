#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
# ctest's emulator for the tests built for Windows: runs a Windows program under Wine, in the
# session of session.sh. Wine passes no QT_ variable on to a Windows program, but passes
# WINEQT_NAME on as QT_NAME: so each QT_ variable that a test sets goes that way, but for the
# platform. The tests run on the windows platform, in the session's Xvfb: the offscreen one
# finds no fonts on Windows. Qt writes its messages, and QTest its results, where a debugger
# would read them unless told to write to standard error.
#
# Usage: wine-run.sh PROGRAM [ARGS...]
set -euo pipefail
[ -n "${WINEPREFIX:-}" ] || { echo "FAIL: run inside tests/windows/session.sh" >&2; exit 1; }
for name in $(compgen -e); do
    case $name in
    QT_QPA_PLATFORM) ;;
    QT_*) export "WINE$name=${!name}" ;;
    esac
done
export WINEQT_FORCE_STDERR_LOGGING=1
exec wine "$@"
