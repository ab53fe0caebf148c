#!/usr/bin/env bash
# Builds varnock and runs every test. With --sanitize, builds and tests under
# AddressSanitizer and UndefinedBehaviorSanitizer in a separate build folder.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
options=()
if [ "${1:-}" = "--sanitize" ]; then
    build=build-asan
    options+=(-DVARNOCK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
fi

scripts/deps.sh tidy netpbm groff-base mandoc
cmake -S . -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
