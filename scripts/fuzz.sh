#!/bin/sh
# Builds the fuzz targets of tests/fuzz with clang and libFuzzer (ASan and
# UBSan) in build-fuzz/ and runs each in turn for FUZZ_SECONDS seconds
# (default 60). New inputs collect in build-fuzz/corpus/NAME, anything that
# fails in build-fuzz/findings/NAME/, each run's output in build-fuzz/logs/.
# Usage: sh scripts/fuzz.sh [NAME...]   (NAME as in tests/fuzz/fuzz_NAME.cpp)
set -e
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${FUZZ_BUILD:-$ROOT/build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-60}
JOBS=${JOBS:-$(nproc)}
CC=${FUZZ_CC:-clang}
CXX=${FUZZ_CXX:-clang++}

missing() {
    echo "make fuzz: $1" >&2
    echo "make fuzz: needs clang with libFuzzer (Debian: clang libclang-rt-dev; sh scripts/setup.sh fuzz installs them)" >&2
    exit 2
}
command -v "$CXX" >/dev/null 2>&1 || missing "$CXX not found"
command -v "$CC" >/dev/null 2>&1 || missing "$CC not found"
probe=$(mktemp -d)
printf '#include <stddef.h>\n#include <stdint.h>\nextern "C" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }\n' > "$probe/probe.cpp"
if ! "$CXX" -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" >"$probe/log" 2>&1; then
    cat "$probe/log" >&2
    rm -rf "$probe"
    missing "$CXX cannot link -fsanitize=fuzzer (libFuzzer missing)"
fi
rm -rf "$probe"

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_C_COMPILER="$CC" -DCMAKE_CXX_COMPILER="$CXX" \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DGLIMRA_FUZZ=ON -DGLIMRA_CORE_ONLY=ON >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target fuzz_targets

if [ $# -gt 0 ]; then
    NAMES="$*"
else
    NAMES=$(cd "$ROOT/tests/fuzz" && ls fuzz_*.cpp | sed -e 's/^fuzz_//' -e 's/\.cpp$//' |
            grep -v -x -e support -e load -e curves)
fi

# Words the mutations splice in, and the largest input each target is given.
dicts() {
    case $1 in
    zvf_header|zvf_grid|load_zvf|multi_volume) echo zvf ;;
    load_description) echo description ;;
    load_mask) echo "zvf description" ;;
    load_foreign) echo foreign ;;
    palette|lookup_table) echo tables ;;
    settings) echo settings ;;
    zarr_metadata) echo zarr ;;
    esac
}
maxlen() {
    case $1 in
    lookup_table) echo 12288 ;; # 272 lines of 40 bytes and the selector
    settings) echo 2048 ;;
    *) echo 4096 ;;
    esac
}

mkdir -p "$BUILD/logs" "$BUILD/dict"
failed=""
summary=""
for name in $NAMES; do
    bin="$BUILD/tests/fuzz/fuzz_$name"
    [ -x "$bin" ] || { echo "make fuzz: no target $name" >&2; exit 2; }
    mkdir -p "$BUILD/corpus/$name" "$BUILD/findings/$name"
    dict="$BUILD/dict/$name.dict"
    : > "$dict"
    for d in $(dicts "$name"); do cat "$ROOT/tests/fuzz/dict/$d.dict" >> "$dict"; done
    # libFuzzer refuses an empty dictionary: none then.
    dictflag=""
    [ -s "$dict" ] && dictflag="-dict=$dict"
    log="$BUILD/logs/$name.log"
    echo "== fuzz_$name for ${SECONDS_EACH} s"
    # The foreign readers run in this process for the coverage, forked by
    # libFuzzer so that the libraries' own faults do not end the run; every
    # input that ended a run must then be refused through the child process,
    # as the program reads it.
    extra=""
    inprocess=""
    if [ "$name" = load_foreign ]; then
        extra="-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1"
        inprocess=1
    fi
    set +e
    GLIMRA_FUZZ_READ_IN_PROCESS=$inprocess LSAN_OPTIONS=suppressions=$ROOT/tests/lsan.supp \
    "$bin" "$BUILD/corpus/$name" "$ROOT/tests/fuzz/corpus/$name" -max_total_time="$SECONDS_EACH" \
        -max_len="$(maxlen "$name")" $dictflag -timeout=10 -rss_limit_mb=2048 $extra \
        -close_fd_mask=3 -print_final_stats=1 -artifact_prefix="$BUILD/findings/$name/" >"$log" 2>&1
    status=$?
    set -e
    if [ -n "$inprocess" ]; then
        status=0
        for f in "$BUILD/findings/$name"/*; do
            [ -f "$f" ] || continue
            if env -u GLIMRA_FUZZ_READ_IN_PROCESS LSAN_OPTIONS=suppressions=$ROOT/tests/lsan.supp \
                "$bin" "$f" >>"$log" 2>&1; then
                echo "   contained (refused through the child): $f"
            else
                status=1
            fi
        done
    fi
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    [ -z "$execs" ] && execs=$(grep -o '^#[0-9]*' "$log" | tail -n 1 | tr -d '#')
    last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 | sed -n 's/.*\(cov: [0-9]* ft: [0-9]*\).*/\1/p')
    line=$(printf '%-18s %10s execs  %s' "$name" "${execs:-?}" "$last")
    if [ $status -ne 0 ]; then
        line="$line  FINDING (exit $status): $(ls "$BUILD/findings/$name" | tr '\n' ' ')"
        failed="$failed $name"
        tail -n 30 "$log"
    fi
    echo "$line"
    summary="$summary$line
"
done
echo "== summary (${SECONDS_EACH} s each)"
printf '%s' "$summary"
if [ -n "$failed" ]; then
    echo "make fuzz: findings in$failed; inputs under $BUILD/findings/, logs under $BUILD/logs/" >&2
    exit 1
fi
