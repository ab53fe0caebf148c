#!/bin/sh
# Lints manual pages: check-manpages.sh VERSION PAGE...
#
# Every page must render with groff (-ww: all warnings) and pass mandoc's lint at the
# "warning" level without a single message, and its title line must name "varnock VERSION".
# Exit status: 0 all clean, 1 a page has a problem, 77 neither groff nor mandoc is installed
# (the test is then skipped; Debian: apt-get install groff-base mandoc).
set -u

if [ "$#" -lt 2 ]; then
    echo "usage: $0 VERSION PAGE..." >&2
    exit 1
fi
version=$1
shift

have_groff=no
have_mandoc=no
command -v groff >/dev/null 2>&1 && have_groff=yes
command -v mandoc >/dev/null 2>&1 && have_mandoc=yes
if [ "$have_groff" = no ] && [ "$have_mandoc" = no ]; then
    echo "SKIP: neither groff nor mandoc is installed (apt-get install groff-base mandoc)"
    exit 77
fi

failed=0
for page in "$@"; do
    if ! grep -q "^\.TH .* \"varnock $version\" " "$page"; then
        echo "$page: the .TH line does not name \"varnock $version\""
        failed=1
    fi
    if [ "$have_groff" = yes ]; then
        # -k: the pages are UTF-8 (preconv), -z: only the diagnostics matter.
        messages=$(groff -k -ww -man -Tutf8 -z "$page" 2>&1)
        if [ -n "$messages" ]; then
            printf '%s: groff says:\n%s\n' "$page" "$messages"
            failed=1
        fi
    fi
    if [ "$have_mandoc" = yes ]; then
        messages=$(mandoc -Tlint -Wwarning "$page" 2>&1)
        if [ -n "$messages" ]; then
            printf '%s: mandoc says:\n%s\n' "$page" "$messages"
            failed=1
        fi
    fi
done
[ "$have_groff" = yes ] || echo "note: groff not installed, checked with mandoc only"
[ "$have_mandoc" = yes ] || echo "note: mandoc not installed, checked with groff only"
exit "$failed"
