#!/usr/bin/env bash
# Makes the README's pictures from the program itself: the bundled sample GIF converted at its
# own size and reduced to half its width, each WBMP written as the two-colour GIF that
# varnock-view --gif makes, into docs/pictures/.
#
#   scripts/readme-pictures.sh                      builds the programs (release preset), writes
#   scripts/readme-pictures.sh --check VARNOCK VIEW  makes them with these programs in a
#                                                   temporary folder and compares them with
#                                                   docs/pictures/ byte for byte (the tests)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

pictures="$root/docs/pictures"
sample="$root/tests/data/gif/ci-photo-ambulance.gif"
if [ "${1:-}" = --check ]; then
    [ $# -eq 3 ] || { echo "usage: $0 [--check VARNOCK VARNOCK_VIEW]" >&2; exit 2; }
    varnock=$(realpath "$2")
    view=$(realpath "$3")
else
    cd "$root"
    scripts/deps.sh
    cmake --preset release >/dev/null
    cmake --build --preset release -j"$(nproc)" --target varnock varnock-view
    varnock="$root/build/src/app/varnock"
    view="$root/build/src/view/varnock-view"
fi

# Every run writes cv.html in its working folder: the runs are made in a temporary one.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/out"
cd "$work"
"$varnock" "$sample" ambulance.wbmp 0 0 >/dev/null
"$varnock" "$sample" ambulance-150.wbmp 150 0 >/dev/null
"$view" --gif out/ambulance.gif ambulance.wbmp
"$view" --gif out/ambulance-150.gif ambulance-150.wbmp

if [ "${1:-}" = --check ]; then
    status=0
    for made in out/*.gif; do
        if ! cmp "$made" "$pictures/${made#out/}"; then
            echo "docs/pictures/${made#out/} is not what the program makes now:" \
                "run scripts/readme-pictures.sh and commit the pictures"
            status=1
        fi
    done
    [ "$(ls "$pictures")" = "$(ls out)" ] || {
        echo "docs/pictures/ holds other files than the pictures made: $(ls "$pictures")"
        status=1
    }
    exit "$status"
fi
mkdir -p "$pictures"
cp out/*.gif "$pictures/"
echo "Written: $(cd out && ls | sed 's|^|docs/pictures/|' | tr '\n' ' ')"
