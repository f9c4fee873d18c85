#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the tests of the ODBC engine on a real client/server
# driver (psqlODBC): started before those tests and stopped after them by ctest's fixture
# (tests/CMakeLists.txt), also when they fail.
#   cluster.sh start STATE   makes a cluster in a temporary folder of its own, listening on
#                            127.0.0.1 only at a free port, and writes STATE:
#                              port=, user=, password=, data=   the cluster the tests use
#                              skip=<why>                       no PostgreSQL or psqlODBC here
#   cluster.sh stop STATE    stops that cluster and removes its folder
# The server writes its log to the folder's "log", which a failed start prints. A run that
# ends without the stop (interrupted, or --stop-on-failure) leaves no server behind either:
# the start leaves a watch that stops its cluster once the process that started it (ctest,
# or a shell) has gone.
set -euo pipefail

if [ $# -lt 2 ] || { [ "$1" != start ] && [ "$1" != stop ] && [ "$1" != watch ]; }; then
    echo "usage: $0 start|stop STATE" >&2
    exit 2
fi
action=$1
state=$2

value() { # the value of KEY in the state file, or nothing
    sed -n "s/^$1=//p" "$state" 2>/dev/null | head -n 1
}

# The server's programs: Debian keeps them out of PATH, one folder per major version.
bindir=${VARNEL_POSTGRES_BINDIR:-}
if [ -z "$bindir" ]; then
    for candidate in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
        if [ -x "$candidate/initdb" ]; then
            bindir=$candidate
            break
        fi
    done
fi
if [ -z "$bindir" ] && command -v initdb >/dev/null; then
    bindir=$(dirname "$(command -v initdb)")
fi

# PostgreSQL refuses to run as root (CI's user): then the cluster is the postgres user's.
as_owner=()
if [ "$(id -u)" -eq 0 ]; then
    as_owner=(runuser -u postgres --)
fi

stop_cluster() { # DATA: stops the server of that folder, if it runs, and removes the folder
    local data=$1
    if [ -n "$data" ] && [ -d "$data" ]; then
        if [ -f "$data/pgdata/postmaster.pid" ] && [ -n "$bindir" ]; then
            "${as_owner[@]}" "$bindir/pg_ctl" -D "$data/pgdata" -m immediate -w -t 30 stop \
                >/dev/null 2>&1 || true
        fi
        rm -rf "$data"
    fi
}

if [ "$action" = stop ]; then
    stop_cluster "$(value data)"
    rm -f "$state"
    exit 0
fi

if [ "$action" = watch ]; then # watch STATE PID DATA: the start's own, in the background
    while kill -0 "$3" 2>/dev/null; do
        sleep 2
    done
    stop_cluster "$4"
    if [ "$(value data)" = "$4" ]; then # still this cluster's, not a later run's
        rm -f "$state"
    fi
    exit 0
fi

# A cluster that an interrupted run left behind goes first.
stop_cluster "$(value data)"
mkdir -p "$(dirname "$state")"
rm -f "$state"

skip() {
    echo "skip=$1" >"$state"
    echo "cluster.sh: no cluster: $1"
    exit 0
}
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
    skip "PostgreSQL's server programs (initdb, pg_ctl) are not installed (Debian: postgresql, which scripts/install-deps installs)"
fi
if command -v odbcinst >/dev/null && ! odbcinst -q -d | grep -qi 'postgresql.*unicode'; then
    skip "psqlODBC's Unicode driver is not registered with unixODBC (Debian: odbc-postgresql, which scripts/install-deps installs)"
fi
if [ "${#as_owner[@]}" -gt 0 ] && ! id postgres >/dev/null 2>&1; then
    skip "running as root, and there is no postgres user to run the server as"
fi
if [ "${#as_owner[@]}" -gt 0 ] && ! command -v runuser >/dev/null; then
    skip "running as root, and there is no runuser (util-linux) to run the server as postgres"
fi
if ! command -v psql >/dev/null; then
    skip "psql is not installed (Debian: postgresql-client)"
fi

# Root's TMPDIR may be closed to the postgres user; /tmp is open to every user.
if [ "${#as_owner[@]}" -gt 0 ]; then
    data=$(mktemp -d /tmp/varnel-postgres.XXXXXX)
else
    data=$(mktemp -d "${TMPDIR:-/tmp}/varnel-postgres.XXXXXX")
fi
chmod 700 "$data"
if [ "${#as_owner[@]}" -gt 0 ]; then
    chown postgres: "$data"
fi
# With the characters that a connection string must brace: every connection of the tests shows
# that the password reaches the server whole.
password="tst;{pw}=$RANDOM$RANDOM"
admin_password="adm$RANDOM$RANDOM$RANDOM"
printf '%s\n' "$admin_password" >"$data/pwfile"
[ "${#as_owner[@]}" -gt 0 ] && chown postgres: "$data/pwfile"

fail() {
    echo "cluster.sh: $1" >&2
    [ -f "$data/log" ] && tail -n 30 "$data/log" >&2
    stop_cluster "$data"
    exit 1
}

# No fsync: the cluster lives for one test run.
"${as_owner[@]}" "$bindir/initdb" -D "$data/pgdata" -N -U postgres --pwfile="$data/pwfile" \
    --auth-host=scram-sha-256 --auth-local=reject -E UTF8 --locale=C.UTF-8 \
    >"$data/initdb.log" 2>&1 || { cat "$data/initdb.log" >&2; fail "initdb failed"; }
rm -f "$data/pwfile"

# pg_stat_statements counts the executions of each statement, which tests read back.
preload=""
if [ -f "$("$bindir/pg_config" --pkglibdir 2>/dev/null || echo /nonexistent)/pg_stat_statements.so" ] ||
    [ -f "$bindir/../lib/pg_stat_statements.so" ]; then
    preload="pg_stat_statements"
fi

# Over loopback only, no socket file (whose folder another cluster may use), small.
options=(-c listen_addresses=127.0.0.1 -c "unix_socket_directories=''" -c fsync=off
    -c synchronous_commit=off -c full_page_writes=off -c shared_buffers=32MB
    -c max_connections=60 -c "shared_preload_libraries=$preload")
# A port that nothing else listens on: tried at random until the server binds one.
port=""
for _ in $(seq 1 20); do
    candidate=$((20000 + RANDOM % 40000))
    if "${as_owner[@]}" "$bindir/pg_ctl" -D "$data/pgdata" -l "$data/log" -w -t 60 \
        -o "-c port=$candidate ${options[*]}" start >/dev/null 2>&1; then
        port=$candidate
        break
    fi
    grep -q "could not bind\|Address already in use\|could not create any TCP/IP sockets" \
        "$data/log" 2>/dev/null || fail "the server did not start"
done
[ -n "$port" ] || fail "no free port found for the server"
# Detached from ctest's output, which it would otherwise wait for.
setsid bash "$0" watch "$state" "$PPID" "$data" </dev/null >/dev/null 2>&1 &

export PGPASSWORD=$admin_password
sql() { # DATABASE STATEMENT
    psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" -U postgres -d "$1" -c "$2" \
        >/dev/null || fail "psql: $2"
}
# The tests' role creates a database of its own for each test; every database starts from
# template1 and so has the statement counter.
quoted_password=${password//\'/\'\'}
sql postgres "create role varnel login createdb password '$quoted_password'"
if [ -n "$preload" ]; then
    sql template1 "create extension pg_stat_statements"
fi

{
    echo "port=$port"
    echo "user=varnel"
    echo "password=$password"
    echo "data=$data"
    echo "statements=${preload:+counted}"
} >"$state.new"
mv "$state.new" "$state"
echo "cluster.sh: PostgreSQL $("$bindir/postgres" --version | awk '{print $3}') on 127.0.0.1:$port in $data"
