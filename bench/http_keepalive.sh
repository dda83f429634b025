#!/bin/bash
# Keep-alive throughput of the embedded HTTP server against nginx serving the
# same short body on loopback, with wrk (2 threads, 10 s), at 50 connections
# and at 1 connection; then the server's resident memory while it holds 100
# idle connections.
#
# usage: bench/http_keepalive.sh [BUILD-DIR]   (default: build; built if needed)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build}
DURATION=${DURATION:-10s}
BODY='{"status":"ok"}'

. "$ROOT/bench/lib.sh"
bench_need_tools wrk nginx

[ -f "$BUILD/CMakeCache.txt" ] || cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$BUILD" -j2 --target tillgate_httpbench > /dev/null

WORK=$(mktemp -d)
SERVER_PID=""
HOLDER_PID=""
cleanup() {
    [ -n "$HOLDER_PID" ] && kill "$HOLDER_PID" 2> /dev/null || true
    [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2> /dev/null || true
    bench_stop_nginx "$WORK"
    rm -rf "$WORK"
}
trap cleanup EXIT

# The service: idle connections are kept for a minute, enough threads for
# every connection of the runs below.
cat > "$WORK/listener.conf" <<CONF
[LISTENER]
port=0
minThreads=1
maxThreads=200
readTimeout=60000
CONF
"$BUILD/bin/tillgate_httpbench" "$WORK/listener.conf" > "$WORK/port" 2> "$WORK/server.log" &
SERVER_PID=$!
for _ in $(seq 50); do [ -s "$WORK/port" ] && break; sleep 0.1; done
SERVICE_PORT=$(head -n1 "$WORK/port")
[ -n "$SERVICE_PORT" ] || { echo "the service did not start"; cat "$WORK/server.log"; exit 1; }

NGINX_PORT=$(bench_free_port)
bench_start_nginx "$WORK" "$NGINX_PORT" "$BODY\\n"

# Both answer the same body.
python3 - "$SERVICE_PORT" "$NGINX_PORT" <<'PY'
import sys, urllib.request
a = urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/").read()
b = urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[2]}/").read()
sys.exit(0 if a == b else f"bodies differ: {a!r} {b!r}")
PY

declare -A ratio
for connections in 50 1; do
    service=$(bench_rate "http://127.0.0.1:$SERVICE_PORT/" "$connections")
    reference=$(bench_rate "http://127.0.0.1:$NGINX_PORT/" "$connections")
    ratio[$connections]=$(bench_ratio "$service" "$reference")
    printf '%3d connections: service %10.0f req/s, nginx %10.0f req/s, ratio %s\n' \
        "$connections" "$service" "$reference" "${ratio[$connections]}"
done

# 100 idle connections, each after one answered request.
python3 - "$SERVICE_PORT" > "$WORK/holder.log" <<'PY' &
import socket, sys, time
port = int(sys.argv[1])
held = []
for _ in range(100):
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(b"GET / HTTP/1.1\r\nHost: bench\r\n\r\n")
    s.recv(4096)
    held.append(s)
print("held", len(held), flush=True)
time.sleep(30)
PY
HOLDER_PID=$!
for _ in $(seq 100); do grep -q held "$WORK/holder.log" 2> /dev/null && break; sleep 0.1; done
RSS_KB=$(awk '/VmRSS/ { print $2 }' "/proc/$SERVER_PID/status")
THREADS=$(awk '/Threads/ { print $2 }' "/proc/$SERVER_PID/status")
awk -v kb="$RSS_KB" -v t="$THREADS" 'BEGIN { printf "resident memory with 100 idle connections: %.1f MiB (%d threads)\n", kb / 1024, t }'

ok=1
bench_at_least "${ratio[50]}" 0.40 || { echo "below target: 50 connections ratio ${ratio[50]} < 0.40"; ok=0; }
bench_at_least "${ratio[1]}" 0.70 || { echo "below target: 1 connection ratio ${ratio[1]} < 0.70"; ok=0; }
[ "$RSS_KB" -lt $((64 * 1024)) ] || { echo "above target: resident memory ${RSS_KB} KiB >= 64 MiB"; ok=0; }
[ $ok = 1 ] && echo "all targets met"
