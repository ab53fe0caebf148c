#!/usr/bin/env bash
# Lints manual pages: check-manpages.sh VERSION PAGE...
#
# Every page must render with groff (-ww: all warnings) and pass mandoc's lint at the
# "warning" level without a single message, and its title line must name "varnock VERSION".
# varnock.1 must repeat the usage text (src/app/messages.h) word for word in two places: the
# command line as its synopsis, and the table of size examples as an .EX block.
# Exit status: 0 all clean, 1 a page has a problem, 77 the pages agree with the usage text but
# neither groff nor mandoc is installed to lint them (Debian: apt-get install groff-base mandoc).
set -u
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

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

# The usage text's lines, from the string literal's lines that end in a newline.
usage=$(sed -n '/usageText =/,/;$/s/^ *"\(.*\)\\n"$/\1/p' "$root/src/app/messages.h")
command=$(printf '%s\n' "$usage" | sed -n 3p | tr -s ' ' | sed 's/^ //')
synopsis=$(printf '.SH SYNOPSIS\n.B %s\n.I %s' "${command%% *}" "${command#* }")
examples=$(printf '.EX\n%s\n.EE' "$(printf '%s\n' "$usage" | awk '/widthOrZero   heightOrZero/ { n = 5 } n && n--')")

failed=0
for page in "$@"; do
    if [ "$(basename "$page")" = varnock.1 ]; then
        text=$(cat "$page")
        case "$text" in *"$synopsis"*) ;; *)
            printf '%s: the synopsis is not the usage text'"'"'s command line:\n%s\n' "$page" "$synopsis"
            failed=1 ;;
        esac
        case "$text" in *"$examples"*) ;; *)
            printf '%s: no .EX block holds exactly the usage text'"'"'s examples:\n%s\n' "$page" "$examples"
            failed=1 ;;
        esac
    fi
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
if [ "$have_groff" = no ] && [ "$have_mandoc" = no ] && [ "$failed" = 0 ]; then
    echo "SKIP: neither groff nor mandoc is installed (apt-get install groff-base mandoc)"
    exit 77
fi
[ "$have_groff" = yes ] || echo "note: groff not installed, checked with mandoc only"
[ "$have_mandoc" = yes ] || echo "note: mandoc not installed, checked with groff only"
exit "$failed"
