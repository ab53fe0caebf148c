#!/usr/bin/env bash
# Installs the Debian packages that building and testing varnock need, when they are missing.
# Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail

packages=(build-essential cmake pkg-config libgd-dev libgtest-dev "$@")
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
# apt-get's own progress is shown: on a fresh machine the download takes minutes.
echo "Installing: ${missing[*]}"
$sudo apt-get update
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
