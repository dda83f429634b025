#!/bin/bash
# The HTTP API end to end on loopback, the service with device type 1 against
# the cashbox simulator (answering at once):
#  - wrk (2 threads, 10 s) on GET /robots.txt and GET /cashboxstatus.json,
#    beside nginx answering the same robots text in the same run;
#  - a receipt load: 8 concurrent clients posting receipts, each with a
#    session id of its own, for 10 s: receipts per second, median and 99th
#    percentile latency, answers other than 200;
#  - GET /metrics on one connection after that load, where the service has it.
# The service and the simulator run under a temporary installation root,
# so the check cache is a fresh file on the disk holding the temporary
# directory.
#
# usage: bench/api.sh [BUILD-DIR]   (default: build; tillgate and cashbox-sim
#                                    must be built there)
# environment: DURATION (default 10s), CONNECTIONS for the GET runs (50),
#              CLIENTS for the receipt load (8)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
DURATION=${DURATION:-10s}
CONNECTIONS=${CONNECTIONS:-50}
CLIENTS=${CLIENTS:-8}
ROBOTS='User-agent:*\nDisallow: /'
CREDENTIALS=$(printf '1:30' | base64)

. "$ROOT/bench/lib.sh"

for binary in tillgate cashbox-sim; do
    [ -x "$BUILD/bin/$binary" ] || { echo "$BUILD/bin/$binary is missing: build it first"; exit 1; }
done
bench_need_tools wrk nginx

