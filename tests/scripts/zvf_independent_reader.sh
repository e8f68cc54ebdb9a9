#!/bin/sh
# Readers outside the project accept zvf files: netpbm opens each file as a PNM
# image of nx x ny (its raster is the icon), and Python's zlib inflates every
# slice record to exactly one slice.
# Usage: sh zvf_independent_reader.sh BUILD_DIR SOURCE_DIR
set -eu
BUILD=$1
TOOL="$BUILD/zvftool"
for t in pnmfile pamfile pnminvert python3; do
    command -v "$t" >/dev/null 2>&1 || { echo "FAIL: $t is missing (run sh scripts/setup.sh)"; exit 1; }
done
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT

# samples of every kind, plus a big-endian conversion of a raw file
for name in phantom phantom-mask multiband types-uchar types-char types-uint12 types-uint16 \
    types-int16 types-inthu types-uint32 types-int32 types-float types-double; do
    "$TOOL" sample "$name" "$T/$name.zvf"
done
python3 -c "
import struct
with open('$T/be.raw', 'wb') as f:
    for i in range(9 * 7 * 5 * 2):
        f.write(struct.pack('>h', i * 37 - 1500))
"
"$TOOL" convert "$T/be.raw" "$T/be.zvf" --size 9 7 5 --type SHORT --bands 2 --spacing 1 1 2.5 --big-endian

fail=0
for f in "$T"/*.zvf; do
    # the header fields the PNM reader must agree with
    nx=$(sed -n 's/^#!vdim[ \t]*\([0-9]*\) .*/\1/p' "$f" | head -n 1)
    ny=$(sed -n 's/^#!vdim[ \t]*[0-9]* \([0-9]*\) .*/\1/p' "$f" | head -n 1)
    nb=$(sed -n 's/^#!nbands[ \t]*\([0-9]*\).*/\1/p' "$f" | head -n 1)
    if [ "$nb" = 1 ]; then kind="PGM raw"; else kind="PPM raw"; fi
    for reader in pnmfile pamfile; do
        out=$($reader "$f")
        case "$out" in
        *"$kind, $nx by $ny "*"maxval 255"*) ;;
        *) echo "FAIL: $reader $(basename "$f"): '$out' (expected $kind, $nx by $ny)"; fail=1 ;;
        esac
    done
    # netpbm reads the whole raster; it must equal the icon bytes of the file.
    # (pnminvert reads one image and ignores what follows it - the slice
    # records; the converters that read every image in a stream would take
    # the records for a second image.)
    if ! pnminvert "$f" 2>"$T/err.txt" | pnminvert -plain > "$T/plain.pnm"; then
        echo "FAIL: netpbm cannot read the raster of $(basename "$f"): $(cat "$T/err.txt")"; fail=1
    fi
    python3 - "$f" "$T/plain.pnm" <<'PY' || fail=1
import sys, zlib, re
path, plain = sys.argv[1], sys.argv[2]
data = open(path, 'rb').read()
sizes = {'zvfUChar': 1, 'zvfChar': 1, 'zvfUInt12': 2, 'zvfUInt16': 2, 'zvfInt16': 2, 'zvfIntHU': 2,
         'zvfUInt32': 4, 'zvfInt32': 4, 'zvfFloat': 4, 'zvfDouble': 8}
pos = 0
lines = []
while True:
    end = data.index(b'\n', pos)
    line = data[pos:end].decode('ascii')
    pos = end + 1
    lines.append(line)
    if line.startswith('#!last'):
        break
assert data[pos:pos + 4] == b'255\n', 'no maxval line after #!last'
pos += 4
magic = lines[0]
w, h = map(int, lines[1].split())
fields = {}
for l in lines[2:]:
    m = re.match(r'#!(\w+)\s+(.*)', l)
    if m and m.group(1) not in fields:
        fields[m.group(1)] = m.group(2)
nx, ny, nz = map(int, fields['vdim'].split())
nbands = int(fields['nbands'])
vsize = sizes[fields['dtype'].strip()]
assert (w, h) == (nx, ny), 'icon size %dx%d differs from %dx%d' % (w, h, nx, ny)
channels = 1 if magic == 'P5' else 3
assert magic == ('P5' if nbands == 1 else 'P6')
icon = data[pos:pos + w * h * channels]
pos += w * h * channels
# the raster netpbm read
tokens = open(plain).read().split()
assert tokens[0] == ('P2' if channels == 1 else 'P3')
pixels = list(map(int, tokens[4:]))
assert pixels == list(icon), 'netpbm raster differs from the icon bytes'
# the slice records
slice_bytes = nx * ny * vsize
count = 0
while pos < len(data):
    L = int.from_bytes(data[pos:pos + 4], 'big')
    pos += 4
    raw = zlib.decompress(data[pos:pos + L])
    assert len(raw) == slice_bytes, 'record %d inflates to %d bytes, not %d' % (count, len(raw), slice_bytes)
    pos += L
    count += 1
assert pos == len(data), 'trailing bytes'
assert count == nz * nbands, '%d records, expected %d' % (count, nz * nbands)
print('ok %s: %s %dx%d, %d records of %d bytes' % (path.split('/')[-1], magic, w, h, count, slice_bytes))
PY
done

# the big-endian raw file became machine-order bands: band 1 of voxel 0 is raw value 1
python3 - "$T/be.zvf" <<'PY' || fail=1
import sys, zlib, struct
data = open(sys.argv[1], 'rb').read()
assert b'#!endian \tzvfLittleEndian\n' in data
pos = data.index(b'#!last\n255\n') + 11 + 9 * 7 * 3
records = []
while pos < len(data):
    L = int.from_bytes(data[pos:pos + 4], 'big')
    records.append(zlib.decompress(data[pos + 4:pos + 4 + L]))
    pos += 4 + L
assert len(records) == 10
v0 = struct.unpack('<h', records[0][:2])[0]
v1 = struct.unpack('<h', records[5][:2])[0]
assert (v0, v1) == (-1500, 37 - 1500), (v0, v1)
print('ok be.zvf: big-endian raw converted to planar little-endian bands')
PY

[ $fail = 0 ] && echo "PASS" || { echo "FAIL"; exit 1; }
