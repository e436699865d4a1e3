#!/usr/bin/env bash
# Usage: scripts/fuzz.sh [SECONDS]
#
# Builds the bills' fuzz targets (tests/fuzz) with clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz/ and runs
# each for SECONDS (default 60), starting from its seed corpus in
# tests/fuzz/corpus/<target>/. What the fuzzer adds to the corpus stays in
# build-fuzz/corpus/ for the next run. A crash, a sanitizer report, an input
# that takes over 10 s or a broken promise of the readers ends the run with
# status 1; the input is kept in build-fuzz/findings/. FUZZ_BUILD_DIR names
# another folder; FUZZ_TARGETS runs only some ("csv xlsx").
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=${FUZZ_BUILD_DIR:-build-fuzz}
targets=${FUZZ_TARGETS:-csv alipay_current alipay_old wechat xlsx}
mkdir -p "$dir/findings"

if ! cmake -S tests/fuzz -B "$dir" -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$dir/configure.log" 2>&1; then
    cat "$dir/configure.log" >&2
    exit 1
fi
if ! cmake --build "$dir" -j"$(nproc)" >"$dir/build.log" 2>&1; then
    cat "$dir/build.log" >&2
    exit 1
fi

status=0
for t in $targets; do
    mkdir -p "$dir/corpus/$t"
    log="$dir/fuzz_$t.log"
    if "$dir/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 \
        -print_final_stats=1 -artifact_prefix="$dir/findings/$t-" \
        "$dir/corpus/$t" "tests/fuzz/corpus/$t" >"$log" 2>&1; then
        runs=$(awk '/stat::number_of_executed_units/ { print $2 }' "$log")
        echo "fuzz_$t: ${runs:-?} runs in $seconds s, nothing found"
    else
        echo "fuzz_$t: FOUND A FAULT (the input is in $dir/findings/); the report:" >&2
        grep -v '^#' "$log" | tail -n 60 >&2
        status=1
    fi
done
exit $status
