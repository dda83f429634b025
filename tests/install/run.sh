#!/usr/bin/env bash
# The Debian packages built in BUILD_DIR, installed with apt into a minimal
# Debian 12 and taken through their whole life there: install, start as the
# units start them, a receipt registered and replayed, an upgrade to the next
# version, remove, purge and a second install. Lintian, systemd-analyze verify
# and systemd-analyze security check the packages and the installed units.
#
# Usage: run.sh BUILD_DIR   (as root)
#
# The clean system is made once with debootstrap into BUILD_DIR/install-test/
# base and made anew when tests/install/base.conf or the mirrors change; every
# run works on an overlay above it, in a mount and process namespace of its
# own, so mounts and processes go with the run whatever happens. Everything
# that starts a service runs in a network namespace of its own as well.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
SRC=$(cd "$HERE/../.." && pwd)

passes=0
step() { echo "== $*"; }
fail() { echo "FAIL: $*" >&2; exit 1; }
check() { # description, command...
    local what=$1; shift
    if "$@"; then
        echo "PASS: $what"; passes=$((passes + 1))
    else
        fail "$what"
    fi
}

# The URI this machine's apt fetches SUITE's main component from.
host_mirror() {
    local suite=$1 file
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk -v suite="$suite" 'BEGIN { RS = ""; FS = "\n" }
            { types = uris = suites = comps = ""; enabled = "yes"
              for (i = 1; i <= NF; i++) {
                  if ($i ~ /^#/) continue
                  split($i, kv, ":[ \t]*"); key = tolower(kv[1]); value = substr($i, length(kv[1]) + 2)
                  sub(/^[ \t]+/, "", value)
                  if (key == "types") types = value; else if (key == "uris") uris = value
                  else if (key == "suites") suites = value; else if (key == "components") comps = value
                  else if (key == "enabled") enabled = value }
              if (enabled != "no" && (" " types " ") ~ / deb / && (" " suites " ") ~ (" " suite " ") \
                  && (" " comps " ") ~ / main /) { split(uris, u, " "); print u[1]; exit } }' "$file"
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        sed 's/\[[^]]*\]//' "$file" \
            | awk -v suite="$suite" '$1 == "deb" && $3 == suite { for (i = 4; i <= NF; i++) if ($i == "main") { print $2; exit } }'
    done
    return 0
}

# --- on the host ------------------------------------------------------------
outer() {
    BUILD=$(realpath "$1")
    WORK=$BUILD/install-test
    [ "$(id -u)" = 0 ] || fail "run as root (debootstrap, chroot and namespaces)"
    for tool in debootstrap lintian unshare chroot systemd-analyze cpack python3 ip; do
        command -v "$tool" >/dev/null || fail "$tool is not installed (make deps installs it)"
    done
    mkdir -p "$WORK"
    local start=$SECONDS

    step "packages: this version and the next, from the same build tree"
    rm -rf "$WORK/pkgs"
    cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/pkgs/current" >"$WORK/cpack.log" 2>&1 \
        || { cat "$WORK/cpack.log"; fail "cpack"; }
    local current=("$WORK"/pkgs/current/tillgate_*.deb)
    [ ${#current[@]} = 1 ] && [ -f "${current[0]}" ] || fail "one tillgate package expected in $WORK/pkgs/current"
    VERSION=$(dpkg-deb -f "${current[0]}" Version)
    # The next release: the last number of the version one higher.
    NEXT_VERSION=$(awk -F. -v OFS=. '{ $NF = $NF + 1; print }' <<<"$VERSION")
    cpack -G DEB --config "$BUILD/CPackConfig.cmake" -R "$NEXT_VERSION" -B "$WORK/pkgs/next" \
        >>"$WORK/cpack.log" 2>&1 || { cat "$WORK/cpack.log"; fail "cpack of $NEXT_VERSION"; }
    local deb
    for deb in "$WORK"/pkgs/{current,next}/tillgate{,-sim}_*.deb; do
        echo "  $(basename "$deb"): $(stat -c %s "$deb") bytes, Installed-Size $(dpkg-deb -f "$deb" Installed-Size) KiB"
    done
    check "the next package is version $NEXT_VERSION" \
        test "$(dpkg-deb -f "$WORK/pkgs/next/tillgate_${NEXT_VERSION}_$(dpkg --print-architecture).deb" Version)" = "$NEXT_VERSION"

    step "lintian"
    local pkg
    for pkg in tillgate tillgate-sim; do
        deb=$(ls "$WORK"/pkgs/current/${pkg}_*.deb)
        lintian --fail-on error,warning --display-info "$deb" >"$WORK/lintian-$pkg.log" 2>&1 \
            || { cat "$WORK/lintian-$pkg.log"; fail "lintian finds errors or warnings in $pkg"; }
        sed 's/^/  /' "$WORK/lintian-$pkg.log"
        echo "PASS: lintian: no errors or warnings in $pkg"; passes=$((passes + 1))
    done

    make_base
    step "the packages in the clean system"
    export WORK VERSION NEXT_VERSION passes
    unshare --mount --pid --fork --kill-child --propagation private "$0" --inside
    echo "install: total $((SECONDS - start)) s"
}

# The clean Debian system, made when it is missing or its recipe changed.
make_base() {
    # shellcheck source=base.conf
    . "$HERE/base.conf"
    MIRROR=${TILLGATE_DEBIAN_MIRROR:-$(host_mirror "$SUITE" | head -n1)}
    [ -n "$MIRROR" ] || fail "no apt source on this machine serves $SUITE main"
    local recipe suite uri
    recipe=$(cat "$HERE/base.conf"; echo "mirror $MIRROR")
    SOURCES="Types: deb
URIs: $MIRROR
Suites: $SUITE
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
    for suite in $EXTRA_SUITES; do
        uri=$(host_mirror "$suite" | head -n1)
        [ -n "$uri" ] || continue
        SOURCES+="

Types: deb
URIs: $uri
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg"
    done
    recipe+=$'\n'"$SOURCES"
    local stamp
    stamp=$(sha256sum <<<"$recipe" | cut -d' ' -f1)
    if [ -f "$WORK/base.stamp" ] && [ "$(cat "$WORK/base.stamp")" = "$stamp" ] && [ -d "$WORK/base" ]; then
        step "clean system: kept from an earlier run ($WORK/base)"
        return
    fi
    step "clean system: debootstrap --variant=$VARIANT $SUITE from $MIRROR"
    local start=$SECONDS
    rm -rf "$WORK/base" "$WORK/base.new" "$WORK/base.stamp" "$WORK/apt-archives"
    # debootstrap mounts /proc and /sys in the target: in a mount namespace
    # of its own they go with it even when it fails.
    unshare --mount --propagation private \
        debootstrap --variant="$VARIANT" --keyring=/usr/share/keyrings/debian-archive-keyring.gpg \
        "$SUITE" "$WORK/base.new" "$MIRROR" >"$WORK/debootstrap.log" 2>&1 \
        || { tail -n 30 "$WORK/debootstrap.log"; fail "debootstrap (log: $WORK/debootstrap.log)"; }
    rm -f "$WORK/base.new/etc/apt/sources.list"
    printf '%s\n' "$SOURCES" >"$WORK/base.new/etc/apt/sources.list.d/debian.sources"
    mv "$WORK/base.new" "$WORK/base"
    echo "$stamp" >"$WORK/base.stamp"
    echo "  made in $((SECONDS - start)) s, $(du -sh "$WORK/base" | cut -f1)"
}

# --- in a mount and process namespace of its own, network still there ---------
inside() {
    ROOT=$WORK/run/root
    rm -rf "$WORK/run"
    mkdir -p "$WORK/run/upper" "$WORK/run/work" "$ROOT" "$WORK/apt-archives/partial"
    mount -t overlay overlay -o "lowerdir=$WORK/base,upperdir=$WORK/run/upper,workdir=$WORK/run/work" "$ROOT"
    mount -t proc proc "$ROOT/proc"
    mount --rbind /dev "$ROOT/dev"
    mount --make-rslave "$ROOT/dev"
    mount -t tmpfs -o mode=1777 tmpfs "$ROOT/tmp"
    mount -t tmpfs -o mode=0755 tmpfs "$ROOT/run"
    # Downloads are kept between runs; the system itself is not.
    mount --bind "$WORK/apt-archives" "$ROOT/var/cache/apt/archives"
    cp -L /etc/resolv.conf "$ROOT/etc/resolv.conf"
    mkdir -p "$ROOT/tmp/pkgs"
    cp "$WORK"/pkgs/current/tillgate{,-sim}_*.deb "$WORK"/pkgs/next/tillgate{,-sim}_*.deb "$ROOT/tmp/pkgs/"
    chmod -R a+rX "$ROOT/tmp/pkgs"
    export ROOT

    step "apt-get update and the downloads (the only steps with a network)"
    in_root apt-get update -qq >"$WORK/apt-update.log" 2>&1 || { cat "$WORK/apt-update.log"; fail "apt-get update"; }
    in_root apt-get install -y -qq --download-only "/tmp/pkgs/tillgate_${VERSION}_$ARCH.deb" \
        "/tmp/pkgs/tillgate-sim_${VERSION}_$ARCH.deb" >"$WORK/apt-download.log" 2>&1 \
        || { cat "$WORK/apt-download.log"; fail "apt-get could not resolve or fetch the dependencies"; }
    unshare --net "$0" --offline
}

ARCH=$(dpkg --print-architecture)
in_root() { env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 \
    chroot "$ROOT" "$@" </dev/null; }

. "$HERE/units.sh"
. "$HERE/lifecycle.sh"

case "${1:-}" in
    --inside) inside ;;
    --offline) offline ;;
    ''|-*) echo "usage: $0 BUILD_DIR" >&2; exit 2 ;;
    *) outer "$1" ;;
esac
