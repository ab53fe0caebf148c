#!/usr/bin/env bash
# Runs the varnock program under valgrind on the paths that the end-to-end table
# (tests/program_test.cpp) does not take: the resizes, a damaged LZW stream, the size refusals
# that need a particular source. The table's own runs (usage, conversion at the GIF's size,
# missing, empty and truncated sources, destinations that cannot be written, cv.html's cases)
# are watched by LeakSanitizer in the sanitizer build. Fails when valgrind reports a definite,
# indirect or possible leak (a lost raster block is usually "possible": its row pointers point
# inside it) or a memory error, or when a run does not end with the exit status that path must
# have.
#
#   scripts/leak_check.sh [path/to/varnock] [path/to/tests/data]
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
program="$(realpath "${1:-$root/build/src/app/varnock}")"
data="$(realpath "${2:-$root/tests/data}")"
command -v valgrind >/dev/null || { echo "valgrind is not installed"; exit 1; }

work="$(mktemp -d)"
trap 'chmod -R u+rwx "$work"; rm -rf "$work"' EXIT
leakError=99
runs=0
failures=0

# check NAME EXPECTED_STATUS ARGS...: one run in a fresh folder holding a copy of the samples.
check() {
    local name="$1" expected="$2"
    shift 2
    local dir="$work/$name"
    mkdir -p "$dir"
    cp "$data/gif/giflib-porsche-87a.gif" "$dir/picture.gif"
    cp "$data/gif/pixbuf-max-height-1x65535.gif" "$dir/tall.gif"
    cp "$data/gif/nsgif-lzw-oob.gif" "$dir/damaged.gif"
    # 35 bytes announcing a 40000 x 40000 picture.
    printf 'GIF89a\x40\x9c\x40\x9c\x80\0\0\0\0\0\xff\xff\xff,\0\0\0\0\x40\x9c\x40\x9c\0\x02\x02\x44\x01\0;' \
        >"$dir/huge.gif"
    local status
    (cd "$dir" && valgrind -q --leak-check=full --show-leak-kinds=definite,indirect,possible \
        --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=$leakError \
        "$program" "$@" >"$dir.out" 2>"$dir.err" </dev/null)
    status=$?
    runs=$((runs + 1))
    if [ "$status" -eq "$leakError" ]; then
        echo "LEAK or memory error: $name ($*)"
        cat "$dir.err"
        failures=$((failures + 1))
    elif [ "$status" -ne "$expected" ]; then
        echo "WRONG STATUS $status (expected $expected): $name ($*)"
        cat "$dir.err"
        failures=$((failures + 1))
    else
        echo "clean: $name"
    fi
}

check reduced 0 picture.gif out.wbmp 40 0
check enlarged 0 picture.gif out.wbmp 0 600
check stretched 0 picture.gif out.wbmp 321 200
check damaged 1 damaged.gif out.wbmp 0 0
check announced-huge 1 huge.gif out.wbmp 0 0
check derived-width-zero 1 tall.gif out.wbmp 0 100
check absurd-size 1 picture.gif out.wbmp 2147483647 2147483647
check beyond-reduction 1 picture.gif out.wbmp 100000 0

echo "$((runs - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
