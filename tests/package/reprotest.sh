#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of SOURCE_DIR twice with reprotest, the second time in another path,
# at another time, in another time zone and locale, under another umask and as another user, and
# fails unless the two sets of .debs are the same bytes (diffoscope then says where they differ).
# Runs as root on a system it may change: it installs reprotest and the locales, and creates the
# user that the second build runs as. SOURCE_DIR is an unpacked source tarball.
#
# Usage: reprotest.sh SOURCE_DIR
set -euo pipefail

source_dir=$(cd "$1" && pwd)
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends reprotest \
    diffoscope-minimal faketime sudo locales-all >/dev/null
id -u reprotest-builder >/dev/null 2>&1 || useradd --create-home reprotest-builder
# Debian 12's reprotest (0.7.23) runs "sudo -h localhost", which Debian 12's sudo refuses (-h
# names a host only with -l); there a sudo first on PATH drops those two words.
if grep -q "'sudo', '-h', 'localhost'" /usr/lib/python3/dist-packages/reprotest/build.py; then
    printf '#!/bin/sh\n[ "$1" != -h ] || shift 2\nexec /usr/bin/sudo "$@"\n' >/usr/local/bin/sudo
    chmod +x /usr/local/bin/sudo
fi
store=$(mktemp -d)
cd "$source_dir"
# The builds compare what the package ships; the tests, which ship nothing, are left out. Each
# build removes the files it leaves beside the .debs, which the other user could not replace.
DEB_BUILD_OPTIONS="nocheck parallel=2" reprotest --store-dir="$store" --min-cpus=2 \
    --variations=-all,build_path,time,timezone,locales,umask,user_group \
    --vary=user_group.available+=reprotest-builder:reprotest-builder \
    -c 'dpkg-buildpackage --no-sign -b && rm -f ../*.buildinfo ../*.changes' . '../*.deb' -- null
echo "reprotest: the .debs of both builds are the same bytes (kept in $store)"
