#!/usr/bin/env bash
# Starts the service in the foreground under ./run, a private installation
# root, so nothing is written to /opt or /var, together with a simulated
# cashbox on the application bus. Settings are written only when run/ holds
# none, so local edits survive the next start. Ctrl-C stops both.
# With "atol" as the second argument the service drives the ATOL driver
# simulator instead, under run/atol (its register state in run/atol/sim).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
DEVICE=${2:-ostrak}
PORT=${TILLGATE_PORT:-8780}
ROOT=$PWD/run
ETC=$ROOT/opt/zelvotillgate/etc
# The demo till (examples/pos-demo) as the README serves it.
DEMO_ORIGINS='http://127.0.0.1:8000####http://localhost:8000'

if [ "$DEVICE" = atol ]; then
    ROOT=$PWD/run/atol
    ETC=$ROOT/opt/zelvotillgate/etc
    mkdir -p "$ETC" "$ROOT/sim"
    if [ ! -f "$ETC/tillgatelistener.conf" ]; then
        printf '[LISTENER]\nport=%s\nhost=127.0.0.1\nminThreads=2\nmaxThreads=20\nreadTimeout=10000\n' "$PORT" \
            > "$ETC/tillgatelistener.conf"
    fi
    if [ ! -f "$ETC/tillgate.conf" ]; then
        cat > "$ETC/tillgate.conf" <<CONF
[TILLGATE]
deviceType=3
origins=$DEMO_ORIGINS
discoveryAddress=127.0.0.1

[ATOL]
transport=TCP
host=127.0.0.1
port=5555
libPath=$PWD/$BUILD/lib/fptrsim
CONF
    fi
    port=$(sed -n 's/^port=//p' "$ETC/tillgatelistener.conf" | head -n1)
    cat <<INFO
tillgate: HTTP on http://127.0.0.1:${port:-?}/ (any cashier; password 30 is the administrator), ATOL driver simulator
  settings: $ETC   register state and printed tape: $ROOT/sim
  try: curl -u 1:30 http://127.0.0.1:${port:-?}/cashboxstatus.json
INFO
    export TILLGATE_ROOT=$ROOT FPTR_SIM_DIR=$ROOT/sim
    exec "$BUILD/bin/tillgate" -pid "$ROOT/tillgate.pid"
fi

mkdir -p "$ETC"
if [ ! -f "$ETC/tillgatelistener.conf" ]; then
    cat > "$ETC/tillgatelistener.conf" <<CONF
[LISTENER]
port=$PORT
host=127.0.0.1
minThreads=2
maxThreads=20
cleanupInterval=1000
readTimeout=10000
maxRequestSize=16000
maxMultiPartSize=1000000
CONF
fi
if [ ! -f "$ETC/tillgate.conf" ]; then
    cat > "$ETC/tillgate.conf" <<CONF
[TILLGATE]
deviceType=1
origins=$DEMO_ORIGINS
discoveryAddress=127.0.0.1
busHost=127.0.0.1
busMsgPort=$((PORT + 1))
busQueryPort=$((PORT + 2))
CONF
fi

setting() { sed -n "s/^$1=//p" "$2" | head -n1; }
port=$(setting port "$ETC/tillgatelistener.conf")
msg=$(setting busMsgPort "$ETC/tillgate.conf")
query=$(setting busQueryPort "$ETC/tillgate.conf")

# The simulated cashbox lives as long as this script, on loopback only. Its
# own cashier list starts with cashier 1, password 30.
"$BUILD/bin/cashbox-sim" --msg-port "${msg:-$((PORT + 1))}" --query-port "${query:-$((PORT + 2))}" \
    --tape "$ROOT/tape.txt" >/dev/null &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT

cat <<INFO
tillgate: HTTP on http://127.0.0.1:${port:-?}/ (cashier 1, password 30), cashbox simulator on bus ports $msg/$query
  settings: $ETC   data and logs: $ROOT/var/lib/zelvotillgate   printed tape: $ROOT/tape.txt
  try: curl -u 1:30 http://127.0.0.1:${port:-?}/cashboxstatus.json
INFO
export TILLGATE_ROOT=$ROOT
"$BUILD/bin/tillgate" -pid "$ROOT/tillgate.pid" &
svc=$!
# Ctrl-C or a TERM to this script stops the service cleanly, then the simulator.
trap 'kill -TERM $svc 2>/dev/null || true' INT TERM
status=0
while kill -0 $svc 2>/dev/null; do
    wait $svc && status=0 || status=$?
done
exit $status
