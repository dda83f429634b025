#!/bin/sh
# Runs a test program in a network namespace of its own, with loopback up,
# where one can be made; elsewhere as it is (its cases that need the
# isolation skip themselves).
if unshare -n true 2>/dev/null && command -v ip >/dev/null; then
    exec unshare -n sh -c 'ip link set lo up && exec "$@"' isolated "$@"
fi
exec "$@"
