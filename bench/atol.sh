#!/bin/bash
# Receipts through the ATOL back-end on the driver simulator: 8 concurrent
# clients posting receipts (each under a session id of its own) for 10 s,
# receipts per second, median and 99th percentile latency; then where the
# time of one receipt job goes, from the worker's timing log: loading the
# library and making the driver object, writing the connection settings,
# programming the payment table, and the work itself (the receipt and
# reading it back). Every phase includes the simulator's own time inside
# the driver calls, which keeps the register's state in a file; the
# simulator notes that time per load in timing.log, and what remains of a
# job is the service's own share.
#
# usage: bench/atol.sh [BUILD-DIR]   (default: build; tillgate and fptrsim
#                                     must be built there)
# environment: DURATION (default 10s), CLIENTS (8)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
DURATION=${DURATION:-10s}
CLIENTS=${CLIENTS:-8}
CREDENTIALS=$(printf '1:30' | base64)

. "$ROOT/bench/lib.sh"

[ -x "$BUILD/bin/tillgate" ] || { echo "$BUILD/bin/tillgate is missing: build it first"; exit 1; }
[ -f "$BUILD/lib/fptrsim/libfptr.so" ] || { echo "the driver simulator is missing: build fptrsim first"; exit 1; }
bench_need_tools wrk

WORK=$(mktemp -d)
SERVICE_PID=""
cleanup() {
    if [ -n "$SERVICE_PID" ]; then
        kill -TERM "$SERVICE_PID" 2> /dev/null || true
        wait "$SERVICE_PID" 2> /dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

SERVICE_PORT=$(bench_free_port)
ETC=$WORK/root/opt/zelvotillgate/etc
mkdir -p "$ETC" "$WORK/sim"
cat > "$ETC/tillgatelistener.conf" <<CONF
[LISTENER]
port=$SERVICE_PORT
minThreads=2
maxThreads=$((CLIENTS + 10))
readTimeout=60000
CONF
cat > "$ETC/tillgate.conf" <<CONF
[TILLGATE]
deviceType=3
discoveryAddress=127.0.0.1
[ATOL]
transport=TCP
host=127.0.0.1
port=5555
libPath=$BUILD/lib/fptrsim
CONF
TILLGATE_ROOT=$WORK/root FPTR_SIM_DIR=$WORK/sim QT_LOGGING_RULES="tillgate.atol.timing.debug=true" \
    "$BUILD/bin/tillgate" > "$WORK/service.log" 2>&1 &
SERVICE_PID=$!

URL=http://127.0.0.1:$SERVICE_PORT
bench_wait_ready "$URL" "$SERVICE_PID" "$WORK/service.log" || exit 1
status=$(curl -s -o "$WORK/cycleopen.out" -w '%{http_code}' -u 1:30 "$URL/cycleopen.json" || true)
[ "$status" = 200 ] || { echo "opening the shift failed ($status): $(cat "$WORK/cycleopen.out")"; exit 1; }

cpu_before=$(bench_cpu_ms "$SERVICE_PID")
summary=$(wrk -t$((CLIENTS < 2 ? CLIENTS : 2)) -c"$CLIENTS" -d"$DURATION" --timeout 30s \
    -s "$ROOT/bench/receipts.lua" "$URL/fiscalcheck.json" \
    -- "$ROOT/docs/examples/receipt.json" "atol-$$-$(date +%s)" "$CREDENTIALS" 2>&1 | tee "$WORK/receipts.out" | grep '^answers=' || true)
[ -n "$summary" ] || { echo "the receipt load failed"; cat "$WORK/receipts.out"; exit 1; }
fields=" ${summary%% first=*} "
value() { sed -n "s/.* $1=\([^ ]*\) .*/\1/p" <<< "$fields"; }
receipt_rate=$(awk -v n="$(value ok)" -v s="$(value seconds)" 'BEGIN { printf "%.1f", n / s }')
cpu_per_receipt=$(awk -v a="$cpu_before" -v b="$(bench_cpu_ms "$SERVICE_PID")" -v n="$(value answers)" \
    'BEGIN { printf "%.3f", (n > 0 ? (b - a) / n : 0) }')
printf 'POST /fiscalcheck.json  %s receipts/s (%d clients), median %s ms, 99%% %s ms, max %s ms, %d not 200\n' \
    "$receipt_rate" "$CLIENTS" "$(value p50ms)" "$(value p99ms)" "$(value maxms)" "$(value non200)"
printf '  the service'"'"'s own processor time: %s ms per receipt (user and system, from /proc)\n' "$cpu_per_receipt"
[ "$(value non200)" = 0 ] || echo "first answer other than 200: ${summary#*first=}"

# "JOB: library L ms, settings S ms, payment table P ms, work W ms", one per
# job and in the order of the simulator's "calls=N busy_us=T" lines: jobs run
# one after another on the worker, each with one load of the library.
jobs=$(grep -c ': library .* ms, work ' "$WORK/service.log" || true)
loads=$(grep -c . "$WORK/sim/timing.log" || true)
[ "$jobs" = "$loads" ] || echo "warning: $jobs jobs timed but $loads loads of the simulator; the shares below pair them in order"
paste -d' ' <(grep -o '[a-zA-Z ]*: library .*' "$WORK/service.log" | sed 's/^ *//' | tr -d ',') \
            <(sed 's/calls=//; s/busy_us=//' "$WORK/sim/timing.log") | awk '
    $1 == "receipt:" && NF == 16 {
        n++; l[n] = $3; s[n] = $6; p[n] = $10; w[n] = $13; t[n] = $3 + $6 + $10 + $13
        d[n] = $16 / 1000; o[n] = t[n] - d[n]; c[n] = $15
    }
    function median(a, n,   i, j, x, c) {
        for (i = 1; i <= n; i++) c[i] = a[i]
        for (i = 2; i <= n; i++) { x = c[i]; for (j = i - 1; j > 0 && c[j] > x; j--) c[j + 1] = c[j]; c[j + 1] = x }
        return n % 2 ? c[(n + 1) / 2] : (c[n / 2] + c[n / 2 + 1]) / 2
    }
    END {
        if (n == 0) { print "no receipt timings logged"; exit 1 }
        printf "one receipt job (median of %d): library %.3f ms, settings %.3f ms, payment table %.3f ms, work %.3f ms, whole job %.3f ms\n",
            n, median(l, n), median(s, n), median(p, n), median(w, n), median(t, n)
        printf "  inside the driver simulator %.3f ms (%d calls); the service'"'"'s own share %.3f ms\n",
            median(d, n), median(c, n), median(o, n)
    }'
