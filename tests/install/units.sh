# Starting an installed service the way systemd starts its unit, without
# systemd: the unit's ExecStart as its User and Group (or as a dynamic user),
# with its SupplementaryGroups, UMask, WorkingDirectory, Environment and
# StateDirectory, in the environment systemd gives a system service. The
# sandboxing directives are systemd's own; systemd-analyze checks them.
# Sourced by run.sh; needs ROOT and fail().

declare -A UNIT_PID
# In systemd's range for dynamic users (61184-65519).
DYNAMIC_UID=61200

# The unit's lines with continuations joined and comments dropped.
unit_lines() { sed -e ':a' -e '/\\$/{N;s/\\\n[[:space:]]*/ /;ba' -e '}' "$1" | grep -v '^[[:space:]]*[#;]'; }
unit_get() { unit_lines "$1" | sed -n "s/^$2=//p"; }

start_unit() { # unit, log file
    local name=$1 log=$2 file=$ROOT/lib/systemd/system/$1 key
    [ -f "$file" ] || fail "$name is not installed"
    for key in ExecStartPre ExecStartPost EnvironmentFile RuntimeDirectory LogsDirectory CacheDirectory \
               ConfigurationDirectory RootDirectory RootImage PassEnvironment LoadCredential SetCredential; do
        [ -z "$(unit_get "$file" $key)" ] || fail "$name sets $key, which this runner does not model"
    done
    local exec user group dynamic umask workdir state supplementary
    exec=$(unit_get "$file" ExecStart | head -n1 | sed 's/^[-@:+!]*//')
    case $exec in *[\"\'%\$]*) fail "$name: quotes, specifiers and variables in ExecStart are not modelled" ;; esac
    local cmd
    read -r -a cmd <<<"$exec"
    [ ${#cmd[@]} -gt 0 ] || fail "$name has no ExecStart"
    [ -x "$ROOT${cmd[0]}" ] || fail "$name: ${cmd[0]} is not an executable of the installed system"
    user=$(unit_get "$file" User | tail -n1)
    group=$(unit_get "$file" Group | tail -n1)
    dynamic=$(unit_get "$file" DynamicUser | tail -n1)
    umask=$(unit_get "$file" UMask | tail -n1)
    workdir=$(unit_get "$file" WorkingDirectory | tail -n1)
    state=$(unit_get "$file" StateDirectory | tr '\n' ' ')
    supplementary=$(unit_get "$file" SupplementaryGroups | tr '\n' ' ')
    local env=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin) ids owner word
    for word in $(unit_get "$file" Environment); do env+=("$word"); done
    if [ "$dynamic" = yes ] && [ -z "$user" ]; then
        owner=$DYNAMIC_UID:$DYNAMIC_UID
        ids=(--reuid=$DYNAMIC_UID --regid=$DYNAMIC_UID --clear-groups)
        env+=(HOME=/ USER="${name%.service}" LOGNAME="${name%.service}" SHELL=/usr/sbin/nologin)
    else
        user=${user:-root}
        local account groups g
        account=$(in_root getent passwd "$user") || fail "$name: user $user does not exist"
        group=${group:-$(in_root id -gn "$user")}
        in_root getent group "$group" >/dev/null || fail "$name: group $group does not exist"
        owner=$user:$group
        # systemd sets the user's groups from the group database, then adds
        # SupplementaryGroups; a group that does not exist fails the start.
        groups=$(in_root id -Gn "$user" | tr ' ' '\n')
        for g in $supplementary; do
            in_root getent group "$g" >/dev/null || fail "$name: supplementary group $g does not exist"
            groups+=$'\n'$g
        done
        ids=(--reuid="$user" --regid="$group" --groups="$(sort -u <<<"$groups" | paste -sd,)")
        env+=(HOME="$(cut -d: -f6 <<<"$account")" USER="$user" LOGNAME="$user" SHELL="$(cut -d: -f7 <<<"$account")")
    fi
    local d
    for d in $state; do
        if [ "$dynamic" = yes ]; then
            # systemd keeps a dynamic user's state under /var/lib/private,
            # closed to everyone else, and links it from /var/lib.
            install -d -m 0700 "$ROOT/var/lib/private"
            install -d -m 0755 "$ROOT/var/lib/private/$d"
            ln -sfn "private/$d" "$ROOT/var/lib/$d"
            chown -R "$owner" "$ROOT/var/lib/private/$d"
        else
            install -d -m 0755 "$ROOT/var/lib/$d"
            in_root chown -R "$owner" "/var/lib/$d"
        fi
        env+=(STATE_DIRECTORY="/var/lib/$d")
    done
    local launch=(env -i "${env[@]}" chroot "$ROOT" /bin/sh -c \
        'umask "$1" && cd "$2" && shift 2 && exec setpriv "$@"' sh "${umask:-0022}" "${workdir:-/}" \
        "${ids[@]}" -- "${cmd[@]}")
    if [ "$dynamic" = yes ] && [ -n "$state" ]; then
        # In the service's own mount namespace /var/lib/private is a fresh
        # directory holding only its own state, as systemd arranges it.
        local hidden=$WORK/run/private-$name
        mkdir -p "$hidden"
        unshare --mount --propagation private /bin/bash -c '
            set -e; root=$1 hidden=$2 dirs=$3; shift 3
            mount --bind "$root/var/lib/private" "$hidden"
            mount -t tmpfs -o mode=0755 tmpfs "$root/var/lib/private"
            for d in $dirs; do mkdir "$root/var/lib/private/$d"; mount --bind "$hidden/$d" "$root/var/lib/private/$d"; done
            exec "$@"' sh "$ROOT" "$hidden" "$state" "${launch[@]}" </dev/null >"$log" 2>&1 &
    else
        "${launch[@]}" </dev/null >"$log" 2>&1 &
    fi
    UNIT_PID[$name]=$!
}

# SIGTERM as systemd sends it; exit 0 or death by SIGTERM is a clean stop.
stop_unit() { # unit
    local name=$1 pid=${UNIT_PID[$1]:-} status=0 i
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || true
    for i in $(seq 1 300); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
        unset "UNIT_PID[$name]"
        fail "$name did not stop within 30 s of SIGTERM"
    fi
    wait "$pid" || status=$?
    unset "UNIT_PID[$name]"
    [ "$status" = 0 ] || [ "$status" = 143 ] || fail "$name stopped with status $status"
}

stop_all_units() {
    local name
    for name in "${!UNIT_PID[@]}"; do
        kill -KILL "${UNIT_PID[$name]}" 2>/dev/null || true
    done
}
