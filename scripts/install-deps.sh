#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the checks need, when missing.
# With --fuzz also clang and its libFuzzer runtime for the fuzz tree (scripts/fuzz.sh).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
    qt6-webengine-dev libqt6svg6 libgl-dev
    libsqlite3-dev sqlite3 libarchive-dev zlib1g-dev libssl-dev
    python3 python3-jsonschema time xvfb poppler-utils chromium fonts-noto-color-emoji fonts-dejavu-core
    fonts-noto-cjk tzdata
    # the phone agent's builds for ARM and x86 phones, and running them in the tests
    g++-aarch64-linux-gnu g++-arm-linux-gnueabihf g++-i686-linux-gnu qemu-user-static file
    # checking the installed tree and the Debian package
    desktop-file-utils appstream lintian man-db dpkg-dev
)
if [ "${1:-}" = "--fuzz" ]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
