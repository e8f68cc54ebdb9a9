#!/bin/sh
# Start-up under a window manager (openbox on a private Xvfb), as on every
# desktop: a settings file whose frame-rate text is off and whose alpha test
# is "less" comes back unchanged after a start without input ended by
# SIGTERM, whatever order the window manager maps and activates the window
# in. And "-p TABLE" without "-d" reads the table there: a sound one opens
# no box, a damaged one the "Warning" box that names it. Skipped (77)
# without Xvfb or openbox.
# Usage: sh window_manager_start.sh BUILD_DIR SOURCE_DIR
BUILD=$1
SOURCE=$2
command -v Xvfb >/dev/null 2>&1 || { echo "no Xvfb"; exit 77; }
command -v openbox >/dev/null 2>&1 || { echo "no openbox (sh scripts/setup.sh installs it)"; exit 77; }
[ -x "$BUILD/glimra" ] || { echo "no $BUILD/glimra"; exit 77; }
TMP=$(mktemp -d)
XVFB_PID=""
WM_PID=""
GLIMRA_PID=""
cleanup() {
    [ -n "$GLIMRA_PID" ] && kill -9 "$GLIMRA_PID" 2>/dev/null
    [ -n "$WM_PID" ] && kill "$WM_PID" 2>/dev/null
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null
    rm -rf "$TMP"
}
trap cleanup EXIT INT TERM
. "$SOURCE/scripts/xvfb.sh"
start_desktop 79 78 77 76 75

mkdir -p "$TMP/run"
ln -s "$SOURCE/Cg" "$TMP/Cg"
cd "$TMP/run" || exit 1
export LIBGL_ALWAYS_SOFTWARE=1
# glimra started without input and ended by SIGTERM after $1 seconds.
run_glimra() {
    "$BUILD/glimra" >/dev/null 2>&1 &
    GLIMRA_PID=$!
    sleep "$1"
    kill -TERM $GLIMRA_PID
    wait $GLIMRA_PID
    GLIMRA_PID=""
}
# A settings file as the program writes it, then the two values changed.
run_glimra 3
[ -f glimra.ini ] || { echo "FAIL: no glimra.ini written"; exit 1; }
# (The file has CR LF line ends; only the digits are replaced.)
sed -e 's/^Fps:\t[0-9]*/Fps:\t0/' -e 's/^Aplha mode:\t[0-9]*/Aplha mode:\t513/' glimra.ini > stored.ini
cp stored.ini glimra.ini
status=0
for run in 1 2; do
    run_glimra 5
    for key in Fps "Aplha mode"; do
        want=$(grep "^$key:" stored.ini | tr -d '\r')
        got=$(grep "^$key:" glimra.ini | tr -d '\r')
        if [ "$want" != "$got" ]; then
            echo "FAIL (start $run): '$want' came back as '$got'"
            status=1
        fi
    done
done
[ $status -eq 0 ] && echo "settings kept over two starts under openbox"

# Red everywhere, alpha rising to 0.2; then a table that is no table.
printf '2\n0.000000 1.000000\n1.000000 1.000000\n\n2\n0.000000 0.000000\n1.000000 0.000000\n\n2\n0.000000 0.000000\n1.000000 0.000000\n\n2\n0.000000 0.000000\n1.000000 0.200000\n\n' > red.pal
printf 'no table\n' > damaged.pal
for table in red.pal damaged.pal; do
    "$BUILD/glimra" -p "$TMP/run/$table" >/dev/null 2>&1 &
    GLIMRA_PID=$!
    sleep 4
    boxes=$(xwininfo -root -tree | grep -c '"Warning"')
    kill -9 $GLIMRA_PID
    wait $GLIMRA_PID 2>/dev/null
    GLIMRA_PID=""
    want=0
    [ $table = damaged.pal ] && want=1
    if [ "$boxes" != "$want" ]; then
        echo "FAIL: -p $table without -d showed $boxes warning boxes, not $want"
        status=1
    fi
done
[ $status -eq 0 ] && echo "-p without -d read under openbox"
exit $status
