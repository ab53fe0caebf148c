#!/usr/bin/env bash
# Builds varnock, converts the bundled sample GIF into build/sample/ambulance.wbmp and draws the
# result in the terminal.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

scripts/deps.sh
cmake --preset release >/dev/null
# The programs, and what "cmake --install build" installs beside them.
cmake --build --preset release -j"$(nproc)" --target varnock varnock-view varnock_man_pages varnock_changelog
mkdir -p build/sample
cd build/sample
../src/app/varnock ../../tests/data/gif/ci-photo-ambulance.gif ambulance.wbmp 0 0
../src/view/varnock-view ambulance.wbmp
echo "Written: build/sample/ambulance.wbmp ($(stat -c %s ambulance.wbmp) bytes), and build/sample/cv.html"
