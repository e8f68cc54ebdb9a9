#!/bin/sh
# The same 512^3 data drawn from memory and streamed from its pyramid:
# the 16-bit phantom (EQUAL_SIZE, default 512) as one zvf volume and as the
# pyramid zvftool builds of it, drawn by glimra-render in maximum intensity
# (ray casting) and composite (3-D texture VAS), orthographic, where every
# brick needs level 0 (1024 x 1024) and where the view needs level 1 only
# (320 x 240, against level 1 as a volume of its own: the pyramid cut after
# it, converted), with the same palette. Prints the largest channel difference and the pixels more
# than 2 (maximum) or 8 (composite) apart, and the times. Figures only.
# Usage: sh pyramid_equal.sh BUILD_DIR [WORK_DIR]
set -u
BUILD=$1
W=${2:-${TMPDIR:-/tmp}/glimra-bench-equal}
N=${EQUAL_SIZE:-512}
HERE=$(dirname "$0")
mkdir -p "$W"
export LIBGL_ALWAYS_SOFTWARE=1
Z="$BUILD/zvftool"
R="$BUILD/glimra-render"
if [ ! -f "$W/whole.zvf" ]; then
    "$Z" sample phantom "$W/one.zarr" --size "$N" --levels 1 --chunk 64 >/dev/null || exit 1
    "$Z" convert "$W/one.zarr" "$W/whole.zvf" >/dev/null || exit 1
    rm -rf "$W/one.zarr"
fi
if [ ! -f "$W/p.zarr/.zattrs" ]; then
    /usr/bin/time -f "pyramid of the ${N}^3 volume: %e s, peak %M KB" "$Z" pyramid "$W/whole.zvf" "$W/p.zarr" --chunk 64 \
        >/dev/null || exit 1
fi
# Level 1 as a volume: the pyramid's metadata cut after level 1, the
# levels' folders linked, its coarsest level converted.
rm -rf "$W/cut.zarr" && mkdir -p "$W/cut.zarr"
ln -s "$W/p.zarr/0" "$W/cut.zarr/0" && ln -s "$W/p.zarr/1" "$W/cut.zarr/1"
cp "$W/p.zarr/.zgroup" "$W/cut.zarr/" 2>/dev/null
python3 - "$W/p.zarr/.zattrs" "$W/cut.zarr/.zattrs" <<'PY'
import json, sys
a = json.load(open(sys.argv[1]))
a["multiscales"][0]["datasets"] = a["multiscales"][0]["datasets"][:2]
json.dump(a, open(sys.argv[2], "w"))
PY
"$Z" convert "$W/cut.zarr" "$W/level1.zvf" >/dev/null || exit 1
uptime
compare() {
    what=$1; size=$2; a=$3; b=$4; tol=$5; shift 5
    for f in "$a" "$b"; do
        out="$W/$(basename "$f" | tr . _)_$what.png"
        /usr/bin/time -f "  $(basename "$f"): %e s, peak %M KB" "$R" "$f" --size "$size" --ortho --rotate 20 -30 \
            --quiet --memory 8G "$@" -o "$out" || return
    done
    set -- $(python3 "$HERE/png_diff.py" "$W/$(basename "$a" | tr . _)_$what.png" \
        "$W/$(basename "$b" | tr . _)_$what.png" "$tol")
    echo "$what at $size: largest difference $1/255, $2 of $3 pixels more than $tol apart"
}
# One palette for both (each load would fit its own to its histogram).
M="-p $HERE/../presets/Maximum_intensity_ramp.pal --style 5 --blending 1 --sampling 256"
C="-p $HERE/../presets/CT_soft_tissue.hu.pal --style 4 --blending 0 --sampling 256"
compare maximum 1024x1024 "$W/whole.zvf" "$W/p.zarr" 2 $M
compare composite 1024x1024 "$W/whole.zvf" "$W/p.zarr" 8 $C
compare level1-maximum 320x240 "$W/level1.zvf" "$W/p.zarr" 2 $M
compare level1-composite 320x240 "$W/level1.zvf" "$W/p.zarr" 8 $C
uptime
