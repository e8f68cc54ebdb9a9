#!/bin/sh
# The .deb as a user gets it: built with CPack, unpacked into a fresh root,
# its glimra-render run from an unrelated folder without LD_LIBRARY_PATH
# draws the build tree's picture from the program files it ships (and
# without them does not). Nothing lies outside /usr, there are no maintainer
# scripts and no test programs; the desktop entry, the MIME type (a zvf file
# without its ending is still known by its first bytes), the icons and the
# manual pages pass their checkers, and lintian finds no error where it is
# installed. Skipped where dpkg-deb is missing.
# Usage: sh package.sh BUILD_DIR SOURCE_DIR
set -u
command -v dpkg-deb >/dev/null 2>&1 || { echo "SKIP: no dpkg-deb here"; exit 77; }
for t in cpack desktop-file-validate xmllint groff update-mime-database gio; do
    command -v "$t" >/dev/null 2>&1 || { echo "FAIL: $t is missing (run sh scripts/setup.sh)"; exit 1; }
done
BUILD=$(cd "$1" && pwd)
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
fail=0
bad() { echo "FAIL: $*"; fail=1; }
export LIBGL_ALWAYS_SOFTWARE=1

(cd "$BUILD" && cpack -G DEB -B "$T/pkg") >"$T/cpack.log" 2>&1 || { cat "$T/cpack.log"; bad "cpack"; exit 1; }
deb=$(ls "$T"/pkg/*.deb)
dpkg-deb -x "$deb" "$T/root" || { bad "dpkg-deb -x"; exit 1; }
R=$T/root/usr

# Only /usr, no maintainer scripts (triggers do their work), a Depends line.
outside=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v -e '^\./$' -e '^\./usr/')
[ -z "$outside" ] || bad "files outside /usr: $outside"
dpkg-deb -e "$deb" "$T/control"
scripts=$(ls "$T/control" | grep -v -x -e control -e md5sums)
[ -z "$scripts" ] || bad "control files beyond control and md5sums: $scripts"
grep -q '^Depends: .*libc6' "$T/control/control" || bad "no Depends from dpkg-shlibdeps: $(cat "$T/control/control")"
grep -q '^Section: science$' "$T/control/control" || bad "section"
# lintian (scripts/setup.sh package), where it is installed: no errors.
if command -v lintian >/dev/null 2>&1; then
    lintian --fail-on error "$deb" >"$T/lintian.txt" 2>&1 || bad "lintian: $(cat "$T/lintian.txt")"
fi
want="glimra-render zvftool"
[ -x "$BUILD/glimra" ] && want="glimra $want"
got=$(ls "$R/bin" | sort | tr '\n' ' ')
[ "$got" = "$(echo $want | tr ' ' '\n' | sort | tr '\n' ' ')" ] || bad "bin/ holds: $got"
[ "$(ls "$R/share/glimra/Cg" | wc -l)" = "$(ls "$2/Cg" | wc -l)" ] || bad "share/glimra/Cg is incomplete"
[ "$(ls "$R/share/glimra/presets" | wc -l)" = "$(ls "$2/presets" | wc -l)" ] || bad "share/glimra/presets is incomplete"

# The unpacked glimra-render from a folder whose ../Cg does not exist.
mkdir -p "$T/run/empty"
cd "$T/run/empty"
"$BUILD/zvftool" sample types-uchar "$T/v.zvf" >/dev/null || bad "zvftool sample"
draw() { env -u LD_LIBRARY_PATH "$1" "$T/v.zvf" --style 5 --ortho --size 64x48 -o "$2" 2>"$T/err.txt"; }
draw "$BUILD/glimra-render" "$T/build.png" || bad "build tree's glimra-render: $(cat "$T/err.txt")"
draw "$R/bin/glimra-render" "$T/unpacked.png" || bad "unpacked glimra-render: $(cat "$T/err.txt")"
cmp -s "$T/build.png" "$T/unpacked.png" || bad "the unpacked glimra-render draws another picture"
# Without its program files (and none installed on this machine) it cannot.
if [ ! -d /usr/share/glimra/Cg ] && [ ! -d /usr/local/share/glimra/Cg ]; then
    mv "$R/share/glimra/Cg" "$T/Cg.away"
    if draw "$R/bin/glimra-render" "$T/none.png" && cmp -s "$T/build.png" "$T/none.png"; then
        bad "the unpacked glimra-render drew the picture without share/glimra/Cg"
    fi
    mv "$T/Cg.away" "$R/share/glimra/Cg"
fi
cd "$T"

# Desktop entry and icons.
d=$R/share/applications/glimra.desktop
# Errors and warnings fail; the hint that Graphics and Science are both main
# categories (the entry is listed under each) is meant.
out=$(desktop-file-validate "$d" 2>&1) || bad "desktop-file-validate: $out"
echo "$out" | grep -v ': hint: ' | grep -q . && bad "desktop-file-validate: $out"
grep -qx 'Exec=glimra -d %f' "$d" || bad "Exec line"
grep -qx 'MimeType=application/x-zvf;application/dicom;' "$d" || bad "MimeType line"
[ -f "$R/share/icons/hicolor/scalable/apps/glimra.svg" ] || bad "no scalable icon"
for s in 48 256; do
    p=$R/share/icons/hicolor/${s}x$s/apps/glimra.png
    # IHDR width and height, 32-bit big-endian, at bytes 16..23
    dims=$(od -An -tu1 -j16 -N8 "$p" 2>/dev/null |
           awk '{print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8}')
    [ "$dims" = "${s}x$s" ] || bad "$p is not $s x $s ($dims)"
done

# The MIME type: well-formed, accepted by update-mime-database, and a zvf
# file is known by its magic without its ending; a PGM picture is not one.
m=$R/share/mime/packages/glimra.xml
xmllint --noout "$m" || bad "xmllint $m"
mkdir -p "$T/data/mime/packages"
cp "$m" "$T/data/mime/packages/"
update-mime-database "$T/data/mime" 2>"$T/mime.err" || bad "update-mime-database: $(cat "$T/mime.err")"
cp "$T/v.zvf" "$T/volume"
printf 'P5\n2 1\n255\n\000\377' > "$T/picture"
for f in volume:application/x-zvf v.zvf:application/x-zvf picture:image/x-portable-graymap; do
    type=$(XDG_DATA_HOME="$T/data" gio info -a standard::content-type "$T/${f%%:*}" |
           sed -n 's/^ *standard::content-type: //p')
    [ "$type" = "${f#*:}" ] || bad "${f%%:*} is '$type', not ${f#*:}"
done

# Manual pages: groff without a single warning.
for p in glimra glimra-render zvftool; do
    page=$R/share/man/man1/$p.1.gz
    [ -f "$page" ] || { bad "no manual page $p"; continue; }
    [ -x "$R/bin/$p" ] || [ "$p" = glimra ] || bad "manual page without program $p"
    warn=$(gzip -dc "$page" | groff -man -ww -z 2>&1)
    [ -z "$warn" ] || bad "$p.1: $warn"
done
[ $fail -eq 0 ] && echo "ok: package"
exit $fail
