#!/usr/bin/env bash
# Builds the Debian package with scripts/package and checks what a user installs: the file
# list, the control fields, the changelog's version, and lintian's verdict.
#
# Usage: check_package.sh SOURCE_DIR VERSION
set -euo pipefail

source_dir=$1
version=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

bash "$source_dir/scripts/package"
deb="$source_dir/build/package/vellumtide_${version}_amd64.deb"
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
[ "$(field Architecture)" = amd64 ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
# dpkg-shlibdeps must have found the libraries the binaries link; the platform plugins are
# named by hand, since the program opens no window without them.
for package in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libicu72 libxcb1 qt6-qpa-plugins; do
    grep -qE "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
recommends=$(field Recommends)
for package in qt6-wayland wl-clipboard; do
    grep -qE "(^|, )$package( |,|$)" <<<"$recommends" || fail "Recommends lacks $package"
done

changelog_version=$(dpkg-deb --fsys-tarfile "$deb" |
    tar -xO ./usr/share/doc/vellumtide/changelog.gz | gzip -d | sed -n '1s/.*(\(.*\)).*/\1/p')
[ "$changelog_version" = "$version" ] || fail "the changelog's version is $changelog_version"

# The launcher's command is the program the package installs.
exec_line=$(dpkg-deb --fsys-tarfile "$deb" |
    tar -xO ./usr/share/applications/org.vellumtide.Decoder.desktop | sed -n 's/^Exec=//p')
grep -qx usr/bin/"${exec_line%% *}" <<<"$files" || fail "the launcher runs $exec_line"

findings=$(lintian --fail-on error,warning "$deb" 2>&1) ||
    fail "lintian found errors or warnings: $findings"
echo "package ok: $(basename "$deb")"
