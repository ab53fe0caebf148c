#!/usr/bin/env bash
# Builds the Debian package, checks what it installs and that it is reproducible.
#
#   scripts/check-package.sh
#
# Configures the "package" preset (a Release build without tests in build-package/, shared
# libgd) with Debian's hardening flags (from
# dpkg-buildflags with hardening=+all: fortified functions, stack protector, relro, bind now),
# builds it, runs "cpack -G DEB", then checks the package: lintian reports no error and no
# warning; its control fields (name, version, a dependency on libgd3), its file list (owned by
# root, everything under /usr), the hardening marks in both programs, and, once unpacked with
# "dpkg -x" into a temporary root, that both programs run from there (a conversion of a sample
# GIF, the preview of the result and its GIF export, a refused file) and that both manual pages
# are there and render cleanly. Last, it copies the tracked files of the source tree to a
# temporary folder elsewhere, builds the package there again and compares the two byte for
# byte; on a difference it lists the members that differ. Every time stamp is the last
# commit's (SOURCE_DATE_EPOCH, else the changelog's date) and both folders are mapped out of
# the objects (-ffile-prefix-map). Installs what it needs through scripts/deps.sh (lintian
# among them).
set -eu

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-package"
fail() {
    echo "check-package: FAILED: $*" >&2
    exit 1
}

"$root/scripts/deps.sh" dpkg-dev lintian

# The time every archive member, the changelog and the programs carry.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
        SOURCE_DATE_EPOCH=$(date -d "$(sed -n 's/^ -- .*>  //p' "$root/cmake/debian/changelog" |
            head -n 1)" +%s)
fi
export SOURCE_DATE_EPOCH

# package SOURCE: the .deb of the tree SOURCE, alone in its build-package/. Run in SOURCE,
# dpkg-buildflags maps that folder, the build folder within it too, to "." in file names and
# debug information (reproducible=+fixfilepath).
DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=+fixfilepath"
export DEB_BUILD_MAINT_OPTIONS
package() (
    cd "$1" || exit
    cxxflags=$(echo $(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS))
    ldflags=$(dpkg-buildflags --get LDFLAGS)
    echo "CXXFLAGS: $cxxflags"
    echo "LDFLAGS: $ldflags"
    cmake --preset package -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
        >/dev/null && cmake --build --preset package -j2 && cd build-package &&
        rm -f varnock_*.deb && cpack -G DEB
)
package "$root"

set -- "$build"/varnock_*.deb
[ "$#" -eq 1 ] && [ -f "$1" ] || fail "expected one varnock_*.deb in $build"
deb=$1
version=$(sed -n 's/^project(varnock VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

# Debian's own checker: no error and no warning.
lintian --fail-on error,warning --display-info "$deb" || fail "lintian: see above"

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

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
dpkg -x "$deb" "$tmp/fs"
bin="$tmp/fs/usr/bin"
man1="$tmp/fs/usr/share/man/man1"
for program in varnock varnock-view; do
    [ -x "$bin/$program" ] || fail "$program is missing from /usr/bin"
    if ldd "$bin/$program" | grep -q 'not found'; then fail "$program has a missing library"; fi
    if ldd "$bin/$program" | grep -q 'libasan'; then fail "$program is a sanitizer build"; fi
    readelf -lW "$bin/$program" | grep -q GNU_RELRO || fail "$program: no relro"
    readelf -dW "$bin/$program" | grep -Eq 'BIND_NOW|FLAGS.*NOW' || fail "$program: no bind now"
    symbols=$(readelf -W --dyn-syms "$bin/$program")
    echo "$symbols" | grep -q '__stack_chk_fail' || fail "$program: no stack protector"
    echo "$symbols" | grep -Eq '__[a-z]+_chk' || fail "$program: no fortified function"
done
for page in varnock.1.gz varnock-view.1.gz; do
    [ -s "$man1/$page" ] || fail "$page is missing from /usr/share/man/man1"
    gzip -t "$man1/$page" || fail "$page is not a valid gzip file"
    if command -v groff >/dev/null 2>&1; then
        warnings=$(gzip -dc "$man1/$page" | groff -k -ww -man -Tutf8 -z 2>&1)
        [ -z "$warnings" ] || fail "$page: $warnings"
    fi
done

# The licence and the changelog, whose last entry is this version.
[ -s "$tmp/fs/usr/share/doc/varnock/copyright" ] || fail "no copyright file"
gzip -dc "$tmp/fs/usr/share/doc/varnock/changelog.gz" | head -n 1 | grep -q "^varnock ($version) " ||
    fail "the changelog's last entry is not version $version"

# The programs run from the unpacked tree.
mkdir "$tmp/run"
cd "$tmp/run"
"$bin/varnock" >usage.txt || fail "varnock without arguments did not exit 0"
grep -q '^utilisation :$' usage.txt || fail "varnock without arguments printed no usage text"
"$bin/varnock" "$root/tests/data/gif/giflib-x-trans.gif" x.wbmp 0 0 >/dev/null ||
    fail "varnock could not convert the sample GIF"
[ -s cv.html ] || fail "varnock wrote no cv.html"
[ "$(head -c 4 x.wbmp | od -An -tx1 | tr -d ' \n')" = "00006464" ] ||
    fail "x.wbmp is not the 100 x 100 WBMP it should be"
"$bin/varnock-view" --width 40 x.wbmp >drawing.txt || fail "varnock-view could not show x.wbmp"
[ "$(wc -l <drawing.txt)" -eq 20 ] || fail "the drawing of a 100 x 100 picture in 40 columns is not 20 lines"
"$bin/varnock-view" --gif x.gif x.wbmp || fail "varnock-view could not export x.wbmp"
[ "$(head -c 6 x.gif)" = GIF87a ] || fail "x.gif is not a GIF file"
if "$bin/varnock-view" cv.html 2>refusal.txt; then fail "varnock-view accepted an HTML file"; fi
grep -q "ce n'est pas une image WBMP" refusal.txt || fail "varnock-view gave no reason"

# The same package again, later, from a copy of the tracked files in another folder.
copy="$tmp/again/varnock-copy"
mkdir -p "$copy"
(cd "$root" && git ls-files -z | xargs -0 cp --parents -t "$copy")
package "$copy" >"$tmp/again.log" 2>&1 || {
    cat "$tmp/again.log"
    fail "the second build failed"
}
set -- "$copy"/build-package/varnock_*.deb
if ! cmp "$deb" "$1"; then
    # What differs: the archive's members, the file list (modes, owners, times), the files.
    for side in first second; do
        [ "$side" = first ] && this=$deb || this=$1
        ar tv "$this" >"$tmp/$side.ar"
        dpkg-deb --contents "$this" >"$tmp/$side.list"
        dpkg-deb -R "$this" "$tmp/$side"
    done
    diff "$tmp/first.ar" "$tmp/second.ar" || true
    diff "$tmp/first.list" "$tmp/second.list" || true
    diff -r "$tmp/first" "$tmp/second" || true
    fail "two builds of the same tree give different packages: $deb and $1"
fi
echo "check-package: reproducible: a second build in $copy gave the same bytes"

echo "check-package: OK: $deb"
