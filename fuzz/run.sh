#!/usr/bin/env bash
# Runs every fuzz target of a TILLGATE_FUZZ build for SECONDS each, one after
# the other, starting from the seed corpus (read only: new inputs go to the
# build tree) with the target's dictionary when it has one. Fails when any
# target crashes, leaks or trips a sanitizer; the input that did it is left
# in BUILD/fuzz-artifacts/<target>/ and should become a regression input
# under fuzz/regressions/<target>/.
#
# usage: fuzz/run.sh BUILD-DIR SECONDS [TARGET...]   (default: every target)
# environment: FUZZ_RUNS: also stop a target after this many executions;
#              FUZZ_MAX_LEN: longest input tried (default 65536; long runs go
#              several times faster with a few KiB, as inputs grow to the limit)
set -uo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "$1" && pwd)
SECONDS_EACH=$2
shift 2
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for dir in "$ROOT"/fuzz/corpus/*/; do
        targets+=("$(basename "$dir")")
    done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/tests/lsan.supp}
failed=()
for target in "${targets[@]}"; do
    binary="$BUILD/bin/fuzz_$target"
    [ -x "$binary" ] || { echo "$binary is missing: build target fuzzers first"; exit 1; }
    corpus="$BUILD/fuzz-corpus/$target"
    artifacts="$BUILD/fuzz-artifacts/$target"
    mkdir -p "$corpus" "$artifacts"
    options=(-max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -max_len="${FUZZ_MAX_LEN:-65536}"
             -print_final_stats=1 -artifact_prefix="$artifacts/")
    [ -f "$ROOT/fuzz/dict/$target.dict" ] && options+=(-dict="$ROOT/fuzz/dict/$target.dict")
    [ -n "${FUZZ_RUNS:-}" ] && options+=(-runs="$FUZZ_RUNS")
    log="$BUILD/fuzz-$target.log"
    started=$SECONDS
    "$binary" "${options[@]}" "$corpus" "$ROOT/fuzz/corpus/$target" >"$log" 2>&1
    status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cover=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    echo "fuzz_$target: status $status, ${runs:-0} runs, $cover, $((SECONDS - started)) s"
    if [ $status -ne 0 ]; then
        failed+=("$target")
        grep -m1 -A20 'ERROR: \|runtime error\|deadly signal' "$log"
    fi
done
if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz targets that failed: ${failed[*]} (logs in $BUILD/fuzz-<target>.log)"
    exit 1
fi
echo "every fuzz target ran ${SECONDS_EACH} s without a finding"
