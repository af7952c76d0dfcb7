#!/usr/bin/env bash
# Builds the Debian package from a finished build, unpacks it into a
# temporary folder and checks what a user's machine would get from it.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: package_test.sh BUILD_DIR}" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log" >&2; exit 1; }
debs=("$tmp"/out/tavolin_*.deb)
[ -f "${debs[0]}" ] || { echo "FAIL: no package in $tmp/out" >&2; ls -R "$tmp/out" >&2; exit 1; }
deb=${debs[0]}
root=$tmp/root
dpkg-deb -x "$deb" "$root"

# Dependencies come from the programs: Qt's and the C++ library's packages.
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libstdc++6 libc6; do
    grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

for f in usr/lib/tavolin/Tavolin usr/bin/tavolin-strings \
         usr/share/applications/tavolin.desktop \
         usr/share/mime/packages/tavolin.xml \
         usr/share/metainfo/org.example.tavolin.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/tavolin.svg \
         usr/share/man/man1/tavolin.1.gz usr/share/man/man1/tavolin-strings.1.gz; do
    [ -s "$root/$f" ] || fail "missing $f"
done
for size in 16 32 48 128 256; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/tavolin.png
    file -b "$png" | grep -q "PNG image data, $size x $size" || fail "icon $size: $(file -b "$png")"
done
# The command on the path is a link to the program file, whose name heads
# the message windows.
[ "$(readlink "$root/usr/bin/tavolin")" = ../lib/tavolin/Tavolin ] ||
    fail "usr/bin/tavolin is not a link to ../lib/tavolin/Tavolin"
file -b "$root/usr/lib/tavolin/Tavolin" | grep -q ELF || fail "Tavolin is no program"

# The programs run from the unpacked package.
help=$("$root/usr/bin/tavolin-strings" --help 2>&1) || fail "tavolin-strings --help failed"
grep -q dump <<<"$help" || fail "tavolin-strings --help does not name dump: $help"
if "$root/usr/bin/tavolin-strings" --version >/dev/null 2>&1; then
    "$root/usr/bin/tavolin-strings" --version | grep -q "$(dpkg-deb -f "$deb" Version)" ||
        fail "tavolin-strings --version does not say the package's version"
fi

# Both manual pages render, the generated one with the program's subcommands.
for page in tavolin tavolin-strings; do
    text=$(zcat "$root/usr/share/man/man1/$page.1.gz" | MANWIDTH=80 man -l - 2>"$tmp/man.err") ||
        fail "man $page does not render"
    [ -s "$tmp/man.err" ] && fail "man $page warns: $(cat "$tmp/man.err")"
    grep -q "^NAME" <<<"$text" || fail "man $page has no NAME"
done
zcat "$root/usr/share/man/man1/tavolin-strings.1.gz" | grep -q resave ||
    fail "tavolin-strings.1 does not name resave"

desktop-file-validate "$root/usr/share/applications/tavolin.desktop" || fail "desktop entry"
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/org.example.tavolin.metainfo.xml" ||
    fail "metainfo"
# shared-mime-info's own tool reads the type and files *.rsc under it.
mkdir -p "$tmp/mime/packages"
cp "$root/usr/share/mime/packages/tavolin.xml" "$tmp/mime/packages/"
out=$(XDG_DATA_HOME=$tmp XDG_DATA_DIRS=$tmp update-mime-database "$tmp/mime" 2>&1) && [ -z "$out" ] ||
    fail "update-mime-database complains: $out"
grep -q '^application/x-symbian-resource:\*\.rsc$' "$tmp/mime/globs" ||
    fail "*.rsc is not application/x-symbian-resource"
grep -q '^MimeType=application/x-symbian-resource;' "$root/usr/share/applications/tavolin.desktop" ||
    fail "desktop entry does not name the MIME type"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) of $(basename "$deb") failed" >&2
    exit 1
fi
echo "$(basename "$deb") holds both programs, desktop entry, icons, MIME type, metainfo and manual pages"
