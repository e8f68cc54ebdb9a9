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

. "$ROOT/scripts/xvfb.sh"
if [ -z "$DISPLAY" ]; then
    start_xvfb 99 98 97 96 95
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
