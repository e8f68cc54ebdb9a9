#!/bin/sh
# The zvftool command: info, convert (description file and raw), sample, errors.
# Usage: sh zvf_tool.sh BUILD_DIR SOURCE_DIR
set -u
BUILD=$1
TOOL="$BUILD/zvftool"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
fail=0
check() { # description, then a command that must succeed
    d=$1; shift
    if ! "$@" >/dev/null 2>&1; then echo "FAIL: $d"; fail=1; else echo "ok: $d"; fi
}
# an error: non-zero status and exactly one line on standard error
check_error() {
    d=$1; shift
    "$@" >"$T/out.txt" 2>"$T/err.txt"
    rc=$?
    n=$(wc -l < "$T/err.txt")
    if [ $rc -eq 0 ] || [ "$n" -ne 1 ]; then
        echo "FAIL: $d (status $rc, $n lines: $(cat "$T/err.txt"))"; fail=1
    else
        echo "ok: $d -> $(cat "$T/err.txt")"
    fi
}

# sample + info
check "sample phantom" "$TOOL" sample phantom "$T/phantom.zvf"
"$TOOL" info "$T/phantom.zvf" > "$T/info.txt"
printf 'Data file name:\tphantom.zvf\nResolution:\t160 160 128\nRatio:\t\t1.000000 1.000000 1.333333\nData type:\tzvfUInt16Type\nGrid type:\t\tzvfRegular\nUnits:\t\tzvfUmm\nEndian type:\tzvfLittleEndian\nNumber of bands:\t1\n' > "$T/expect.txt"
if head -n 8 "$T/info.txt" | cmp -s - "$T/expect.txt"; then echo "ok: info lines"; else
    echo "FAIL: info lines"; diff "$T/expect.txt" "$T/info.txt"; fail=1; fi
grep -q '^Comment:$' "$T/info.txt" || { echo "FAIL: info has no Comment: line"; fail=1; }
for n in phantom-mask multiband types-uchar types-char types-uint12 types-uint16 types-int16 \
    types-inthu types-uint32 types-int32 types-float types-double; do
    check "sample $n" "$TOOL" sample "$n" "$T/$n.zvf"
done
"$TOOL" info "$T/multiband.zvf" | grep -q "^Number of bands:	6$" || { echo "FAIL: multiband bands"; fail=1; }
"$TOOL" info "$T/types-double.zvf" | grep -q "^Data type:	zvfDoubleType$" || { echo "FAIL: double label"; fail=1; }
"$TOOL" --help | grep -q "types-inthu" || { echo "FAIL: usage lists the sample names"; fail=1; }

# convert a description file (big-endian 16-bit raw, two channels)
python3 -c "
import struct
with open('$T/two.raw', 'wb') as f:
    for i in range(4 * 3 * 2):
        f.write(struct.pack('>HH', i, 1000 + i))
"
printf 'ObjectFileName: two.raw\nTaggedFileName: ---\nResolution: 4 3 2\nSliceThickness: 1.0 1.0 2.0\nFormat: USHORT\nNbrTags: 0\nObjectType: TEXTURE_VOLUME_OBJECT\nObjectModel: RGBA\nGridType: EQUIDISTANT\nNbrChannels: 2\n' > "$T/two.dat"
check "convert .dat" "$TOOL" convert "$T/two.dat" "$T/two.zvf"
"$TOOL" info "$T/two.zvf" > "$T/two.txt"
grep -q "^Resolution:	4 3 2$" "$T/two.txt" && grep -q "^Number of bands:	2$" "$T/two.txt" &&
    grep -q "^Ratio:		1.000000 0.750000 1.000000$" "$T/two.txt" &&
    grep -q "^Data type:	zvfUInt16Type$" "$T/two.txt" || { echo "FAIL: converted .dat info"; cat "$T/two.txt"; fail=1; }
python3 - "$T/two.zvf" <<'PY' || fail=1
import sys, zlib, struct
data = open(sys.argv[1], 'rb').read()
pos = data.index(b'#!last\n255\n') + 11 + 4 * 3 * 3
vals = b''
while pos < len(data):
    L = int.from_bytes(data[pos:pos + 4], 'big')
    vals += zlib.decompress(data[pos + 4:pos + 4 + L])
    pos += 4 + L
v = struct.unpack('<%dH' % (len(vals) // 2), vals)
assert list(v) == list(range(24)) + [1000 + i for i in range(24)], v
print('ok: .dat channels became planar bands in machine order')
PY

# the shared data sets, when present
DATA="$2/../shared/data/volumes"
if [ -f "$DATA/nucleon.dat" ]; then
    check "convert nucleon.dat" "$TOOL" convert "$DATA/nucleon.dat" "$T/nucleon.zvf"
    "$TOOL" info "$T/nucleon.zvf" | grep -q "^Resolution:	41 41 41$" || { echo "FAIL: nucleon"; fail=1; }
    check "convert walnut.dat --little-endian" "$TOOL" convert "$DATA/walnut.dat" "$T/walnut.zvf" --little-endian
    check "convert big-endian raw" "$TOOL" convert "$DATA/anatomical_33x41x25_int16_be.raw" "$T/anat.zvf" \
        --size 33 41 25 --type SHORT --spacing 2 2 2 --big-endian
fi

# errors: one line, non-zero status
check_error "info of a missing file" "$TOOL" info "$T/none.zvf"
printf 'P5\n2 2\n#!zvf 5.3\n#!vdim 2 2 1\n#!last\n255\n....' > "$T/bad.zvf"
check_error "info of a damaged header" "$TOOL" info "$T/bad.zvf"
grep -q "endian missing" "$T/err.txt" || { echo "FAIL: message names the header error"; fail=1; }
check_error "unknown sample" "$TOOL" sample nosuch "$T/x.zvf"
check_error "sample into a missing directory" "$TOOL" sample types-uchar "$T/no/dir/x.zvf"
check_error "convert without a description file" "$TOOL" convert "$T/none.dat" "$T/x.zvf"
check_error "convert raw without --type" "$TOOL" convert "$T/two.raw" "$T/x.zvf" --size 4 3 2
check_error "convert raw too short" "$TOOL" convert "$T/two.raw" "$T/x.zvf" --size 40 3 2 --type USHORT
check_error "convert with an unknown type" "$TOOL" convert "$T/two.raw" "$T/x.zvf" --size 4 3 2 --type WORD
check_error "convert with a bad option" "$TOOL" convert "$T/two.raw" "$T/x.zvf" --frobnicate
check_error "no command" "$TOOL"
check_error "unknown command" "$TOOL" explode

[ $fail = 0 ] && echo "PASS" || { echo "FAIL"; exit 1; }