WORK=$(mktemp -d)
SIM_PID=""
SERVICE_PID=""
cleanup() {
    # The service first, so it leaves the bus before the simulator goes.
    if [ -n "$SERVICE_PID" ]; then
        kill -TERM "$SERVICE_PID" 2> /dev/null || true
        wait "$SERVICE_PID" 2> /dev/null || true
    fi
    if [ -n "$SIM_PID" ]; then
        kill "$SIM_PID" 2> /dev/null || true
        wait "$SIM_PID" 2> /dev/null || true
    fi
    bench_stop_nginx "$WORK/nginx"
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The simulator picks its own bus ports and prints them first.
cat > "$WORK/cashiers.json" <<JSON
{ "cashiers": [ { "name": "1", "password": 30, "inn": "" } ] }
JSON
bench_start_simulator "$BUILD" "$WORK" --cashiers "$WORK/cashiers.json" || exit 1

# The service: enough connection threads for every wrk connection.
SERVICE_PORT=$(bench_free_port)
ETC=$WORK/root/opt/zelvotillgate/etc
mkdir -p "$ETC"
cat > "$ETC/tillgatelistener.conf" <<CONF
[LISTENER]
port=$SERVICE_PORT
minThreads=2
maxThreads=$((CONNECTIONS + 20))
cleanupInterval=1000
readTimeout=60000
maxRequestSize=16000
maxMultiPartSize=1000000
CONF
cat > "$ETC/tillgate.conf" <<CONF
[TILLGATE]
deviceType=1
origins=*
busHost=127.0.0.1
busMsgPort=$MSG_PORT
busQueryPort=$QUERY_PORT
CONF
TILLGATE_ROOT=$WORK/root "$BUILD/bin/tillgate" -pid "$WORK/tillgate.pid" > "$WORK/service.log" 2>&1 &
SERVICE_PID=$!

# Ready once a status request goes through to the simulated register.
URL=http://127.0.0.1:$SERVICE_PORT
bench_wait_ready "$URL" "$SERVICE_PID" "$WORK/service.log" || exit 1

NGINX_PORT=$(bench_free_port)
bench_start_nginx "$WORK/nginx" "$NGINX_PORT" "$ROBOTS"
NGINX_URL=http://127.0.0.1:$NGINX_PORT

# Both answer the same robots text.
[ "$(curl -s "$URL/robots.txt")" = "$(curl -s "$NGINX_URL/robots.txt")" ] \
    || { echo "the robots texts differ"; exit 1; }

robots=$(bench_rate "$URL/robots.txt" "$CONNECTIONS")
reference=$(bench_rate "$NGINX_URL/robots.txt" "$CONNECTIONS")
cashbox=$(bench_rate "$URL/cashboxstatus.json" "$CONNECTIONS" -H "Authorization: Basic $CREDENTIALS")
robots_ratio=$(bench_ratio "$robots" "$reference")
printf 'GET /robots.txt          service %9.0f req/s, nginx %9.0f req/s, ratio %s (%d connections)\n' \
    "$robots" "$reference" "$robots_ratio" "$CONNECTIONS"
printf 'GET /cashboxstatus.json  service %9.0f req/s, ratio to nginx robots %s\n' \
    "$cashbox" "$(bench_ratio "$cashbox" "$reference")"

# Receipts need an open shift.
status=$(curl -s -o "$WORK/cycleopen.out" -w '%{http_code}' -u 1:30 "$URL/cycleopen.json" || true)
[ "$status" = 200 ] || { echo "opening the shift failed ($status): $(cat "$WORK/cycleopen.out")"; exit 1; }

cpu_before=$(bench_cpu_ms "$SERVICE_PID")
summary=$(wrk -t$((CLIENTS < 2 ? CLIENTS : 2)) -c"$CLIENTS" -d"$DURATION" --timeout 10s \
    -s "$ROOT/bench/receipts.lua" "$URL/fiscalcheck.json" \
    -- "$ROOT/docs/examples/receipt.json" "bench-$$-$(date +%s)" "$CREDENTIALS" 2>&1 | tee "$WORK/receipts.out" | grep '^answers=' || true)
[ -n "$summary" ] || { echo "the receipt load failed"; cat "$WORK/receipts.out"; exit 1; }
fields=" ${summary%% first=*} "
value() { sed -n "s/.* $1=\([^ ]*\) .*/\1/p" <<< "$fields"; }
receipt_rate=$(awk -v n="$(value ok)" -v s="$(value seconds)" 'BEGIN { printf "%.1f", n / s }')
cpu_per_receipt=$(awk -v a="$cpu_before" -v b="$(bench_cpu_ms "$SERVICE_PID")" -v n="$(value answers)" \
    'BEGIN { printf "%.3f", (n > 0 ? (b - a) / n : 0) }')
printf 'POST /fiscalcheck.json   %s receipts/s (%d clients), median %s ms, 99%% %s ms, max %s ms, %d not 200, %d socket errors\n' \
    "$receipt_rate" "$CLIENTS" "$(value p50ms)" "$(value p99ms)" "$(value maxms)" "$(value non200)" \
    "$(value socketerrors)"
printf '  the service'"'"'s own processor time: %s ms per receipt (user and system, from /proc)\n' "$cpu_per_receipt"
[ "$(value non200)" = 0 ] || echo "first answer other than 200: ${summary#*first=}"

# One scraper, as monitoring runs it, after the receipt load has filled the
# series: scrapes per second and the text's size.
if [ "$(curl -s -o "$WORK/metrics.txt" -w '%{http_code}' "$URL/metrics" || true)" = 200 ]; then
    scrapes=$(bench_rate "$URL/metrics" 1)
    printf 'GET /metrics             %9.0f scrapes/s on one connection (%.2f ms each), %d bytes\n' \
        "$scrapes" "$(awk -v r="$scrapes" 'BEGIN { print (r > 0 ? 1000 / r : 0) }')" "$(wc -c < "$WORK/metrics.txt")"
fi

ok=1
bench_at_least "$robots_ratio" 0.30 || { echo "below target: robots ratio $robots_ratio < 0.30"; ok=0; }
bench_at_least "$receipt_rate" 200 || { echo "below target: $receipt_rate receipts/s < 200"; ok=0; }
[ "$(value non200)" = 0 ] && [ "$(value socketerrors)" = 0 ] || { echo "some receipts failed"; ok=0; }
[ $ok = 1 ] && echo "all targets met"
[ $ok = 1 ]
