#!/bin/sh
# Builds the Debian package and checks what it installs.
#
#   scripts/check-package.sh [BUILD_DIR]      (default: build-package in the source tree)
#
# Configures a Release build without tests in BUILD_DIR, builds it, runs "cpack -G DEB", then
# checks the package: its control fields (name, version, a dependency on libgd3), its file list
# (owned by root, everything under /usr), and, once unpacked with "dpkg -x" into a temporary
# root, that both programs run from there (a conversion of a sample GIF, the preview of the
# result, a refused file) and that both manual pages are there and render cleanly.
# Needs cmake, a C++ compiler, libgd-dev, GoogleTest is not needed; dpkg-deb and dpkg (Debian).
set -eu

src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$src/build-package"}
fail() {
    echo "check-package: FAILED: $*" >&2
    exit 1
}

cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVARNOCK_BUILD_TESTS=OFF -DVARNOCK_STATIC_GD=OFF \
    -DVARNOCK_SANITIZE=OFF >/dev/null
cmake --build "$build" -j2
rm -f "$build"/varnock_*.deb
(cd "$build" && cpack -G DEB)

set -- "$build"/varnock_*.deb
[ "$#" -eq 1 ] && [ -f "$1" ] || fail "expected one varnock_*.deb in $build"
deb=$1
version=$(sed -n 's/^project(varnock VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")

# Control fields.
[ "$(dpkg-deb --field "$deb" Package)" = varnock ] || fail "package name"
[ "$(dpkg-deb --field "$deb" Version)" = "$version" ] || fail "version is not $version"
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
echo "$depends" | grep -Eq '(^|, )libgd3( |,|$)' || fail "no dependency on libgd3"

# File list: every entry owned by root and under /usr.
listing=$(dpkg-deb --contents "$deb")
echo "$listing"
echo "$listing" | awk '$2 != "root/root" { bad = 1 } END { exit bad }' || fail "files not owned by root"
echo "$listing" | awk '$6 !~ /^\.\/(usr\/.*)?$/ { bad = 1 } END { exit bad }' || fail "files outside /usr"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT INT TERM
dpkg -x "$deb" "$root/fs"
bin="$root/fs/usr/bin"
man1="$root/fs/usr/share/man/man1"
for program in varnock varnock-view; do
    [ -x "$bin/$program" ] || fail "$program is missing from /usr/bin"
    if ldd "$bin/$program" | grep -q 'not found'; then fail "$program has a missing library"; fi
    if ldd "$bin/$program" | grep -q 'libasan'; then fail "$program is a sanitizer build"; fi
done
for page in varnock.1.gz varnock-view.1.gz; do
    [ -s "$man1/$page" ] || fail "$page is missing from /usr/share/man/man1"
    gzip -t "$man1/$page" || fail "$page is not a valid gzip file"
    if command -v groff >/dev/null 2>&1; then
        warnings=$(gzip -dc "$man1/$page" | groff -k -ww -man -Tutf8 -z 2>&1)
        [ -z "$warnings" ] || fail "$page: $warnings"
    fi
done

# The programs run from the unpacked tree.
mkdir "$root/run"
cd "$root/run"
"$bin/varnock" >usage.txt || fail "varnock without arguments did not exit 0"
grep -q '^utilisation :$' usage.txt || fail "varnock without arguments printed no usage text"
"$bin/varnock" "$src/tests/data/gif/giflib-x-trans.gif" x.wbmp 0 0 >/dev/null ||
    fail "varnock could not convert the sample GIF"
[ -s cv.html ] || fail "varnock wrote no cv.html"
[ "$(head -c 4 x.wbmp | od -An -tx1 | tr -d ' \n')" = "00006464" ] ||
    fail "x.wbmp is not the 100 x 100 WBMP it should be"
"$bin/varnock-view" --width 40 x.wbmp >drawing.txt || fail "varnock-view could not show x.wbmp"
[ "$(wc -l <drawing.txt)" -eq 20 ] || fail "the drawing of a 100 x 100 picture in 40 columns is not 20 lines"
if "$bin/varnock-view" cv.html 2>refusal.txt; then fail "varnock-view accepted an HTML file"; fi
grep -q "ce n'est pas une image WBMP" refusal.txt || fail "varnock-view gave no reason"

echo "check-package: OK: $deb"
