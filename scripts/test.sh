#!/usr/bin/env bash
# Builds varnock and runs every test. With --sanitize, builds and tests under
# AddressSanitizer and UndefinedBehaviorSanitizer in a separate build folder.
#
# The build shows its progress; of the tests it prints the failed ones with their whole output,
# the skipped ones on one line each, then CTest's summary. The full log stays in
# BUILD/Testing/test-output.log. Exit status: CTest's (0 when every test passed or skipped).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

# The presets of CMakePresets.json: release in build/, asan in build-asan/.
preset=release
build=build
if [ "${1:-}" = "--sanitize" ]; then
    preset=asan
    build=build-asan
fi

scripts/deps.sh tidy netpbm groff-base mandoc parallel attr strace
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"

log="$build/Testing/test-output.log"
mkdir -p "$build/Testing"
echo "Running the tests (full log: $log) ..."
status=0
ctest --preset "$preset" -j"$(nproc)" >"$log" 2>&1 || status=$?

# A test's status line ("12/870 Test #34: name ....   Passed   0.01 sec") starts its block; a
# failed test's output follows it up to the next status line or the summary.
awk '
    /^ +Start +[0-9]+: / { next }
    /^ *[0-9]+\/[0-9]+ Test +#[0-9]+:/ {
        shown = ($0 !~ / Passed +[0-9.]+ sec$/ && $0 !~ /\*\*\*Skipped +[0-9.]+ sec$/)
        if (!shown && $0 ~ /\*\*\*Skipped/) print
    }
    /tests passed, [0-9]+ tests failed out of/ { summary = 1; shown = 0 }
    shown || summary { print }
' "$log"
grep -q "tests passed, " "$log" || tail -n 20 "$log"  # CTest stopped before its summary
if git rev-parse --git-dir >/dev/null 2>&1; then scripts/test-ratio.sh || true; fi
exit "$status"
