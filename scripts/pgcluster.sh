#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests: no TCP port, only a Unix socket
# inside its own folder, trust authentication for the role "tallimo", and one
# database "tallimo_test".
#
#   pgcluster.sh start [DIR]   new cluster in DIR (made with mktemp under /tmp
#                              when left out); prints the libpq URL and writes
#                              it to DIR/url. A server still running in DIR is
#                              stopped and its data thrown away first.
#   pgcluster.sh stop DIR      stops the server and removes DIR
#   pgcluster.sh halt DIR [MODE]  stops the server the way a crash would
#                              (MODE immediate, the default) or as an
#                              administrator would (fast); DIR and its data stay
#   pgcluster.sh resume DIR    starts the server in DIR again
#
# For ctest fixtures, where the build folder may be too deep for a socket path:
#   pgcluster.sh fixture-start STATE   starts a cluster in a new /tmp folder and
#                                      writes its path to STATE/dir and its URL
#                                      to STATE/url; a cluster left by an
#                                      interrupted run is stopped first
#   pgcluster.sh fixture-stop STATE    stops that cluster again
#
# PostgreSQL refuses to run as root, so under root the server runs as
# "nobody" (PGCLUSTER_USER to choose another user); root still reaches the
# socket.
set -euo pipefail

# The caller's connection settings must not leak into the server or into
# createdb: everything here is named explicitly.
unset PGHOST PGHOSTADDR PGPORT PGUSER PGDATABASE PGSERVICE PGOPTIONS PGDATA

die()
{
    echo "pgcluster.sh: $*" >&2
    exit 1
}

# The server's own binaries: an unrelated initdb may come first on PATH.
bindir=""
if command -v pg_config >/dev/null 2>&1; then
    bindir="$(pg_config --bindir)"
fi
if [ ! -x "$bindir/initdb" ] || [ ! -x "$bindir/pg_ctl" ]; then
    # pg_config from a newer libpq than the installed server: take the server's.
    bindir="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)"
fi
[ -x "$bindir/initdb" ] && [ -x "$bindir/pg_ctl" ] ||
    die "no PostgreSQL server found (install the Debian package postgresql)"

runas=()
owner=""
if [ "$(id -u)" -eq 0 ]; then
    owner="${PGCLUSTER_USER:-nobody}"
    runas=(runuser -u "$owner" --)
fi

# Runs a server binary as the cluster's owner, from a folder it may enter.
as_owner()
{
    (cd / && "${runas[@]}" "$@")
}

marker=".tallimo-pgcluster"

# True when DIR was made by this script (or is an empty folder), so that it
# may be removed as a whole.
ours()
{
    [ -d "$1" ] && { [ -e "$1/$marker" ] || [ -z "$(ls -A "$1")" ]; }
}

running()
{
    [ -f "$1/data/postmaster.pid" ] && as_owner "$bindir/pg_ctl" -D "$1/data" status >/dev/null 2>&1
}

stop_server()
{
    local dir="$1" mode="$2"
    if running "$dir"; then
        as_owner "$bindir/pg_ctl" -D "$dir/data" -m "$mode" -w -t 60 stop >/dev/null 2>&1 || true
    fi
}

cmd_start()
{
    local dir="${1:-}"
    if [ -z "$dir" ]; then
        dir="$(mktemp -d -t tallimo-pg.XXXXXX)"
    fi
    mkdir -p "$dir"
    dir="$(cd "$dir" && pwd -P)"
    # The server's socket is DIR/.s.PGSQL.5432; the kernel takes at most 107 bytes.
    [ ${#dir} -le 90 ] || die "$dir is too long for a socket path; use a shorter folder (or TMPDIR)"
    ours "$dir" || die "$dir holds files that are not a test cluster; not touching it"

    stop_server "$dir" fast
    find "$dir" -mindepth 1 -delete
    touch "$dir/$marker" "$dir/log"
    if [ -n "$owner" ]; then
        chown "$owner" "$dir" "$dir/log"
    fi
    chmod 700 "$dir"

    # The data folder can be written without syncing: a crashed initdb is
    # simply redone. The server itself keeps fsync on.
    as_owner "$bindir/initdb" -D "$dir/data" --auth=trust -U tallimo -E UTF8 --locale=C \
        --no-sync >"$dir/log" 2>&1 || {
        cat "$dir/log" >&2
        die "initdb failed"
    }
    cat >>"$dir/data/postgresql.conf" <<EOF

# Throwaway test cluster: reachable only through the socket in its folder.
listen_addresses = ''
port = 5432
unix_socket_directories = '$dir'
shared_buffers = 16MB
max_connections = 40
fsync = on
# After a crash the folder is synced in one call instead of file by file.
recovery_init_sync_method = syncfs
EOF
    cmd_resume "$dir"
    "$bindir/createdb" -h "$dir" -U tallimo tallimo_test || die "createdb failed"
    local url="postgresql:///tallimo_test?host=$dir&user=tallimo"
    echo "$url" >"$dir/url"
    echo "$url"
}

cmd_resume()
{
    local dir="$1"
    [ -d "$dir/data" ] || die "no cluster in $dir"
    running "$dir" && return 0
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/log" -w -t 60 start >/dev/null || {
        tail -n 20 "$dir/log" >&2
        die "the server in $dir did not start"
    }
}

cmd_halt()
{
    stop_server "$1" "${2:-immediate}"
}

cmd_stop()
{
    local dir="$1"
    [ -d "$dir" ] || return 0
    stop_server "$dir" fast
    if ours "$dir"; then
        rm -rf "$dir"
    else
        echo "pgcluster.sh: $dir is not a test cluster; left in place" >&2
    fi
}

cmd_fixture_start()
{
    local state="$1"
    mkdir -p "$state"
    cmd_fixture_stop "$state"
    local dir
    dir="$(mktemp -d -t tallimo-pg.XXXXXX)"
    echo "$dir" >"$state/dir"
    cmd_start "$dir" >"$state/url.new"
    mv "$state/url.new" "$state/url"
    cat "$state/url"
}

cmd_fixture_stop()
{
    local state="$1"
    if [ -f "$state/dir" ]; then
        cmd_stop "$(cat "$state/dir")"
    fi
    rm -f "$state/dir" "$state/url" "$state/url.new"
}

[ $# -ge 1 ] || die "usage: pgcluster.sh start [DIR] | stop DIR | halt DIR [MODE] | resume DIR | fixture-start STATE | fixture-stop STATE"
command="$1"
shift
case "$command" in
start) cmd_start "${1:-}" ;;
halt)
    [ $# -ge 1 ] && [ $# -le 2 ] || die "halt needs a folder (and a mode)"
    cmd_halt "$@"
    ;;
stop | resume | fixture-start | fixture-stop)
    [ $# -eq 1 ] || die "$command needs a folder"
    "cmd_${command//-/_}" "$1"
    ;;
*) die "unknown command $command" ;;
esac
