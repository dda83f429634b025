#!/usr/bin/env bash
# Builds the packages with CPack into a temporary directory, checks what they
# hold, verifies the unit against the unpacked tree and starts the unpacked
# service under that tree. Nothing is installed on this machine.
set -euo pipefail
BUILD=$1
VERSION=$2
ARCH=$(dpkg --print-architecture)
TMP=$(mktemp -d)
service_pid=
cleanup() {
    [ -n "$service_pid" ] && kill -KILL "$service_pid" 2>/dev/null || true
    rm -rf "$TMP"
}
trap cleanup EXIT
passes=0
failures=0
check() { # description, command...
    local what=$1; shift
    if "$@"; then
        echo "PASS: $what"; passes=$((passes + 1))
    else
        echo "FAIL: $what"; failures=$((failures + 1))
    fi
}

cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$TMP/out" >"$TMP/cpack.log" 2>&1 \
    || { cat "$TMP/cpack.log"; echo "FAIL: cpack"; exit 1; }
DEB=$TMP/out/tillgate_${VERSION}_${ARCH}.deb
SIM=$TMP/out/tillgate-sim_${VERSION}_${ARCH}.deb
check "service package named tillgate_${VERSION}_${ARCH}.deb" test -f "$DEB"
check "simulator package named tillgate-sim_${VERSION}_${ARCH}.deb" test -f "$SIM"
[ "$failures" = 0 ] || exit 1

files=$(dpkg-deb -c "$DEB" | awk '{print $6}')
for f in ./opt/zelvotillgate/bin/tillgate ./opt/zelvotillgate/etc/tillgate.conf \
         ./opt/zelvotillgate/etc/tillgatelistener.conf ./lib/systemd/system/tillgate.service \
         ./usr/share/doc/tillgate/README.md; do
    check "service package holds $f" grep -qx -- "$f" <<<"$files"
done
sim_files=$(dpkg-deb -c "$SIM" | awk '{print $6}')
for f in ./opt/zelvotillgate/sim/bin/cashbox-sim ./opt/zelvotillgate/sim/cashiers.json \
         ./opt/zelvotillgate/sim/lib/fptr/libfptr.so ./lib/systemd/system/tillgate-sim.service; do
    check "simulator package holds $f" grep -qx -- "$f" <<<"$sim_files"
done

dpkg-deb -e "$DEB" "$TMP/control"
check "both settings files are conffiles" diff <(sort "$TMP/control/conffiles") \
    <(printf '%s\n' /opt/zelvotillgate/etc/tillgate.conf /opt/zelvotillgate/etc/tillgatelistener.conf)
depends=$(dpkg-deb -f "$DEB" Depends)
check "library dependencies computed (libqt5core5a)" grep -q 'libqt5core5a' <<<"$depends"
check "the SQLite driver plug-in is a dependency" grep -q 'libqt5sql5-sqlite' <<<"$depends"
check "the metrics and systemd libraries are dependencies" \
    grep -q 'libprometheus-cpp-core1.0.*libsystemd0\|libsystemd0.*libprometheus-cpp-core1.0' <<<"$depends"
check "postinst creates the system user" grep -q 'adduser --system' "$TMP/control/postinst"
check "postinst enables and starts the unit" grep -q 'deb-systemd-invoke start tillgate.service' "$TMP/control/postinst"
check "prerm stops the unit" grep -q 'deb-systemd-invoke stop tillgate.service' "$TMP/control/prerm"
check "maintainer scripts are executable" test -x "$TMP/control/postinst" -a -x "$TMP/control/prerm" -a -x "$TMP/control/postrm"
check "maintainer scripts parse" sh -n "$TMP/control/postinst" "$TMP/control/prerm" "$TMP/control/postrm"

ROOT=$TMP/root
dpkg-deb -x "$DEB" "$ROOT"
dpkg-deb -x "$SIM" "$ROOT"
unit=$ROOT/lib/systemd/system/tillgate.service
for key in 'Restart=on-failure' 'User=tillgate' 'NoNewPrivileges=yes' 'ProtectSystem=strict' \
           'ProtectHome=yes' 'PrivateTmp=yes' 'RestrictAddressFamilies=AF_INET AF_INET6 AF_UNIX' \
           'ReadWritePaths=/var/lib/zelvotillgate /opt/zelvotillgate/etc' 'Type=notify' 'WatchdogSec=30'; do
    check "unit sets $key" grep -qx -- "$key" "$unit"
done
if command -v systemd-analyze >/dev/null; then
    # The targets the units are ordered against come from this machine.
    cp -n /lib/systemd/system/*.target /lib/systemd/system/*.slice "$ROOT/lib/systemd/system/" 2>/dev/null || true
    check "systemd-analyze verifies tillgate.service" \
        systemd-analyze verify --root="$ROOT" /lib/systemd/system/tillgate.service
    check "systemd-analyze verifies tillgate-sim.service" \
        systemd-analyze verify --root="$ROOT" /lib/systemd/system/tillgate-sim.service
else
    echo "SKIP: systemd-analyze is not installed"
fi

# The unpacked service under the unpacked tree, on a port the system picks.
sed -i 's/^port=.*/port=0/; s/^;host=/host=/' "$ROOT/opt/zelvotillgate/etc/tillgatelistener.conf"
TILLGATE_ROOT=$ROOT QT_LOGGING_RULES="tillgate.http.debug=true" \
    "$ROOT/opt/zelvotillgate/bin/tillgate" >"$TMP/service.log" 2>&1 &
service_pid=$!
port=
for _ in $(seq 1 200); do
    port=$(sed -n 's/.*Listening on port \([0-9]*\).*/\1/p' "$TMP/service.log" | head -n1)
    [ -n "$port" ] && break
    kill -0 "$service_pid" 2>/dev/null || break
    sleep 0.1
done
check "the unpacked service listens" test -n "$port"
if [ -n "$port" ]; then
    robots=$(python3 -c 'import sys, urllib.request; sys.stdout.write(urllib.request.urlopen(
        "http://127.0.0.1:%s/robots.txt" % sys.argv[1], timeout=10).read().decode())' "$port" || true)
    check "the unpacked service answers /robots.txt" test "$robots" = $'User-agent:*\nDisallow: /'
fi
kill -TERM "$service_pid" 2>/dev/null || true
status=0
wait "$service_pid" || status=$?
service_pid=
check "the unpacked service stops with status 0 on SIGTERM" test "$status" = 0
check "the service kept its data under the unpacked tree" test -d "$ROOT/var/lib/zelvotillgate/tillgate/cache"
[ "$failures" = 0 ] || { echo "--- service output"; cat "$TMP/service.log"; }

echo "package: $passes checks passed, $failures failed"
exit $(( failures > 0 ))
