# The packages' life in the clean system, in a network namespace of its own:
# every download was made before, so apt needs no network here.
# Sourced by run.sh; needs ROOT, WORK, VERSION, NEXT_VERSION, ARCH.

PORT=8780
CASHIER=1:30
SESSION=install-check-0001
ETC=/opt/zelvotillgate/etc
DATA=/var/lib/zelvotillgate
SIM_TAPE=/var/lib/private/tillgate-sim/tape.txt
RECEIPT=$SRC/docs/examples/receipt.json

http() { python3 "$HERE/request.py" "$PORT" "$@"; }
status_of() { dpkg-query --admindir="$ROOT/var/lib/dpkg" -W -f='${db:Status-Abbrev}${Version}' "$1" 2>/dev/null || true; }
tape_sum() { if [ -f "$ROOT$SIM_TAPE" ]; then sha256sum <"$ROOT$SIM_TAPE"; else echo none; fi; }

apt_install() { # version
    local log=$WORK/run/apt-install-$1.log
    in_root apt-get install -y "/tmp/pkgs/tillgate_$1_$ARCH.deb" "/tmp/pkgs/tillgate-sim_$1_$ARCH.deb" \
        >"$log" 2>&1 || { cat "$log"; fail "apt-get install of $1"; }
    check "apt-get installs tillgate and tillgate-sim $1 with their dependencies" \
        test "$(status_of tillgate) $(status_of tillgate-sim)" = "ii $1 ii $1"
}

apt_remove() { # remove or purge
    local log=$WORK/run/apt-$1.log
    in_root apt-get "$1" -y tillgate tillgate-sim >"$log" 2>&1 || { cat "$log"; fail "apt-get $1"; }
}

