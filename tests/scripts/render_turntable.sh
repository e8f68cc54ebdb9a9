#!/bin/sh
# glimra-render --turntable: refused counts, an unwritable path before any
# frame, one progress line per written frame, every style, a failed frame.
# Usage: sh render_turntable.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$1
TOOL="$BUILD/glimra-render"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
fail=0
export LIBGL_ALWAYS_SOFTWARE=1

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

expect "no frames" 2 "glimra-render: --turntable needs a number of frames from 1 to 3600" \
    "$TOOL" "$T/ramp.dat" --turntable 0 -o "$T/s.png"
expect "too many frames" 2 "glimra-render: --turntable needs a number of frames from 1 to 3600" \
    "$TOOL" "$T/ramp.dat" --turntable 3601 -o "$T/s.png"
expect "not a count" 2 "glimra-render: --turntable needs a number of frames from 1 to 3600" \
    "$TOOL" "$T/ramp.dat" --turntable many -o "$T/s.png"
expect "with --frames" 2 "glimra-render: --turntable needs -o OUT.png and no --frames" \
    "$TOOL" "$T/ramp.dat" --turntable 3 --frames 2
expect "unwritable path" 1 "glimra-render: Cannot write $T/no/dir/s_000.png: No such file or directory" \
    "$TOOL" "$T/ramp.dat" --turntable 3 -o "$T/no/dir/s.png"
[ "$(wc -l < "$T/err.txt")" -eq 1 ] || { echo "FAIL: frames drawn before the path was refused"; fail=1; }
ls "$T"/*_0*.png >/dev/null 2>&1 && { echo "FAIL: a refused turntable left frames"; fail=1; }

# One progress line per frame, in order, each file there.
expect "three frames" 0 "glimra-render: frame 1 of 3: $T/s_000.png" \
    "$TOOL" "$T/ramp.dat" --turntable 3 --size 24x20 -o "$T/s.png"
printf 'glimra-render: frame 1 of 3: %s\nglimra-render: frame 2 of 3: %s\nglimra-render: frame 3 of 3: %s\n' \
    "$T/s_000.png" "$T/s_001.png" "$T/s_002.png" | cmp -s - "$T/err.txt" ||
    { echo "FAIL: progress lines"; cat "$T/err.txt"; fail=1; }
for k in 0 1 2; do
    [ "$(od -An -tu1 -j16 -N8 "$T/s_00$k.png" | tr -s ' ' | sed 's/^ //')" = "0 0 0 24 0 0 0 20" ] ||
        { echo "FAIL: frame $k is not a 24x20 PNG"; fail=1; }
done
[ -e "$T/s_003.png" ] && { echo "FAIL: a fourth frame"; fail=1; }

# Every style the tool draws turns: two frames each.
"$BUILD/zvftool" sample multiband "$T/mb.zvf" >/dev/null
for s in 1 2 3 4 5 6 9 10 11 12 13; do
    case $s in
        6) extra="-m $T/ramp.dat"; data="$T/ramp.dat" ;;
        13) extra=""; data="$T/mb.zvf" ;;
        *) extra=""; data="$T/ramp.dat" ;;
    esac
    # shellcheck disable=SC2086
    if "$TOOL" "$data" $extra --style $s --turntable 2 --size 24x20 -o "$T/st$s.png" 2>"$T/err.txt" &&
        [ -s "$T/st${s}_000.png" ] && [ -s "$T/st${s}_001.png" ]; then
        echo "ok: style $s turns"
    else
        echo "FAIL: style $s: $(cat "$T/err.txt")"; fail=1
    fi
done

# A frame that cannot be written stops the run with its number.
mkdir "$T/f_001.png"
expect "failed frame" 1 "glimra-render: frame 1 of 3: $T/f_000.png" \
    "$TOOL" "$T/ramp.dat" --turntable 3 --size 24x20 -o "$T/f.png"
[ "$(tail -n 1 "$T/err.txt")" = "glimra-render: Frame 2 of 3: Cannot write $T/f_001.png: Is a directory" ] ||
    { echo "FAIL: failed frame message: $(cat "$T/err.txt")"; fail=1; }
[ -e "$T/f_002.png" ] && { echo "FAIL: a frame after the failed one"; fail=1; }

exit $fail
