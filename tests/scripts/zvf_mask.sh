#!/bin/sh
# zvftool mask: the voxels inside the thresholds, the grown shell, the data's
# resolution and spacing, a mask the renderer takes with -m, and refusals.
# Usage: sh zvf_mask.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$1
TOOL="$BUILD/zvftool"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
fail=0
export LIBGL_ALWAYS_SOFTWARE=1

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

# The mask's voxels, one byte each, as a Python list on standard output.
mask_bytes() {
    python3 - "$1" <<'PY'
import sys, zlib
data = open(sys.argv[1], 'rb').read()
head = data[:data.index(b'#!last\n')].decode()
dims = [int(v) for v in head.split('#!vdim ')[1].split('\n')[0].split()]
pos = data.index(b'#!last\n255\n') + 11
# the icon: one byte per pixel of the PNM size on the second line
w, h = (int(v) for v in head.split('\n')[1].split())
pos += w * h
vals = b''
while pos < len(data):
    L = int.from_bytes(data[pos:pos + 4], 'big')
    vals += zlib.decompress(data[pos + 4:pos + 4 + L])
    pos += 4 + L
assert len(vals) == dims[0] * dims[1] * dims[2], (len(vals), dims)
print(list(vals))
PY
}

# 8x6x4 signed 16-bit values 100x - 300 + y + 10z, big-endian, spacing 1 1 2.
python3 -c "
import struct
with open('$T/ramp.raw', 'wb') as f:
    for z in range(4):
        for y in range(6):
            for x in range(8):
                f.write(struct.pack('>h', 100 * x - 300 + y + 10 * z))