dump_logs() {
    local log
    for log in "$WORK"/run/*.log; do
        [ -f "$log" ] || continue
        echo "--- $log"; tail -n 40 "$log"
    done
}

# Owner names as the installed system knows them (this machine may have no
# such user, or another with the same id).
ids_of() { echo "$(in_root id -u "${1%%:*}"):$(in_root getent group "${1##*:}" | cut -d: -f3)"; }
owned_by() { [ "$(stat -c %u:%g "$ROOT$2")" = "$(ids_of "$1")" ]; }

# What postinst leaves, whether first install or upgrade.
installed_checks() {
    local account
    account=$(in_root getent passwd tillgate) || fail "postinst made no user tillgate"
    check "tillgate is a system user living in $DATA" \
        test "$(cut -d: -f3 <<<"$account")" -lt 1000 -a "$(cut -d: -f6 <<<"$account")" = "$DATA"
    check "tillgate is in dialout, for serial registers" grep -qw dialout <<<"$(in_root id -Gn tillgate)"
    check "$DATA belongs to tillgate, mode 750" \
        test "$(stat -c %u:%g:%a "$ROOT$DATA")" = "$(ids_of tillgate:tillgate):750"
    local f
    for f in "$ETC" "$ETC/tillgate.conf" "$ETC/tillgatelistener.conf"; do
        check "$f belongs to tillgate" owned_by tillgate:tillgate "$f"
    done
    if [ -x "$ROOT/usr/bin/deb-systemd-helper" ]; then
        for f in tillgate.service tillgate-sim.service; do
            check "postinst enabled $f for the next boot" \
                test -L "$ROOT/etc/systemd/system/multi-user.target.wants/$f"
        done
    fi
}

start_stack() { # label
    start_unit tillgate-sim.service "$WORK/run/sim-$1.log"
    start_unit tillgate.service "$WORK/run/service-$1.log"
    local answer
    answer=$(http GET /robots.txt --wait 30)
    check "$1: the service answers /robots.txt" test "$answer" = $'200\nUser-agent:*\nDisallow: /'
    answer=$(http GET /cashboxstatus.json --user "$CASHIER" --wait 60)
    check "$1: the shipped cashier is let in by the simulated cashbox" test "${answer%%$'\n'*}" = 200
}

stop_stack() {
    stop_unit tillgate.service
    stop_unit tillgate-sim.service
}

post_receipt() { http POST /fiscalcheck.json --user "$CASHIER" --body "$RECEIPT" --session "$SESSION"; }

offline() {
    ip link set lo up
    trap 'status=$?; stop_all_units; [ "$status" = 0 ] || dump_logs; exit $status' EXIT

    step "first install"
    apt_install "$VERSION"
    installed_checks
    verify_units

    step "the service and the simulator as their units start them, deviceType=1"
    sed -i 's/^deviceType=.*/deviceType=1/' "$ROOT$ETC/tillgate.conf"
    check "the settings name the simulated cashbox" grep -qx deviceType=1 "$ROOT$ETC/tillgate.conf"
    start_stack "first install"
    local answer first tape
    answer=$(http GET '/cycleopen.json?print=1' --user "$CASHIER")
    check "the shift opens" test "${answer%%$'\n'*}" = 200
    tape=$(tape_sum)
    first=$(post_receipt)
    check "the receipt is registered" test "${first%%$'\n'*}" = 200
    check "the simulator printed it" test "$(tape_sum)" != "$tape"
    tape=$(tape_sum)
    answer=$(post_receipt)
    check "the same session id is answered from the cache, as before" test "$answer" = "$first"
    check "and not printed twice" test "$(tape_sum)" = "$tape"
    check "the receipt cache is the service's" owned_by tillgate:tillgate "$DATA/tillgate/cache"

    step "upgrade to $NEXT_VERSION while the service runs"
    apt_install "$NEXT_VERSION"
    installed_checks
    check "the edited conffile kept its edit" grep -qx deviceType=1 "$ROOT$ETC/tillgate.conf"
    check "dpkg left no .dpkg-new or .dpkg-dist beside the settings" \
        test -z "$(find "$ROOT$ETC" -name '*.dpkg-*')"
    stop_stack
    start_stack "after upgrade"
    answer=$(post_receipt)
    check "after the upgrade the receipt is still answered from the cache" test "$answer" = "$first"
    check "and still not printed twice" test "$(tape_sum)" = "$tape"
    stop_stack

    step "remove"
    apt_remove remove
    check "both packages are removed, their settings kept" \
        test "$(status_of tillgate | cut -c1-2) $(status_of tillgate-sim | cut -c1-2)" = "rc rc"
    check "the service's binary is gone" test ! -e "$ROOT/opt/zelvotillgate/bin/tillgate"
    check "the edited settings stay" grep -qx deviceType=1 "$ROOT$ETC/tillgate.conf"
    check "the listener settings stay" test -f "$ROOT$ETC/tillgatelistener.conf"
    check "the receipt cache stays" test -d "$ROOT$DATA/tillgate/cache"

    step "purge"
    local uid
    uid=$(in_root id -u tillgate)
    apt_remove purge
    check "both packages are purged" test -z "$(status_of tillgate)$(status_of tillgate-sim)"
    check "/opt/zelvotillgate is gone, settings and all" test ! -e "$ROOT/opt/zelvotillgate"
    check "the work directory $DATA is gone" test ! -e "$ROOT$DATA"
    check "the simulator's state is gone" test ! -e "$ROOT/var/lib/tillgate-sim" -a ! -e "$ROOT/var/lib/private/tillgate-sim"
    local left
    left=$(find "$ROOT" -xdev \( -path "$ROOT/proc" -o -path "$ROOT/dev" -o -path "$ROOT/tmp" \
        -o -path "$ROOT/var/cache/apt" \) -prune -o \( -uid "$uid" -o -uid "$DYNAMIC_UID" \) -print)
    check "no file of the tillgate user or the simulator's is left${left:+: $left}" test -z "$left"
    left=$(find "$ROOT" -xdev \( -path "$ROOT/proc" -o -path "$ROOT/dev" -o -path "$ROOT/tmp" \
        -o -path "$ROOT/var/cache/apt" \) -prune -o -name '*tillgate*' -print)
    check "no file named after the packages is left${left:+: $left}" test -z "$left"

    step "a second install after the purge"
    apt_install "$VERSION"
    installed_checks
    sed -i 's/^deviceType=.*/deviceType=1/' "$ROOT$ETC/tillgate.conf"
    start_stack "second install"
    answer=$(http GET '/cycleopen.json?print=1' --user "$CASHIER")
    check "the shift opens again" test "${answer%%$'\n'*}" = 200
    tape=$(tape_sum)
    answer=$(post_receipt)
    check "the purged cache is empty: the same session id is registered anew" \
        test "${answer%%$'\n'*}" = 200 -a "$(tape_sum)" != "$tape"
    stop_stack

    echo "install: $passes passed, 0 failed"
}

# systemd-analyze on the installed units, on an overlay above the installed
# system so that the targets they name (taken from this machine, as the
# clean system has no systemd) leave it untouched.
verify_units() {
    local top=$WORK/run/verify
    mkdir -p "$top/upper" "$top/work" "$top/root"
    mount -t overlay overlay -o "lowerdir=$ROOT,upperdir=$top/upper,workdir=$top/work" "$top/root"
    cp -n /lib/systemd/system/*.target /lib/systemd/system/*.slice "$top/root/lib/systemd/system/" 2>/dev/null || true
    local unit
    for unit in tillgate.service tillgate-sim.service; do
        systemd-analyze verify --root="$top/root" "/lib/systemd/system/$unit" >"$WORK/run/verify-$unit.log" 2>&1 \
            || { cat "$WORK/run/verify-$unit.log"; umount "$top/root"; fail "systemd-analyze verify $unit"; }
        check "systemd-analyze verify: $unit" test ! -s "$WORK/run/verify-$unit.log"
    done
    local security=$WORK/run/security.log
    systemd-analyze security --offline=yes --root="$top/root" --threshold=15 \
        /lib/systemd/system/tillgate.service >"$security" 2>&1 || { cat "$security"; umount "$top/root"; fail "systemd-analyze security"; }
    umount "$top/root"
    local level
    level=$(sed -n 's/.*Overall exposure level for tillgate.service: \([0-9.]*\).*/\1/p' "$security")
    echo "  systemd-analyze security: exposure $level"
    check "systemd-analyze security rates tillgate.service 1.5 or better" \
        awk -v level="$level" 'BEGIN { exit !(level != "" && level <= 1.5) }'
}
