# Shared by the scripts in this folder: where things are, and installing what is missing.
# Sourced, not run.

set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

say() { printf '==> %s\n' "$*"; }

# Where the release build puts the program.
PROGRAM="$ROOT/build/release/bin/vellumtide"

# The Debian packages every build needs.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libicu-dev libxcb1-dev fonts-dejavu-core)

# Installs the Debian packages among "$@" that are not installed yet; quiet when none are missing.
need_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Missing packages (${missing[*]}) and no sudo: install them as root." >&2; exit 1; }
        sudo=(sudo)
    fi
    say "installing ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Configures and builds one preset of CMakePresets.json (release, dev).
build_preset() {
    say "building ($1)"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}
