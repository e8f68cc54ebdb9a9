#!/bin/sh
# The soak of the real window: the sanitizer build of the window tests
# (build-soak/) runs Soak.* under Xvfb with a window manager (openbox) for
# SOAK_SECONDS (default 300), a new seed every SOAK_SEED_SECONDS (default 60).
# Fails on a failed check, a crash, a sanitizer report or a leak; the seeds
# of a failed run are added to tests/soak/seeds.txt, which make test replays.
# Usage: sh scripts/soak.sh   (make soak)
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${SOAK_BUILD:-$ROOT/build-soak}
TOTAL=${SOAK_SECONDS:-300}
EACH=${SOAK_SEED_SECONDS:-60}
JOBS=${JOBS:-$(nproc)}

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DGLIMRA_SANITIZE=ON $SOAK_CMAKE_FLAGS >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target glimra_gui_tests

XVFB_PID=""
WM_PID=""
cleanup() {
    [ -n "$WM_PID" ] && kill "$WM_PID" 2>/dev/null || true
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT INT TERM
. "$ROOT/scripts/xvfb.sh"
start_xvfb 89 88 87 86 85
if command -v openbox >/dev/null 2>&1; then
    openbox >/dev/null 2>&1 &
    WM_PID=$!
    sleep 1
else
    echo "soak: no openbox (sh scripts/setup.sh installs it); running without a window manager" >&2
fi

export LIBGL_ALWAYS_SOFTWARE=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
# Leaks of the program's own code count; the toolkit's one-time allocations
# do not (tests/lsan-gui.supp, besides the suppressions of every test).
cat "$ROOT/tests/lsan.supp" "$ROOT/tests/lsan-gui.supp" > "$BUILD/lsan.supp"
export LSAN_OPTIONS=suppressions=$BUILD/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
SEEDS=""
runs=$(( (TOTAL + EACH - 1) / EACH ))
base=$(date +%s)
k=0
while [ $k -lt $runs ]; do SEEDS="$SEEDS $((base + k))"; k=$((k+1)); done
LOG=$BUILD/soak.log
echo "soak: seeds$SEEDS, $EACH s each; output in $LOG"
status=0
SOAK_SEEDS="$SEEDS" SOAK_SECONDS=$EACH "$BUILD/tests/glimra_gui_tests" --gtest_filter='Soak.*' >"$LOG" 2>&1 || status=$?
grep -a '^soak:' "$LOG" || true
if [ $status -ne 0 ] || grep -a -q -E 'ERROR: (AddressSanitizer|LeakSanitizer)|runtime error:' "$LOG"; then
    failed=$(grep -a -o 'soak seed [0-9]* failed' "$LOG" | awk '{print $3}')
    [ -z "$failed" ] && failed="$SEEDS"
    for s in $failed; do echo "$s" >> "$ROOT/tests/soak/seeds.txt"; done
    grep -a -E 'Failure|ERROR:|runtime error:|soak seed' "$LOG" | head -20 >&2
    echo "soak: FAILED (exit status $status); seeds kept in tests/soak/seeds.txt:$failed" >&2
    exit 1
fi
echo "soak: passed"
