#!/bin/sh
# glimra-render's command line: usage errors, styles and classifications it
# cannot draw, the picture file and the frame timing.
# Usage: sh render_cli.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$1
TOOL="$BUILD/glimra-render"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
fail=0
export LIBGL_ALWAYS_SOFTWARE=1

# A small data set: a description file and 8^3 bytes rising along x.
i=0; : > "$T/ramp.raw"
while [ $i -lt 64 ]; do printf '\000\040\100\140\200\240\300\340' >> "$T/ramp.raw"; i=$((i + 1)); done
printf 'ObjectFileName: ramp.raw\nResolution: 8 8 8\nSliceThickness: 1 1 1\nFormat: UCHAR\n' > "$T/ramp.dat"

# status, then the exact first line of standard error
expect() {
    d=$1; want_rc=$2; want=$3; shift 3
    "$@" >"$T/out.txt" 2>"$T/err.txt"
    rc=$?
    got=$(head -n 1 "$T/err.txt")
    if [ $rc -ne "$want_rc" ] || [ "$got" != "$want" ]; then
        echo "FAIL: $d (status $rc, '$got')"; fail=1
    else
        echo "ok: $d"
    fi
}

expect "no arguments" 2 "glimra-render: no data file" "$TOOL"
expect "no output" 2 "glimra-render: no output: give -o OUT.png or --frames N" "$TOOL" "$T/ramp.dat"
expect "unknown option" 2 "glimra-render: unknown option --fast" "$TOOL" "$T/ramp.dat" --fast -o "$T/a.png"
expect "bad blending" 2 "glimra-render: --blending needs 0, 1 or 2" "$TOOL" "$T/ramp.dat" --blending 3 -o "$T/a.png"
expect "bad sampling" 2 "glimra-render: --sampling needs a number from 0 to 512" "$TOOL" "$T/ramp.dat" --sampling 513 -o "$T/a.png"
expect "bad size" 2 "glimra-render: --size needs WIDTHxHEIGHT" "$TOOL" "$T/ramp.dat" --size 0x10 -o "$T/a.png"
expect "bad view" 2 "glimra-render: unknown view side" "$TOOL" "$T/ramp.dat" --view side -o "$T/a.png"
expect "rotate needs two" 2 "glimra-render: --rotate needs two angles in degrees" "$TOOL" "$T/ramp.dat" --rotate 10
# A data file that cannot be read: the program's warning names it and the fault.
expect "missing data" 1 "glimra-render: Warning: $T/none.dat: cannot be opened" "$TOOL" "$T/none.dat" -o "$T/a.png"
[ "$(sed -n 2p "$T/err.txt")" = "glimra-render: cannot load $T/none.dat" ] ||
    { echo "FAIL: missing data: $(cat "$T/err.txt")"; fail=1; }
expect "style 14" 1 "glimra-render: Draw style 14 does not exist." "$TOOL" "$T/ramp.dat" --style 14 -o "$T/a.png"

# The focus-and-context passes are never drawn alone; the mask and multi-band
# styles say what they need.
for n in 7:"Focus and Context (mask pass)" 8:"Focus and Context (dilation pass)"; do
    expect "style ${n%%:*}" 1 "glimra-render: Draw style \"${n#*:}\" is not available." \
        "$TOOL" "$T/ramp.dat" --style "${n%%:*}" -o "$T/a.png"
done
expect "style 6 without a mask" 1 "glimra-render: \"Focus and Context\" needs a mask (-m)." \
    "$TOOL" "$T/ramp.dat" --style 6 -o "$T/a.png"
expect "style 13 on one band" 1 "glimra-render: \"Multi Volume\" needs data with more than four bands." \
    "$TOOL" "$T/ramp.dat" --style 13 -o "$T/a.png"
# A mask of another size is refused with the program's warning; one of the
# data's size is taken.
printf 'ObjectFileName: ramp.raw\nResolution: 8 8 4\nSliceThickness: 1 1 1\nFormat: UCHAR\n' > "$T/half.dat"
expect "mask of another size" 1 "glimra-render: Warning: Incompatible mask resolution." \
    "$TOOL" "$T/ramp.dat" -m "$T/half.dat" -o "$T/a.png"
[ "$(sed -n 2p "$T/err.txt")" = "glimra-render: cannot load mask $T/half.dat" ] ||
    { echo "FAIL: mask of another size: $(cat "$T/err.txt")"; fail=1; }
