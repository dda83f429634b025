#!/usr/bin/env bash
# Starts the service in the foreground under ./run, a private installation
# root, so nothing is written to /opt or /var. Settings are written only when
# run/ holds none, so local edits survive the next start. Ctrl-C stops it.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
PORT=${TILLGATE_PORT:-8780}
ROOT=$PWD/run
ETC=$ROOT/opt/zelvotillgate/etc

mkdir -p "$ETC"
if [ ! -f "$ETC/tillgatelistener.conf" ]; then
    cat > "$ETC/tillgatelistener.conf" <<CONF
[LISTENER]
port=$PORT
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
deviceType=0
origins=*
CONF
fi

port=$(sed -n 's/^port=//p' "$ETC/tillgatelistener.conf")
echo "tillgate: root $ROOT, HTTP on port ${port:-?} (settings in $ETC, data and logs in $ROOT/var/lib/zelvotillgate)"
export TILLGATE_ROOT=$ROOT
exec "$BUILD/bin/tillgate" -pid "$ROOT/tillgate.pid"
