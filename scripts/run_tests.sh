#!/bin/sh
# Runs every test: the normal build under ctest, then the unit, GL and
# fuzz-corpus tests under AddressSanitizer and UBSan. Starts Xvfb when there
# is no display.
set -e
BUILD=${1:-build}
ASAN_BUILD=${2:-build-asan}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
XVFB_PID=""
cleanup() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true; }
trap cleanup EXIT INT TERM

if [ -z "$DISPLAY" ]; then
    for n in 99 98 97 96 95; do
        if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then
            Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
            XVFB_PID=$!
            export DISPLAY=:$n
            break
        fi
    done
    i=0
    while [ $i -lt 50 ] && [ ! -e /tmp/.X11-unix/X${DISPLAY#:} ]; do sleep 0.1; i=$((i+1)); done
fi
# Mesa's software rasteriser, never a hardware driver that may be absent.
export LIBGL_ALWAYS_SOFTWARE=1

cd "$ROOT/$BUILD"
ctest --output-on-failure -j 2 --timeout 600

echo "== unit, GL and fuzz-corpus tests under AddressSanitizer and UBSan"
cd "$ROOT/$ASAN_BUILD"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$ROOT/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
./tests/glimra_unit_tests --gtest_brief=1
./tests/glimra_gl_tests --gtest_brief=1
ctest -L fuzz --output-on-failure --timeout 120