expect "style 6 with a mask" 0 "" "$TOOL" "$T/ramp.dat" -m "$T/ramp.dat" --style 6 --size 40x30 -o "$T/fc.png"
[ -s "$T/fc.png" ] || { echo "FAIL: style 6 with a mask wrote no picture"; fail=1; }
rm -f "$T/fc.png"
"$BUILD/zvftool" sample multiband "$T/mb.zvf" >/dev/null
expect "style 13 on six bands" 0 "" "$TOOL" "$T/mb.zvf" --style 13 --size 40x30 -o "$T/mv.png"
[ -s "$T/mv.png" ] || { echo "FAIL: style 13 on six bands wrote no picture"; fail=1; }
rm -f "$T/mv.png"
expect "classification 5" 1 "glimra-render: Classification 5 does not exist." \
    "$TOOL" "$T/ramp.dat" --classification 5 -o "$T/a.png"
# Software OpenGL has no paletted textures.
if ! "$TOOL" "$T/ramp.dat" --classification 2 -o "$T/pre.png" 2>/dev/null; then
    expect "pre-classification" 1 \
        "glimra-render: \"Pre Classification\" is not available: it needs GL_EXT_paletted_texture and GL_EXT_shared_texture_palette." \
        "$TOOL" "$T/ramp.dat" --classification 2 -o "$T/a.png"
fi
[ -e "$T/a.png" ] && { echo "FAIL: a refused picture left a file"; fail=1; }

# Without their program files the ray caster and the shaded styles are refused.
mkdir "$T/nocg"
expect "ray casting without programs" 1 \
    "glimra-render: \"Ray Casting\" is not available: its shader programs are missing." \
    "$TOOL" "$T/ramp.dat" --cg "$T/nocg/" --style 5 -o "$T/a.png"
expect "light without programs" 1 \
    "glimra-render: Draw style \"3D Light 2\" is not available: its shader programs are missing." \
    "$TOOL" "$T/ramp.dat" --cg "$T/nocg/" --style 12 -o "$T/a.png"

# Every slicing, shaded and ray-cast style and classification writes a PNG of the asked size.
for s in 1 2 3 4 5 9 10 11 12; do
    for c in 1 3 4; do
        if "$TOOL" "$T/ramp.dat" --style $s --classification $c --size 40x30 -o "$T/s$s$c.png" 2>"$T/err.txt" &&
            [ "$(od -An -tx1 -N8 "$T/s$s$c.png" | tr -d ' \n')" = "89504e470d0a1a0a" ] &&
            [ "$(od -An -tu1 -j16 -N8 "$T/s$s$c.png" | tr -s ' ' | sed 's/^ //')" = "0 0 0 40 0 0 0 30" ]; then
            echo "ok: style $s classification $c"
        else
            echo "FAIL: style $s classification $c: $(cat "$T/err.txt")"; fail=1
        fi
    done
done

# The overlays appear only when asked for, each changing the picture.
"$TOOL" "$T/ramp.dat" --size 200x160 -o "$T/plain.png" 2>/dev/null
"$TOOL" "$T/ramp.dat" --size 200x160 --marker -o "$T/marker.png" 2>/dev/null
"$TOOL" "$T/ramp.dat" --size 200x160 --marker --colour-bar -o "$T/both.png" 2>/dev/null
if [ -s "$T/plain.png" ] && ! cmp -s "$T/plain.png" "$T/marker.png" && ! cmp -s "$T/marker.png" "$T/both.png"; then
    echo "ok: --marker and --colour-bar"
else
    echo "FAIL: --marker and --colour-bar do not change the picture"; fail=1
fi

# --frames prints one number of milliseconds.
out=$("$TOOL" "$T/ramp.dat" --frames 3 --size 32x32)
if echo "$out" | grep -Eq '^[0-9]+\.[0-9]{3}$'; then echo "ok: frames ($out ms)"; else echo "FAIL: frames '$out'"; fail=1; fi

# A directory that is not writable: a message, not a crash.
expect "unwritable output" 1 "glimra-render: Cannot write $T/no/such/dir/a.png: No such file or directory" \
    "$TOOL" "$T/ramp.dat" -o "$T/no/such/dir/a.png"

exit $fail