"
printf 'ObjectFileName: ramp.raw\nResolution: 8 6 4\nSliceThickness: 1 1 2\nFormat: SHORT\nByteOrder: big\n' > "$T/ramp.dat"
expect "mask of a description file" 0 "" "$TOOL" mask "$T/ramp.dat" -250 -181 "$T/ramp-mask.zvf"
want=$(python3 -c "
v = [100 * x - 300 + y + 10 * z for z in range(4) for y in range(6) for x in range(8)]
m = [255 if -250 <= a <= -181 else 0 for a in v]
print(m); print(sum(1 for a in m if a), file=open('$T/count', 'w'))")
if [ "$(mask_bytes "$T/ramp-mask.zvf")" = "$want" ]; then echo "ok: thresholded voxels"; else
    echo "FAIL: thresholded voxels"; mask_bytes "$T/ramp-mask.zvf"; fail=1; fi
# x = 1 (-200 + y + 10z): y + 10z <= 19 for z 0 and 1; x = 0 never (<= -251)
[ "$(cat "$T/count")" = 12 ] || { echo "FAIL: expected count $(cat "$T/count")"; fail=1; }
[ "$(cat "$T/out.txt")" = "12 of 192 voxels in the mask" ] || { echo "FAIL: summary '$(cat "$T/out.txt")'"; fail=1; }
"$TOOL" info "$T/ramp-mask.zvf" > "$T/info.txt"
grep -q "^Resolution:	8 6 4$" "$T/info.txt" && grep -q "^Data type:	zvfUCharType$" "$T/info.txt" &&
    grep -q "^Grid type:		zvfRegular$" "$T/info.txt" && grep -q "^Spacing:	1.000000 1.000000 2.000000$" "$T/info.txt" &&
    grep -q "^Number of bands:	1$" "$T/info.txt" || { echo "FAIL: mask header"; cat "$T/info.txt"; fail=1; }
# HIGH left out: up to the type's largest value
"$TOOL" mask "$T/ramp.dat" 380 "$T/top.zvf" >/dev/null
top=$(python3 -c "
print(sum(1 for z in range(4) for y in range(6) for x in range(8) if 100 * x - 300 + y + 10 * z >= 380))")
[ "$(mask_bytes "$T/top.zvf" | tr ',' '\n' | grep -c 255)" = "$top" ] || { echo "FAIL: HIGH left out"; fail=1; }

# Growth: a voxel in the middle and one in a corner of 9^3 bytes; by 1 they
# gain their face neighbours (6 + 3), by 2 the balls of 33 and 11 voxels.
python3 -c "
b = bytearray(9 * 9 * 9)
b[(4 * 9 + 4) * 9 + 4] = 200
b[0] = 200
open('$T/dots.raw', 'wb').write(b)
"
printf 'ObjectFileName: dots.raw\nResolution: 9 9 9\nSliceThickness: 1 1 1\nFormat: UCHAR\n' > "$T/dots.dat"
for g in 0:2 1:11 2:44; do
    expect "grow ${g%%:*}" 0 "" "$TOOL" mask "$T/dots.dat" 200 200 "$T/dots.zvf" --grow "${g%%:*}"
    [ "$(cat "$T/out.txt")" = "${g#*:} of 729 voxels in the mask" ] ||
        { echo "FAIL: grow ${g%%:*}: '$(cat "$T/out.txt")'"; fail=1; }
done
want=$(python3 -c "
m = [0] * 729
for z in range(9):
    for y in range(9):
        for x in range(9):
            if (x-4)**2 + (y-4)**2 + (z-4)**2 <= 4 or x*x + y*y + z*z <= 4:
                m[(z * 9 + y) * 9 + x] = 255
print(m)")
[ "$(mask_bytes "$T/dots.zvf")" = "$want" ] || { echo "FAIL: grown voxels"; fail=1; }

# A zvf volume keeps its resolution, grid and spacing; the renderer takes the
# mask with -m and draws focus and context.
"$TOOL" sample phantom "$T/phantom.zvf" >/dev/null
expect "mask of a zvf file" 0 "" "$TOOL" mask "$T/phantom.zvf" 1500 65535 "$T/pm.zvf" --grow 1
"$TOOL" info "$T/phantom.zvf" | sed -n '2,3p;5,6p;10p' > "$T/a.txt"
"$TOOL" info "$T/pm.zvf" | sed -n '2,3p;5,6p;10p' > "$T/b.txt"
cmp -s "$T/a.txt" "$T/b.txt" || { echo "FAIL: zvf mask header"; diff "$T/a.txt" "$T/b.txt"; fail=1; }
if [ -x "$BUILD/glimra-render" ]; then
    expect "mask loads with -m" 0 "" "$BUILD/glimra-render" "$T/phantom.zvf" -m "$T/pm.zvf" --style 6 \
        --size 40x30 -o "$T/fc.png"
fi

# refusals: one line, status 1 (2 for a wrong command line)
expect "above the type" 1 "zvftool: threshold 256 is outside the range of zvfUChar values (0 to 255)" \
    "$TOOL" mask "$T/dots.dat" 10 256 "$T/x.zvf"
expect "below the type" 1 "zvftool: threshold -1 is outside the range of zvfUChar values (0 to 255)" \
    "$TOOL" mask "$T/dots.dat" -1 "$T/x.zvf"
expect "signed range" 1 "zvftool: threshold -32769 is outside the range of zvfInt16 values (-32768 to 32767)" \
    "$TOOL" mask "$T/ramp.dat" -32769 0 "$T/x.zvf"
expect "LOW above HIGH" 1 "zvftool: LOW 20 is above HIGH 10" "$TOOL" mask "$T/dots.dat" 20 10 "$T/x.zvf"
expect "not a number" 1 "zvftool: threshold ten is not a number" "$TOOL" mask "$T/dots.dat" ten "$T/x.zvf"
expect "grow too far" 1 "zvftool: --grow needs a number of voxels from 0 to 4096" \
    "$TOOL" mask "$T/dots.dat" 1 "$T/x.zvf" --grow 4097
expect "grow negative" 1 "zvftool: --grow needs a number of voxels from 0 to 4096" \
    "$TOOL" mask "$T/dots.dat" 1 "$T/x.zvf" --grow -1
expect "too few words" 2 "zvftool: mask needs IN LOW [HIGH] OUT.zvf (zvftool --help)" "$TOOL" mask "$T/dots.dat" 1
"$TOOL" sample types-double "$T/double.zvf" >/dev/null
expect "double data" 1 "zvftool: $T/double.zvf: zvfDouble values cannot be thresholded" \
    "$TOOL" mask "$T/double.zvf" 0 "$T/x.zvf"
expect "missing input" 1 "zvfReadHeader error: file open error ($T/none.zvf)" "$TOOL" mask "$T/none.zvf" 0 "$T/x.zvf"
expect "unwritable output" 1 "zvftool: $T/no/dir/x.zvf: No such file or directory" \
    "$TOOL" mask "$T/dots.dat" 0 "$T/no/dir/x.zvf"
[ -e "$T/x.zvf" ] && { echo "FAIL: a refused mask left a file"; fail=1; }

[ $fail = 0 ] && echo "PASS" || { echo "FAIL"; exit 1; }
