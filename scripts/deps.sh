#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the program and the
# tests need and this machine lacks. Safe to run again: it only installs what
# is missing.
set -euo pipefail

packages=(
    cmake g++ pkg-config ninja-build
    qt6-base-dev qt6-multimedia-dev libqt6multimedia6 qt6-qpa-plugins
    libespeak-ng-dev espeak-ng-data
    libsndfile1-dev libsndfile1
    pulseaudio pulseaudio-utils sox
    fonts-dejavu-core
    fonts-liberation
)
if [ -f "$(dirname "$0")/deps-extra.txt" ]; then
    # Extra packages some test scripts need, one per line.
    mapfile -t extra < <(grep -v '^\s*#' "$(dirname "$0")/deps-extra.txt" | grep -v '^\s*$')
    packages+=("${extra[@]}")
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
