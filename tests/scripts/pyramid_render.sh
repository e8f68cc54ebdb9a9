#!/bin/sh
# glimra-render on an OME-Zarr pyramid: the refined picture does not depend
# on the memory budget (a budget of one megabyte reads bricks again and
# again, two gigabytes keeps them), it is finer than the coarsest level, the
# styles that cannot stream are refused with the reason and status 2, and
# --memory takes sizes.
# Usage: sh pyramid_render.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$1
TOOL="$BUILD/glimra-render"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
fail=0
export LIBGL_ALWAYS_SOFTWARE=1
bad() { echo "FAIL: $*"; fail=1; }

"$BUILD/zvftool" sample phantom "$T/p.zarr" --size 96 --type uchar --chunk 16 >/dev/null 2>&1 ||
    { echo "FAIL: zvftool sample"; exit 1; }
# The coarsest level alone, as a pyramid of one level.
"$BUILD/zvftool" convert "$T/p.zarr" "$T/coarse.zvf" >/dev/null 2>&1 || bad "zvftool convert"

draw() {
    out=$1; shift
    "$TOOL" "$@" --size 160x120 --rotate 20 -30 --quiet -o "$out" 2>"$T/err.txt"
}
for style in 3 4 5; do
    draw "$T/small$style.png" "$T/p.zarr" --style $style --memory 1M || bad "style $style, 1M: $(cat "$T/err.txt")"
    draw "$T/large$style.png" "$T/p.zarr" --style $style --memory 2G || bad "style $style, 2G: $(cat "$T/err.txt")"
    cmp -s "$T/small$style.png" "$T/large$style.png" || bad "style $style: the budget changes the picture"
    draw "$T/coarse$style.png" "$T/coarse.zvf" --style $style || bad "style $style, coarse: $(cat "$T/err.txt")"
    cmp -s "$T/small$style.png" "$T/coarse$style.png" && bad "style $style: the pyramid is drawn at its coarsest level"
done

# status, then the exact first line of standard error
expect() {
    d=$1; want_rc=$2; want=$3; shift 3
    "$@" >"$T/out.txt" 2>"$T/err.txt"
    rc=$?
    got=$(head -n 1 "$T/err.txt")
    if [ $rc -ne "$want_rc" ] || [ "$got" != "$want" ]; then
        bad "$d (status $rc, '$got')"
    else
        echo "ok: $d"
    fi
}
expect "2-D stacks refused" 2 \
    "glimra-render: $T/p.zarr: the 2-D stacks need every slice of the volume whole; a pyramid streams 3-D bricks" \
    "$TOOL" "$T/p.zarr" --style 1 --quiet -o "$T/a.png"
expect "shaded refused" 2 \
    "glimra-render: $T/p.zarr: the shaded styles need the gradients of the whole volume; a pyramid streams bricks" \
    "$TOOL" "$T/p.zarr" --style 11 --quiet -o "$T/a.png"
expect "memory 0" 2 "glimra-render: --memory needs megabytes from 1 to 16777216, or a size such as 512M or 2G" \
    "$TOOL" "$T/p.zarr" --memory 0 -o "$T/a.png"
expect "memory 3X" 2 "glimra-render: --memory needs megabytes from 1 to 16777216, or a size such as 512M or 2G" \
    "$TOOL" "$T/p.zarr" --memory 3X -o "$T/a.png"
expect "drag without frames" 2 "glimra-render: --drag needs --frames N" \
    "$TOOL" "$T/p.zarr" --drag -o "$T/a.png"
# Frames of a drag: a time in milliseconds.
ms=$("$TOOL" "$T/p.zarr" --style 4 --quiet --frames 3 --drag 2>"$T/err.txt")
echo "$ms" | grep -Eq '^[0-9]+\.[0-9]{3}$' || bad "drag frames: '$ms' $(cat "$T/err.txt")"
# 12-bit values: the bricks are stretched as the load stretched the coarsest
# level, and the refined picture is finer than that level's.
"$BUILD/zvftool" sample phantom "$T/u.zarr" --size 64 --chunk 16 >/dev/null 2>&1 || bad "zvftool sample ushort"
"$BUILD/zvftool" convert "$T/u.zarr" "$T/ucoarse.zvf" >/dev/null 2>&1 || bad "zvftool convert ushort"
draw "$T/u.png" "$T/u.zarr" --style 4 || bad "12-bit pyramid: $(cat "$T/err.txt")"
draw "$T/ucoarse.png" "$T/ucoarse.zvf" --style 4 || bad "12-bit coarse: $(cat "$T/err.txt")"
cmp -s "$T/u.png" "$T/ucoarse.png" && bad "12-bit pyramid drawn at its coarsest level"
# Floats are stretched by each level's own range: the coarsest level only,
# with a note saying why.
"$BUILD/zvftool" sample phantom "$T/f.zarr" --size 32 --chunk 16 --type float >/dev/null 2>&1 ||
    bad "zvftool sample float"
"$TOOL" "$T/f.zarr" --style 4 -o "$T/f.png" 2>"$T/err.txt" || bad "float pyramid: $(cat "$T/err.txt")"
grep -q "^glimra-render: $T/f.zarr: drawn at its coarsest level: finer levels are streamed for 8- and 16-bit" \
    "$T/err.txt" || bad "float pyramid: no note ($(cat "$T/err.txt"))"
exit $fail
