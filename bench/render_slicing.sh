#!/bin/sh
# Mean milliseconds per frame of every slicing style on a 256^3 volume at
# 640 x 480, with 64 and 256 slices and each classification path.
# Usage: sh bench/render_slicing.sh BUILD_DIR [FRAMES]
set -eu
BUILD=$1
FRAMES=${2:-5}
TOOL="$BUILD/glimra-render"
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
export LIBGL_ALWAYS_SOFTWARE=1

# A soft ball with a shell: every slice has work in it.
python3 - "$T/ball.raw" <<'PY'
import sys
n = 256
c = (n - 1) / 2
out = bytearray(n * n * n)
i = 0
for z in range(n):
    dz = (z - c) ** 2
    for y in range(n):
        dyz = dz + (y - c) ** 2
        for x in range(n):
            r = (dyz + (x - c) ** 2) ** 0.5
            out[i] = 0 if r > 120 else (220 if r > 110 else int(160 * (1 - r / 110)))
            i += 1
open(sys.argv[1], "wb").write(out)
PY
printf 'ObjectFileName: ball.raw\nResolution: 256 256 256\nSliceThickness: 1 1 1\nFormat: UCHAR\n' > "$T/ball.dat"

printf '%-18s %-16s %8s %8s\n' "style" "classification" "64" "256"
for s in 1:"2D Texture" 2:"2D Multi Texture" 3:"3D Texture OAS" 4:"3D Texture VAS"; do
    for c in 1:post 3:pre-integration; do
        line=$(printf '%-18s %-16s' "${s#*:}" "${c#*:}")
        for n in 64 256; do
            ms=$("$TOOL" "$T/ball.dat" --style "${s%%:*}" --classification "${c%%:*}" --sampling $n \
                 --size 640x480 --rotate 20 30 --frames "$FRAMES")
            line="$line $(printf '%8s' "$ms")"
        done
        echo "$line"
    done
done
