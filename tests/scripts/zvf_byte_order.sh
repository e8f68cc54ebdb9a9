#!/bin/sh
# zvftool convert and mask read description files' raw data in the loader's
# byte order: "ByteOrder:" when given, else little-endian only for data that
# read clearly smoother that way; options override; bad values refused.
# Usage: sh zvf_byte_order.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$1
TOOL="$BUILD/zvftool"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
fail=0
GUESS="Raw data read as little-endian (smoother than big-endian)."

# The 16-bit values of a one-band zvf file: "min max first" on standard output.
values() {
    python3 - "$1" <<'PY'
import sys, zlib, struct
data = open(sys.argv[1], 'rb').read()
head = data[:data.index(b'#!last\n')].decode()
w, h = (int(v) for v in head.split('\n')[1].split())
pos = data.index(b'#!last\n255\n') + 11 + w * h
vals = b''
while pos < len(data):
    L = int.from_bytes(data[pos:pos + 4], 'big')
    vals += zlib.decompress(data[pos + 4:pos + 4 + L])
    pos += 4 + L
v = struct.unpack('<%dH' % (len(vals) // 2), vals)
print(min(v), max(v), v[0])
PY
}

# Noise with first value 0x0102 (big-endian bytes 01 02) and a smooth ramp
# stored little-endian.
python3 -c "
import random, struct
random.seed(4)
with open('$T/noise.raw', 'wb') as f:
    f.write(bytes([1, 2]))
    for i in range(16 * 4 * 2 - 1):
        f.write(struct.pack('<H', random.randrange(65536)))
with open('$T/ramp.raw', 'wb') as f:
    for i in range(16 * 4 * 2):
        f.write(struct.pack('<H', 1000 + 9 * (i % 16)))
"
for name in noise ramp; do
    printf 'ObjectFileName: %s.raw\nResolution: 16 4 2\nFormat: USHORT\n' "$name" > "$T/$name.dat"
done

"$TOOL" convert "$T/noise.dat" "$T/noise.zvf" > "$T/out.txt"
[ "$(values "$T/noise.zvf" | cut -d' ' -f3)" = 258 ] && ! grep -q . "$T/out.txt" &&
    echo "ok: noise stays big-endian" || { echo "FAIL: noise"; fail=1; }
"$TOOL" convert "$T/ramp.dat" "$T/ramp.zvf" > "$T/out.txt"
[ "$(values "$T/ramp.zvf")" = "1000 1135 1000" ] && [ "$(cat "$T/out.txt")" = "$GUESS" ] &&
    echo "ok: little-endian ramp found and said" || { echo "FAIL: ramp $(values "$T/ramp.zvf")"; fail=1; }
# The file's word, in any case, and the options win.
printf 'ObjectFileName: noise.raw\nResolution: 16 4 2\nFormat: USHORT\nendianness: LITTLE\n' > "$T/stated.dat"
"$TOOL" convert "$T/stated.dat" "$T/s.zvf" > "$T/out.txt"
[ "$(values "$T/s.zvf" | cut -d' ' -f3)" = 513 ] && ! grep -q . "$T/out.txt" &&
    echo "ok: stated little-endian" || { echo "FAIL: stated"; fail=1; }
"$TOOL" convert "$T/ramp.dat" "$T/r.zvf" --big-endian > "$T/out.txt"
[ "$(values "$T/r.zvf" | cut -d' ' -f3)" = $((0xE803)) ] && ! grep -q . "$T/out.txt" &&
    echo "ok: --big-endian wins" || { echo "FAIL: --big-endian"; fail=1; }
"$TOOL" convert "$T/stated.dat" "$T/s.zvf" --big-endian >/dev/null
[ "$(values "$T/s.zvf" | cut -d' ' -f3)" = 258 ] && echo "ok: option over the file" ||
    { echo "FAIL: option over the file"; fail=1; }
# The mask command reads the same values.
"$TOOL" mask "$T/ramp.dat" 1090 1135 "$T/m.zvf" > "$T/out.txt"
[ "$(sed -n 2p "$T/out.txt")" = "48 of 128 voxels in the mask" ] && echo "ok: mask of little-endian data" ||
    { echo "FAIL: mask: $(cat "$T/out.txt")"; fail=1; }

printf 'ObjectFileName: noise.raw\nResolution: 16 4 2\nFormat: USHORT\nByteOrder: native\n' > "$T/bad.dat"
"$TOOL" convert "$T/bad.dat" "$T/x.zvf" 2> "$T/err.txt"
rc=$?
[ $rc = 1 ] && [ "$(cat "$T/err.txt")" = "zvftool: $T/bad.dat: ByteOrder: must be little or big" ] &&
    [ ! -e "$T/x.zvf" ] && echo "ok: bad ByteOrder refused" || { echo "FAIL: bad ByteOrder ($rc) $(cat "$T/err.txt")"; fail=1; }

# The public walnut: little-endian, largest value 22526; big-endian it is noise.
DATA="$2/../shared/data/volumes"
if [ -f "$DATA/walnut.dat" ]; then
    "$TOOL" convert "$DATA/walnut.dat" "$T/walnut.zvf" > "$T/out.txt"
    [ "$(values "$T/walnut.zvf")" = "0 22526 192" ] && [ "$(cat "$T/out.txt")" = "$GUESS" ] &&
        echo "ok: walnut" || { echo "FAIL: walnut $(values "$T/walnut.zvf")"; fail=1; }
    "$TOOL" convert "$DATA/walnut.dat" "$T/walnut-be.zvf" --big-endian >/dev/null
    [ "$(values "$T/walnut-be.zvf" | cut -d' ' -f2)" = 65364 ] && echo "ok: walnut read big-endian" ||
        { echo "FAIL: walnut big-endian"; fail=1; }
fi

[ $fail = 0 ] && echo "PASS" || { echo "FAIL"; exit 1; }
