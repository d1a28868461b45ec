#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests: its own data folder, reached only through a unix socket in
# FOLDER (no TCP port), run as a non-root user because the server refuses root.
#   pg_server.sh start|stop|restart|halt|resume|createdb FOLDER
#   pg_server.sh replica|unreplica FOLDER REPLICA_FOLDER
# (halt stops the server and keeps its data; resume starts it again. replica starts a streaming replica of the
# server, made by pg_basebackup: a hot standby on port 54330 whose replay waits for its reads
# (max_standby_streaming_delay = -1) until told otherwise; unreplica stops it and removes its folder.)
# The superuser "postgres" connects without a password; the role "clerk" needs the password "clerk-secret".
set -euo pipefail
action=$1
# FOLDER is a link to a folder under /tmp that the server's user can reach even where the caller's tree is
# closed to other users (a clone in a mktemp folder is 0700); later actions follow the link.
link=$(realpath -ms "$2")
folder=$(realpath -m "$2")
# The server runs as another user, who may not be able to enter the caller's folder.
cd /
port=54329
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -x "$bin/pg_ctl" ] || { echo "pg_server.sh: no PostgreSQL server installed (postgresql-15)" >&2; exit 1; }

as_server() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
pg_ctl_run() { as_server "$bin/pg_ctl" -D "$folder/data" -l "$folder/server.log" "$@"; }

case "$action" in
start)
    if [ -f "$folder/data/postmaster.pid" ]; then pg_ctl_run -m immediate stop >/dev/null 2>&1 || true; fi
    rm -rf "$folder" "$link"
    folder=$(mktemp -d /tmp/pelmarot-pg.XXXXXX)
    mkdir -p "$(dirname "$link")"
    ln -s "$folder" "$link"
    [ "$(id -u)" -eq 0 ] && chown postgres "$folder"
    as_server "$bin/initdb" -D "$folder/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 --no-sync >/dev/null
    # Password authentication for the clerk's role, trust for the superuser the tests set up with.
    as_server sh -c "printf 'local all clerk scram-sha-256\nlocal all all trust\nlocal replication all trust\n' > '$folder/data/pg_hba.conf'"
    pg_ctl_run -w -o "-k $folder -c listen_addresses='' -p $port -c fsync=off -c full_page_writes=off" start >/dev/null
    as_server "$bin/psql" -X -q -h "$folder" -p "$port" -U postgres -d postgres \
        -c "CREATE ROLE clerk LOGIN PASSWORD 'clerk-secret'" >/dev/null
    echo "PostgreSQL test server on unix socket $folder (port $port)"
    ;;
stop)
    pg_ctl_run -m fast stop >/dev/null 2>&1 || true
    rm -rf "$folder"
    if [ -L "$link" ]; then rm -f "$link"; fi
    ;;
createdb)
    as_server "$bin/psql" -X -q -h "$folder" -p "$port" -U postgres -d postgres -c "CREATE DATABASE register" >/dev/null
    ;;
halt)
    pg_ctl_run -m fast -w stop >/dev/null
    ;;
restart)
    pg_ctl_run -m fast -w -o "-k $folder -c listen_addresses='' -p $port -c fsync=off -c full_page_writes=off" restart >/dev/null
    ;;
resume)
    pg_ctl_run -w -o "-k $folder -c listen_addresses='' -p $port -c fsync=off -c full_page_writes=off" start >/dev/null
    ;;
replica)
    replica_link=$(realpath -ms "$3")
    replica=$(mktemp -d /tmp/pelmarot-pg-replica.XXXXXX)
    rm -rf "$replica_link"
    ln -s "$replica" "$replica_link"
    [ "$(id -u)" -eq 0 ] && chown postgres "$replica"
    as_server "$bin/pg_basebackup" -h "$folder" -p "$port" -U postgres -D "$replica/data" -R -X stream --no-sync --checkpoint=fast
    # In the configuration file, not on the command line, so that ALTER SYSTEM can change them.
    as_server sh -c "printf 'hot_standby = on\nmax_standby_streaming_delay = -1\nhot_standby_feedback = off\n' >> '$replica/data/postgresql.conf'"
    as_server "$bin/pg_ctl" -D "$replica/data" -l "$replica/server.log" -w -o "-k $replica -c listen_addresses='' -p 54330 -c fsync=off" start >/dev/null
    ;;
unreplica)
    replica=$(realpath -m "$3")
    as_server "$bin/pg_ctl" -D "$replica/data" -m immediate stop >/dev/null 2>&1 || true
    rm -rf "$replica"
    if [ -L "$3" ]; then rm -f "$3"; fi
    ;;
*)
    echo "usage: $0 start|stop|halt|resume|restart|createdb FOLDER, or replica|unreplica FOLDER REPLICA_FOLDER" >&2
    exit 2
    ;;
esac
