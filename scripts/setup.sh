#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Velmora need,
# only those that are missing. Pass --screenshots to add what the screenshot script needs,
# --package what the Debian package script needs (man pages from --help, lintian).
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-svg-dev qt6-serialport-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
    libgl-dev libudev-dev
    fonts-dejavu-core
    # Mock sysfs, udev events and /dev/ttyUSB0 for the port listing and hot-plug tests.
    umockdev libumockdev-dev gir1.2-umockdev-1.0
    # The journal: SQLite on each machine, PostgreSQL shared by a line (the tests start a
    # throw-away server of their own).
    libqt6sql6-sqlite libqt6sql6-psql postgresql
    # Package signatures: checked with libsodium, made (and cross-checked in the tests) with minisign.
    libsodium-dev minisign
    # The catalogue: fetched with Qt Network over TLS; its tests make their certificates with openssl.
    libqt6network6 openssl
    # Packages' SHA-256 with libcrypto, which uses the processor's SHA instructions.
    libssl-dev
    # The yield report's HTML page is opened in a headless browser by its test.
    chromium
)
# The sanitizer and fuzzing pass of CI builds with clang and its runtimes.
if [[ "${1:-}" == "--sanitizers" ]]; then
    packages+=(clang libclang-rt-14-dev)
fi
# scripts/package.sh writes man pages with help2man and checks the package with lintian.
if [[ "${1:-}" == "--package" ]]; then
    packages+=(dpkg-dev help2man lintian)
fi
if [[ "${1:-}" == "--screenshots" || "${1:-}" == "--desktop" ]]; then
    packages+=(xvfb xdotool xauth imagemagick fonts-wqy-microhei)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
