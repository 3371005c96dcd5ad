#!/bin/bash
# winenv.sh - runs Wine commands isolated inside an existing network namespace (a test host).
#
# Every session gets, inside the given network namespace:
#   * a new mount namespace (private propagation) with a private tmpfs over /tmp
#     and a fresh sysfs on /sys,
#   * a new PID namespace (its init is a small bash loop; killing the session kills
#     every Wine process in it, nothing can leak),
#   * its own Wine prefix /tmp/wineprefix copied from a cached template,
#   * a persistent wineserver, whose network namespace is checked against the
#     requested one before any command runs (and again before every command),
#   * a warm-up Wine command whose output goes to a file, so that services.exe
#     and the services it spawns never inherit a caller's pipe.
#
# Usage (run as root; keep this file outside /tmp):
#   winenv.sh ensure                       install packages, build template prefix
#   winenv.sh exec NETNS -- CMD [ARG...]   one-shot: start, run CMD, end; exit code of CMD
#   winenv.sh start NETNS                  start session, print SESSION dir on stdout
#   winenv.sh run SESSION -- CMD [ARG...]  run CMD inside the session; exit code of CMD
#   winenv.sh info SESSION                 print wineserver pid / namespaces
#   winenv.sh end SESSION                  stop wineserver, kill the session, remove dir
#   winenv.sh cleanup                      end every session left under $WINENV_RUN
# NETNS: a name from `ip netns list`, or pid:PID (net namespace of that process),
#        or an absolute path to a namespace file (/proc/PID/ns/net, /run/netns/X).
# CMD runs with WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES, TMPDIR=/tmp set, DISPLAY
# unset, in the caller's working directory. Paths under /tmp are NOT the host's
# /tmp inside a session (use WINENV_KEEP_TMP="/tmp/a:/tmp/b" at start to bind
# host directories below /tmp into the session at the same path).
#
# Sourced use:  source winenv.sh; wine_session_start NETNS; wine_run wine ...;
#               wine_session_end      (WINE_SESSION holds the session dir)
#
# Env knobs: WINENV_TEMPLATE (default /var/cache/tintcheck-wine-prefix),
#            WINENV_RUN (default /run/tintcheck-wine), WINENV_KEEP=1 keeps the
#            session dir (logs) after end, WINENV_START_TIMEOUT (s, default 60).

WINENV_SELF=$(readlink -f "${BASH_SOURCE[0]}")
WINENV_TEMPLATE=${WINENV_TEMPLATE:-/var/cache/tintcheck-wine-prefix}
WINENV_RUN=${WINENV_RUN:-/run/tintcheck-wine}
WINENV_PFX=/tmp/wineprefix

_we_die() { echo "winenv: $*" >&2; return 1; }

_we_wine_env() {
    export WINEPREFIX=$WINENV_PFX TMPDIR=/tmp WINEDEBUG=${WINEDEBUG_SESSION:--all}
    export WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY WAYLAND_DISPLAY WINESERVER WINELOADER WINEARCH
}

