#!/bin/bash
# What the metrics cost a receipt: bench/api.sh alternately on a build
# without them (BASE-BUILD, e.g. a build of the commit before) and on this
# one, ROUNDS times each, so that the load of a shared machine falls on both
# alike. Prints every run's receipts per second and scrape figures, then the
# medians of both builds.
#
# usage: bench/metrics.sh BASE-BUILD [BUILD] [ROUNDS]   (default build, 4)
# environment: as bench/api.sh (DURATION, CLIENTS, CONNECTIONS)
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BASE=$(cd "$1" && pwd)
BUILD=$(cd "${2:-$ROOT/build}" && pwd)
ROUNDS=${3:-4}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

declare -A rates=([base]="" [metrics]="")
for round in $(seq 1 "$ROUNDS"); do
    for kind in base metrics; do
        dir=$BASE
        [ "$kind" = metrics ] && dir=$BUILD
        out=$("$ROOT/bench/api.sh" "$dir" 2>&1 || true)
        rate=$(sed -n 's/^POST \/fiscalcheck.json *\([0-9.]*\) receipts\/s.*/\1/p' <<< "$out")
        echo "round $round $kind: ${rate:-failed} receipts/s"
        grep '^GET /metrics' <<< "$out" || true
        [ -n "$rate" ] && rates[$kind]+="$rate"$'\n'
    done
done
base=$(printf '%s' "${rates[base]}" | median)
with=$(printf '%s' "${rates[metrics]}" | median)
printf 'median receipts/s: without metrics %s, with metrics %s (ratio %s)\n' \
    "$base" "$with" "$(awk -v a="$with" -v b="$base" 'BEGIN { printf "%.3f", (b > 0 ? a / b : 0) }')"
