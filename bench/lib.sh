# Shell helpers shared by the benchmark scripts; sourced, not run.

# Installs from Debian the packages named after the given commands when the
# command is missing (through sudo when not root).
bench_need_tools() {
    local tool missing=()
    for tool in "$@"; do
        command -v "$tool" > /dev/null || [ -x "/usr/sbin/$tool" ] || missing+=("$tool")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "installing ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -qq --no-install-recommends "${missing[@]}" > /dev/null
}

# The processor time PID has used so far, user and system, in milliseconds:
# read before and after a load, the service's own share of it, without the
# simulator's or the load generator's.
bench_cpu_ms() {
    awk -v tick="$(getconf CLK_TCK)" '{ printf "%.0f", ($14 + $15) * 1000 / tick }' "/proc/$1/stat"
}

# A loopback port free at the time of asking.
bench_free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# bench_start_simulator BUILD WORK [OPTION...]: the cashbox simulator on bus
# ports of its own choice, its output in WORK; sets SIM_PID, MSG_PORT and
# QUERY_PORT, or says why and fails.
bench_start_simulator() {
    local build=$1 work=$2
    shift 2
    "$build/bin/cashbox-sim" --msg-port 0 --query-port 0 "$@" > "$work/sim.out" 2> "$work/sim.log" &
    SIM_PID=$!
    for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
    read -r MSG_PORT QUERY_PORT < <(sed -n '1s/^msg=\([0-9]*\) query=\([0-9]*\).*/\1 \2/p' "$work/sim.out") || true
    [ -n "${QUERY_PORT:-}" ] || { echo "the simulator did not start"; cat "$work/sim.log"; return 1; }
}

# bench_wait_ready URL PID LOG: waits until the service PID at URL answers a
# status request of cashier 1 with 200, which needs the register; says why
# and fails when it ends or does not answer.
bench_wait_ready() {
    local url=$1 pid=$2 log=$3 status=""
    for _ in $(seq 100); do
        status=$(curl -s -o /dev/null -w '%{http_code}' -u 1:30 "$url/cashboxstatus.json" || true)
        [ "$status" = 200 ] && return 0
        kill -0 "$pid" 2> /dev/null || break
        sleep 0.1
    done
    echo "the service did not answer a status request ($status)"
    tail -n 20 "$log"
    return 1
}

bench_nginx() {
    command -v nginx || echo /usr/sbin/nginx
}

# bench_start_nginx DIR PORT BODY: nginx on 127.0.0.1:PORT answering every
# request with 200 and BODY as text/plain, its configuration, pid and logs in
# DIR. BODY is written in nginx's quoted-string notation ("\n" for a line
# break) and holds no single quote. bench_stop_nginx DIR stops it.
bench_start_nginx() {
    local dir=$1 port=$2 body=$3
    mkdir -p "$dir/logs"
    cat > "$dir/nginx.conf" <<CONF
worker_processes auto;
error_log $dir/logs/error.log;
pid $dir/nginx.pid;
events { worker_connections 1024; }
http {
    access_log off;
    keepalive_requests 1000000;
    keepalive_timeout 60s;
    client_body_temp_path $dir/body;
    proxy_temp_path $dir/proxy;
    fastcgi_temp_path $dir/fastcgi;
    uwsgi_temp_path $dir/uwsgi;
    scgi_temp_path $dir/scgi;
    server {
        listen 127.0.0.1:$port;
        location / {
            default_type text/plain;
            return 200 '$body';
        }
    }
}
CONF
    "$(bench_nginx)" -p "$dir" -c "$dir/nginx.conf"
}

bench_stop_nginx() {
    [ -f "$1/nginx.pid" ] && "$(bench_nginx)" -p "$1" -c "$1/nginx.conf" -s stop 2> /dev/null || true
}

# bench_rate URL CONNECTIONS [WRK-OPTION...]: requests per second of a wrk
# run of DURATION (default 10s) with up to 2 threads (wrk needs at least as
# many connections as threads).
bench_rate() {
    local url=$1 connections=$2
    shift 2
    local threads=$((connections < 2 ? connections : 2))
    wrk -t"$threads" -c"$connections" -d"${DURATION:-10s}" "$@" "$url" | awk '/Requests\/sec/ { print $2 }'
}

# bench_ratio A B: A / B with two decimals.
bench_ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'
}

# bench_at_least VALUE TARGET: true when VALUE >= TARGET.
bench_at_least() {
    awk -v v="$1" -v t="$2" 'BEGIN { exit !(v >= t) }'
}
