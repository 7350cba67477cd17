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
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libicu-dev libxcb1-dev fonts-dejavu-core)

# Installs the Debian packages among "$@" that are not installed yet; quiet when none are missing.
# apt's own progress lines show while it works, and it never stops to ask a question.
need_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$pkg")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || {
            echo "Missing packages and no sudo; as root, run: apt-get install ${missing[*]}" >&2
            exit 1
        }
        sudo=(sudo)
    fi
    say "installing ${missing[*]}"
    # sudo resets the environment, so the variable goes through env, inside sudo.
    local apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o Dpkg::Use-Pty=0)
    "${apt[@]}" update
    "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
}

# Configures and builds one preset of CMakePresets.json (release, dev, fuzz, package): all of
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

# After `sudo scripts/...`, the build folder still belongs to the user who ran sudo.
give_back_build_folder() {
    if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_UID:-}" ] && [ "$SUDO_UID" != 0 ]; then
        chown -R "$SUDO_UID:${SUDO_GID:-$SUDO_UID}" "$ROOT/build"
    fi
}
