#!/bin/bash
# The service under a long mixed load with hostile clients, on loopback with
# device type 1 against the cashbox simulator: 100 keep-alive clients, 20
# slowloris connections, 20 clients that never read their answers and a
# steady receipt load (bench/soak_load.py). Threads, open file descriptors
# and resident memory of the service are sampled every 10 s.
#
# Passes when nothing grows after the warm-up (the first third of the run):
# the largest thread and descriptor counts of the last third are no more
# than THREAD_SLACK and FD_SLACK above those of the middle third (clients
# that reconnect hold a thread and a socket for a moment, so the counts
# jitter; a leak climbs), resident memory grows by less than RSS_SLACK_KB,
# and every receipt answered 200 replays the same document.
#
# usage: bench/soak.sh [BUILD-DIR]   (default: build; tillgate and cashbox-sim
#                                     must be built there)
# environment: DURATION in seconds (600), THREAD_SLACK (4), FD_SLACK (10),
#              RSS_SLACK_KB (8192), and the
#              client counts of bench/soak_load.py
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
DURATION=${DURATION:-600}
RSS_SLACK_KB=${RSS_SLACK_KB:-8192}
FD_SLACK=${FD_SLACK:-10}
THREAD_SLACK=${THREAD_SLACK:-4}
INTERVAL=10

. "$ROOT/bench/lib.sh"

for binary in tillgate cashbox-sim; do
    [ -x "$BUILD/bin/$binary" ] || { echo "$BUILD/bin/$binary is missing: build it first"; exit 1; }
done

WORK=$(mktemp -d)
SIM_PID=""
SERVICE_PID=""
cleanup() {
    if [ -n "$SERVICE_PID" ]; then
        kill -TERM "$SERVICE_PID" 2> /dev/null || true
        wait "$SERVICE_PID" 2> /dev/null || true
    fi
    if [ -n "$SIM_PID" ]; then
        kill "$SIM_PID" 2> /dev/null || true
        wait "$SIM_PID" 2> /dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

bench_start_simulator "$BUILD" "$WORK" || exit 1

# Room for every client at once; the listener's own read time-out (10 s)
# is what ends the slow and the silent ones.
SERVICE_PORT=$(bench_free_port)
ETC=$WORK/root/opt/zelvotillgate/etc
mkdir -p "$ETC"
cat > "$ETC/tillgatelistener.conf" <<CONF
[LISTENER]
port=$SERVICE_PORT
host=127.0.0.1
minThreads=4
maxThreads=200
CONF
cat > "$ETC/tillgate.conf" <<CONF
[TILLGATE]
deviceType=1
discoveryAddress=127.0.0.1
busHost=127.0.0.1
busMsgPort=$MSG_PORT
busQueryPort=$QUERY_PORT
CONF
TILLGATE_ROOT=$WORK/root "$BUILD/bin/tillgate" > "$WORK/service.log" 2>&1 &
SERVICE_PID=$!

URL=http://127.0.0.1:$SERVICE_PORT
bench_wait_ready "$URL" "$SERVICE_PID" "$WORK/service.log" || exit 1
status=$(curl -s -o /dev/null -w '%{http_code}' -u 1:30 "$URL/cycleopen.json" || true)
[ "$status" = 200 ] || { echo "opening the shift failed ($status)"; exit 1; }

sample() {
    local threads rss fds
    threads=$(awk '/^Threads:/ { print $2 }' "/proc/$SERVICE_PID/status")
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$SERVICE_PID/status")
    fds=$(ls "/proc/$SERVICE_PID/fd" | wc -l)
    echo "$1 $threads $fds $rss"
}

python3 "$ROOT/bench/soak_load.py" "$SERVICE_PORT" "$DURATION" > "$WORK/load.out" 2> "$WORK/load.err" &
LOAD_PID=$!
echo "seconds threads fds rss_kb"
sample 0 | tee "$WORK/samples"
started=$SECONDS
while kill -0 "$LOAD_PID" 2> /dev/null && [ $((SECONDS - started)) -lt "$DURATION" ]; do
    sleep "$INTERVAL"
    kill -0 "$SERVICE_PID" 2> /dev/null || { echo "the service ended"; tail -n 20 "$WORK/service.log"; exit 1; }
    sample $((SECONDS - started)) | tee -a "$WORK/samples"
done
load_status=0
wait "$LOAD_PID" || load_status=$?
cat "$WORK/load.out"
head -n 5 "$WORK/load.err"

# Middle third against last third of the samples.
verdict=$(awk -v slack="$RSS_SLACK_KB" -v fdslack="$FD_SLACK" -v threadslack="$THREAD_SLACK" '
    { t[NR] = $2; f[NR] = $3; r[NR] = $4 }
    END {
        a = int(NR / 3) + 1; b = int(2 * NR / 3) + 1
        for (i = a; i < b; i++) { if (t[i] > mt) mt = t[i]; if (f[i] > mf) mf = f[i]; if (r[i] > mr) mr = r[i] }
        for (i = b; i <= NR; i++) { if (t[i] > lt) lt = t[i]; if (f[i] > lf) lf = f[i]; if (r[i] > lr) lr = r[i] }
        printf "after warm-up: threads %d -> %d, fds %d -> %d, rss %d -> %d kB", mt, lt, mf, lf, mr, lr
        exit !(NR >= 3 && lt <= mt + threadslack && lf <= mf + fdslack && lr - mr < slack)
    }' "$WORK/samples") && grown=0 || grown=1
echo "$verdict"
ok=1
[ "$grown" = 0 ] || { echo "a resource grew after the warm-up"; ok=0; }
[ "$load_status" = 0 ] || { echo "receipts did not all replay"; ok=0; }
[ $ok = 1 ] && echo "nothing grew, every receipt answered 200 replayed"
[ $ok = 1 ]
