# SPDX-FileCopyrightText: 2026 The Vellumtide developers
# SPDX-License-Identifier: GPL-3.0-or-later
# Shared by the scripts in this folder: where things are, and installing what is missing.
# Sourced, not run.

set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

say() { printf '==> %s\n' "$*"; }

# Where the release build puts the program.
PROGRAM="$ROOT/build/release/bin/vellumtide"

# The Debian packages that configuring and building the program needs; the test tools are
# needed only by scripts/test.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libicu-dev libxcb1-dev libxcb-xfixes0-dev fonts-dejavu-core)

# Installs the Debian packages among "$@" that are not installed yet; quiet when none are missing.
# apt's own progress lines show while it works, and it never stops to ask a question. The names
# are those of Debian 12 and 13 alike.
need_packages() {
    local missing
    missing=$(missing_packages "$@")
    [ -n "$missing" ] || return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || {
            echo "Missing packages and no sudo; as root, run: apt-get install" $missing >&2
            exit 1
        }
        sudo=(sudo)
    fi
    # Another program may hold the package database, and be installing some of these.
    wait_for_package_database
    missing=$(missing_packages "$@")
    [ -n "$missing" ] || return 0
    say "installing" $missing
    # sudo resets the environment, so the variable goes through env, inside sudo. Should another
    # apt take the lock after the wait above, apt itself waits for the package database's lock,
    # but not for the lock of the package lists, which an update of another apt holds: that
    # update is waited for, and this one tried again.
    local apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o Dpkg::Use-Pty=0
        -o DPkg::Lock::Timeout=3600) tries
    for tries in 1 2 3 4 5; do
        ! "${apt[@]}" update || break
        [ "$tries" -lt 5 ] || return 1
        wait_for_package_database
    done
    # shellcheck disable=SC2086 # one word a package
    "${apt[@]}" install -y --no-install-recommends $missing
}

# Those of the Debian packages "$@" that are not installed, one a line.
missing_packages() {
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            echo "$pkg"
    done
}

# The process that holds one of the locks of dpkg and apt, if any. /proc/locks lists every lock
# with its holder and its file's device and inode; it needs no tool beyond coreutils, and a
# user without root can read it.
package_lock_holder() {
    local lock dev inode
    for lock in /var/lib/dpkg/lock-frontend /var/lib/dpkg/lock /var/lib/apt/lists/lock \
        /var/cache/apt/archives/lock; do
        read -r dev inode < <(stat -c '%D %i' "$lock" 2>/dev/null) || continue
        dev=$((16#$dev))
        awk -v id="$(printf '%02x:%02x:%d' $(((dev >> 8) & 0xfff)) \
            $(((dev & 0xff) | ((dev >> 12) & 0xfff00))) "$inode")" '
            { for (i = 2; i <= NF; i++) if ($i == id) { print $(i - 1); found = 1; exit } }
            END { exit !found }' /proc/locks && return 0
    done
    return 1
}

# Waits while another program installs packages (unattended-upgrades on a freshly booted
# desktop, say), saying so once, instead of failing on the lock.
wait_for_package_database() {
    local holder started=$SECONDS
    holder=$(package_lock_holder) || return 0
    say "waiting for $(cat "/proc/$holder/comm" 2>/dev/null || echo another program) (process $holder) to finish with the package database"
    while package_lock_holder >/dev/null; do sleep 1; done
    say "the package database is free after $((SECONDS - started)) s"
}

# Configures and builds one preset of CMakePresets.json (release, dev, fuzz): all of
# it, or only the targets named after the preset.
build_preset() {
    local preset=$1
    shift
    local targets=()
    [ $# -eq 0 ] || targets=(--target "$@")
    say "building ($preset${*:+: $*})"
    local started=$SECONDS
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" "${targets[@]}"
    give_back_build_folder
    say "built in $((SECONDS - started)) s"
}

# After `sudo scripts/...`, the build folder (or the folder "$1") still belongs to the user who
# ran sudo.
give_back_build_folder() {
    if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_UID:-}" ] && [ "$SUDO_UID" != 0 ]; then
        chown -R "$SUDO_UID:${SUDO_GID:-$SUDO_UID}" "${1:-$ROOT/build}"
    fi
}

# Runs "$@" as root: directly, or through sudo.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The version of the release: that of the newest entry of debian/changelog (or of the changelog
# "$1"), the one place that holds it.
project_version() { sed -n '1s/^vellumtide (\([^)]*\)).*/\1/p' "${1:-$ROOT/debian/changelog}"; }

# Makes "$1"/vellumtide-<version>.tar.xz of the committed tree, uncommitted changes left out.
# The same commit gives the same bytes: git archive gives every file the commit's time and the
# same owner (and, with tar.umask set here, the same modes whatever the user's git settings),
# and xz on one thread cuts its blocks alike whatever the number of cores.
make_source_tarball() {
    local name
    name=vellumtide-$(git -C "$ROOT" show HEAD:debian/changelog | project_version /dev/stdin)
    [ -z "$(git -C "$ROOT" status --porcelain)" ] ||
        say "the source tarball is of the commit $(git -C "$ROOT" rev-parse --short HEAD); uncommitted changes are left out"
    git -C "$ROOT" -c tar.umask=0022 archive --format=tar --prefix="$name/" HEAD |
        xz -T1 >"$1/$name.tar.xz"
    say "made ${1#"$ROOT"/}/$name.tar.xz"
}