wine_ensure() {
    local need=()
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
    [ -x /usr/lib/wine/wine64 ] || need+=(wine wine64)
    command -v nsenter >/dev/null && command -v unshare >/dev/null || need+=(util-linux)
    command -v ip >/dev/null || need+=(iproute2)
    if [ ${#need[@]} -gt 0 ]; then
        apt-get update -qq >/dev/null || return 1
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null ||
            { _we_die "apt-get install ${need[*]} failed"; return 1; }
    fi
    local ver; ver=$(/usr/lib/wine/wine64 --version 2>/dev/null)
    [ -f "$WINENV_TEMPLATE/.winenv-version" ] && [ "$(cat "$WINENV_TEMPLATE/.winenv-version")" = "$ver" ] && return 0
    mkdir -p "$(dirname "$WINENV_TEMPLATE")"
    (
        flock 9
        [ -f "$WINENV_TEMPLATE/.winenv-version" ] && [ "$(cat "$WINENV_TEMPLATE/.winenv-version")" = "$ver" ] && exit 0
        local tmp="$WINENV_TEMPLATE.build.$$"
        rm -rf "$tmp"
        # No network at all and a private /tmp while the prefix is made.
        WINENV_BUILD=$tmp unshare -n -m -p -f --mount-proc --propagation private bash -c '
            set -e
            mount -t tmpfs tmpfs /tmp
            export WINEPREFIX=$WINENV_BUILD TMPDIR=/tmp WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
            unset DISPLAY WAYLAND_DISPLAY
            wine wineboot -i >/tmp/wineboot.log 2>&1 || { cat /tmp/wineboot.log >&2; exit 1; }
            wineserver -w' || { rm -rf "$tmp"; _we_die "template prefix build failed"; exit 1; }
        rm -f "$tmp/wineserver"
        echo "$ver" >"$tmp/.winenv-version"
        rm -rf "$WINENV_TEMPLATE"
        mv "$tmp" "$WINENV_TEMPLATE"
    ) 9>"$WINENV_TEMPLATE.lock"
}

_we_nsfile() {  # NETNS argument -> namespace file path (host view)
    case "$1" in
        pid:*) echo "/proc/${1#pid:}/ns/net" ;;
        /*) echo "$1" ;;
        *) echo "/run/netns/$1" ;;
    esac
}

# ---- runs as pid 1 of the session's pid namespace ------------------------------
_we_init() {
    local S=$1 want=$2
    set -e
    trap 'echo "init failed at line $LINENO" >"$S/failed"' ERR
    # host dirs below /tmp that the caller wants to keep
    local keep=()
    if [ -n "${WINENV_KEEP_TMP:-}" ]; then
        IFS=: read -ra keep <<<"$WINENV_KEEP_TMP"
        mkdir -p "$S/hosttmp"
        mount --rbind /tmp "$S/hosttmp"
    fi
    mount -t tmpfs -o mode=1777 tmpfs /tmp
    local k
    for k in "${keep[@]}"; do
        [ -n "$k" ] || continue
        case "$k" in /tmp/*) ;; *) echo "WINENV_KEEP_TMP entry $k not under /tmp" >"$S/failed"; exit 1 ;; esac
        mkdir -p "$k"
        mount --bind "$S/hosttmp/${k#/tmp/}" "$k"
    done
    [ ${#keep[@]} -eq 0 ] || umount -l "$S/hosttmp"
    umount -l /sys 2>/dev/null || true
    mount -t sysfs sysfs /sys
    cp -a "$WINENV_TEMPLATE" "$WINENV_PFX"
    rm -f "$WINENV_PFX/wineserver"
    _we_wine_env
    wineserver -p </dev/null >"$S/wineserver.log" 2>&1
    local ws="" p i
    for i in $(seq 1 50); do
        for p in /proc/[0-9]*; do
            [ "$(cat "$p/comm" 2>/dev/null)" = wineserver64 ] && ws=${p#/proc/}
        done
        [ -n "$ws" ] && break
        sleep 0.1
    done
    [ -n "$ws" ] || { echo "no wineserver process" >"$S/failed"; exit 1; }
    local got; got=$(readlink "/proc/$ws/ns/net")
    if [ "$got" != "net:[$want]" ] || [ "$(readlink /proc/self/ns/net)" != "net:[$want]" ]; then
        echo "wineserver $ws in $got, wanted net:[$want]" >"$S/failed"
        wineserver -k || true
        exit 1
    fi
    echo "$ws" >"$S/wineserver.pid"
    # Warm-up: starts services.exe/explorer.exe etc.; they keep these fds for good.
    wine cmd /c exit 0 </dev/null >"$S/warmup.log" 2>&1
    trap - ERR
    set +e
    echo "wineserver=$ws net=$got mnt=$(readlink /proc/self/ns/mnt) pid=$(readlink /proc/self/ns/pid)" >"$S/ready"
    # pid 1: reap orphans until killed
    trap 'exit 0' TERM
    while :; do sleep 3600 & wait $!; done
}

# ---- runs inside the session for every command ---------------------------------
_we_inner() {
    local S=$1 cwd=$2; shift 2
    local want; want=$(cat "$S/netns.inode")
    local ws; ws=$(cat "$S/wineserver.pid")
    if [ "$(readlink "/proc/$ws/ns/net" 2>/dev/null)" != "net:[$want]" ] || [ "$(cat "/proc/$ws/comm" 2>/dev/null)" != wineserver64 ]; then
        echo "winenv: session wineserver $ws gone or in wrong netns; refusing to run" >&2
        exit 125
    fi
    [ "$(readlink /proc/self/ns/net)" = "net:[$want]" ] || { echo "winenv: wrong netns" >&2; exit 125; }
    _we_wine_env
    cd "$cwd" 2>/dev/null || cd /
    exec "$@"
}

wine_session_start() {  # NETNS -> sets WINE_SESSION, prints it
    local target=$1 nsf inode S upid init i
    nsf=$(_we_nsfile "$target")
    inode=$(stat -L -c %i "$nsf" 2>/dev/null) || { _we_die "no network namespace $target ($nsf)"; return 1; }
    # kthreadd (pid 2) always lives in the initial network namespace
    local root; root=$(stat -L -c %i /proc/2/ns/net 2>/dev/null || stat -L -c %i /proc/1/ns/net 2>/dev/null)
    [ -n "$root" ] || { _we_die "cannot read the root network namespace"; return 1; }
    [ "$inode" != "$root" ] || { _we_die "refusing: $target is the root network namespace"; return 1; }
    wine_ensure || return 1
    mkdir -p "$WINENV_RUN"
    S=$(mktemp -d "$WINENV_RUN/s.XXXXXX") || return 1
    echo "$inode" >"$S/netns.inode"
    echo "$target" >"$S/netns.target"
    # nsenter execs unshare (same pid); unshare forks the pid-ns init and SIGKILLs it if unshare dies.
    WINENV_KEEP_TMP=${WINENV_KEEP_TMP:-} WINENV_TEMPLATE=$WINENV_TEMPLATE nsenter --net="$nsf" -- \
        unshare -m -p -f --mount-proc --propagation private --kill-child \
        bash "$WINENV_SELF" _init "$S" "$inode" </dev/null >"$S/init.log" 2>&1 &
    upid=$!
    echo "$upid" >"$S/unshare.pid"
    for i in $(seq 1 $((${WINENV_START_TIMEOUT:-60} * 10))); do
        [ -e "$S/ready" ] || [ -e "$S/failed" ] && break
        kill -0 "$upid" 2>/dev/null || break
        sleep 0.1
    done
    init=$(pgrep -P "$upid" | head -1)
    if [ -n "$init" ]; then
        echo "$init" >"$S/init.pid"
        readlink "/proc/$init/ns/pid" >"$S/pidns"
    fi
    if [ ! -e "$S/ready" ]; then
        echo "winenv: session start failed: $(cat "$S/failed" 2>/dev/null) $(tail -5 "$S/init.log" 2>/dev/null)" >&2
        WINENV_KEEP=${WINENV_KEEP:-} wine_session_end "$S"
        return 1
    fi
    WINE_SESSION=$S
    echo "$S"
}

wine_run_in() {  # SESSION CMD... (exit code of CMD)
    local S=$1; shift
    [ -f "$S/init.pid" ] || { _we_die "no session $S"; return 125; }
    nsenter -t "$(cat "$S/init.pid")" -m -p -n -- bash "$WINENV_SELF" _inner "$S" "$PWD" "$@"
}

wine_run() { wine_run_in "${WINE_SESSION:?no session}" "$@"; }

wine_session_info() {
    local S=${1:-$WINE_SESSION}
    cat "$S/ready" 2>/dev/null
    echo "host: unshare=$(cat "$S/unshare.pid" 2>/dev/null) init=$(cat "$S/init.pid" 2>/dev/null) wanted net inode $(cat "$S/netns.inode")"
}

_we_alive() {  # pid exists and is not a zombie
    [ -n "$1" ] && [ -e "/proc/$1" ] && [ "$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -c1)" != Z ]
}

wine_session_end() {
    local S=${1:-$WINE_SESSION} init upid pidns i
    [ -n "$S" ] && [ -d "$S" ] || return 0
    init=$(cat "$S/init.pid" 2>/dev/null)
    upid=$(cat "$S/unshare.pid" 2>/dev/null)
    pidns=$(cat "$S/pidns" 2>/dev/null)
    # SIGKILL to the pid-namespace init makes the kernel kill every process of the
    # session (wineserver, services, everything). unshare -f ignores SIGTERM/SIGINT
    # while it waits for its child, so it is not the one to signal first.
    # The recorded pid namespace guards against a reused pid.
    if [ -n "$init" ] && [ -n "$pidns" ] && [ "$(readlink "/proc/$init/ns/pid" 2>/dev/null)" = "$pidns" ]; then
        kill -KILL "$init" 2>/dev/null
    elif [ -n "$upid" ] && [ "$(cat "/proc/$upid/comm" 2>/dev/null)" = unshare ] &&
        tr '\0' ' ' <"/proc/$upid/cmdline" 2>/dev/null | grep -qF "$S"; then
        kill -KILL "$upid" 2>/dev/null  # --kill-child takes the init (and so the namespace) with it
    fi
    for i in $(seq 1 100); do
        _we_alive "$upid" || _we_alive "$init" || break
        sleep 0.1
    done
    [ -n "${WINENV_KEEP:-}" ] || rm -rf "$S"
    [ "${WINE_SESSION:-}" = "$S" ] && unset WINE_SESSION
    return 0
}

wine_cleanup_all() {
    local S
    for S in "$WINENV_RUN"/s.*; do [ -d "$S" ] && WINENV_KEEP= wine_session_end "$S"; done
}

# ---- command line ----------------------------------------------------------------
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    cmd=${1:-}; shift || true
    case "$cmd" in
        ensure) wine_ensure && echo "template: $WINENV_TEMPLATE ($(cat "$WINENV_TEMPLATE/.winenv-version"))" ;;
        _init) _we_init "$@" ;;
        _inner) _we_inner "$@" ;;
        start) wine_session_start "$1" ;;
        run) S=$1; shift; [ "${1:-}" = -- ] && shift; wine_run_in "$S" "$@" ;;
        info) wine_session_info "$1" ;;
        end) wine_session_end "$1" ;;
        cleanup) wine_cleanup_all ;;
        exec)
            ns=$1; shift; [ "${1:-}" = -- ] && shift
            S=$(wine_session_start "$ns") || exit 125
            trap 'wine_session_end "$S"' EXIT
            trap 'exit 130' INT TERM
            wine_run_in "$S" "$@"
            ;;
        *) sed -n '2,/^$/p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
    esac
fi
