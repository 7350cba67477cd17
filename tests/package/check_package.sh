#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package with scripts/package and checks what a user installs: the file
# list, the control fields, the changelog's version, lintian's verdict, and, as root, the
# package's autopkgtest. What it expects of the dependencies it works out from the binaries and
# this system's packages, so that it holds on every Debian release (libqt6core6 on Debian 12 is
# libqt6core6t64 on Debian 13).
#
# Usage: check_package.sh SOURCE_DIR VERSION
set -euo pipefail

source_dir=$1
version=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

bash "$source_dir/scripts/package"
arch=$(dpkg --print-architecture)
deb="$source_dir/build/package/vellumtide_${version}_${arch}.deb"
[ -f "$deb" ] || fail "no $deb"

expected_files="usr/bin/vellumtide
usr/libexec/vellumtide/vellumtide-clipboard
usr/share/applications/org.vellumtide.Decoder.desktop
usr/share/doc/vellumtide/changelog.gz
usr/share/doc/vellumtide/copyright
usr/share/icons/hicolor/16x16/apps/org.vellumtide.Decoder.png
usr/share/icons/hicolor/32x32/apps/org.vellumtide.Decoder.png
usr/share/icons/hicolor/scalable/apps/org.vellumtide.Decoder.svg
usr/share/man/man1/vellumtide.1.gz
usr/share/metainfo/org.vellumtide.Decoder.metainfo.xml"
files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./||' | sort)
[ "$files" = "$expected_files" ] || fail "the package holds:
$files"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vellumtide ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
names() { sed 's/([^)]*)//g; s/[,|]/\n/g' | tr -d ' ' | grep .; }
# Each library that a binary of the package links comes from a package that Depends names:
# the one that holds that library on this system.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
for binary in usr/bin/vellumtide usr/libexec/vellumtide/vellumtide-clipboard; do
    for library in $(objdump -p "$unpacked/$binary" | awk '$1 == "NEEDED" { print $2 }'); do
        holder=$(dpkg-query -S "*/$multiarch/$library" | sed -n '1s/:.*//p')
        [ -n "$holder" ] || fail "no package holds $library"
        names <<<"$depends" | grep -qx "$holder" || fail "Depends lacks $holder ($library): $depends"
    done
done
# The platform plugins are named by hand, since the program opens no window without them.
names <<<"$depends" | grep -qx qt6-qpa-plugins || fail "Depends lacks qt6-qpa-plugins: $depends"
recommends=$(field Recommends)
for package in qt6-wayland wl-clipboard; do
    names <<<"$recommends" | grep -qx "$package" || fail "Recommends lacks $package"
done

changelog_version=$(dpkg-deb --fsys-tarfile "$deb" |
    tar -xO ./usr/share/doc/vellumtide/changelog.gz | gzip -d | sed -n '1s/.*(\(.*\)).*/\1/p')
[ "$changelog_version" = "$version" ] || fail "the changelog's version is $changelog_version"

# The launcher's command is the program the package installs.
exec_line=$(dpkg-deb --fsys-tarfile "$deb" |
    tar -xO ./usr/share/applications/org.vellumtide.Decoder.desktop | sed -n 's/^Exec=//p')
grep -qx usr/bin/"${exec_line%% *}" <<<"$files" || fail "the launcher runs $exec_line"

# lintian sees the package with its build information (the .changes file) and the source
# package, made from a clean copy of the tree. Every tag it shows, to the pedantic ones, is
# mended or overridden with its reason in debian/.
changes=$(ls "$source_dir"/build/package/vellumtide_"${version}"_"${arch}".changes)
mkdir "$unpacked/vellumtide-$version"
tar -C "$source_dir" --exclude=./build --exclude=./.git -cf - . | tar -C "$unpacked/vellumtide-$version" -xf -
(cd "$unpacked" && dpkg-source -b "vellumtide-$version" >/dev/null)
findings=$(lintian --pedantic --info --fail-on error,warning,info,pedantic "$changes" \
    "$unpacked/vellumtide_$version.dsc" 2>&1) || fail "lintian found: $findings"

# The installed package's own test, through Debian's runner; its null testbed installs the
# package on this system, so it runs only as root, and the package goes again afterwards.
if [ "$(id -u)" -eq 0 ]; then
    installed=$(dpkg-query -W -f='${Status}' vellumtide 2>/dev/null) || true
    status=0
    autopkgtest "$deb" "$source_dir/" -- null || status=$?
    [[ $installed == *"ok installed"* ]] || apt-get -qq purge vellumtide >/dev/null
    [ "$status" -eq 0 ] || fail "the autopkgtest failed (exit status $status)"
else
    echo "autopkgtest left out: its testbed installs the package, which needs root"
fi
echo "package ok: $(basename "$deb"), $(field Depends)"
