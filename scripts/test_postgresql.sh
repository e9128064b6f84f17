# A throwaway PostgreSQL server for the station's tests: a cluster of its own under build/, run
# by an unprivileged user on a free local port, and stopped when the sourcing script ends.
# Sourced by scripts/test, not run; it sets TC_TEST_POSTGRESQL for the tests.

PG_BIN=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
PG_AS=()
PG_DIR=

# The server refuses to run as root: root hands it to the user the Debian package made for it.
pg_run() {
    "${PG_AS[@]}" "$@"
}

start_test_postgresql() {
    local user
    user=$(id -un)
    if [ "$(id -u)" -eq 0 ]; then
        user=postgres
        PG_AS=(runuser -u postgres --)
    fi
    PG_DIR="$TOP/build/postgresql"
    rm -rf "$PG_DIR"
    mkdir -p "$PG_DIR"
    chown "$user" "$PG_DIR"
    if ! pg_run test -w "$PG_DIR"; then
        # A checkout in a folder that user may not enter (root's home): a private folder instead.
        PG_DIR=$(mktemp -d /tmp/tc-postgresql.XXXXXX)
        chown "$user" "$PG_DIR"
        echo "PostgreSQL for the tests runs in $PG_DIR: $user cannot reach $TOP/build"
    fi
    pg_run "$PG_BIN/initdb" -D "$PG_DIR/data" -U tc --auth=trust -E UTF8 >"$PG_DIR/initdb.log"
    local port try
    for try in 1 2 3 4 5 6 7 8 9 10; do
        port=$((20000 + RANDOM % 30000))
        if pg_run "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/server.log" -w -t 60 \
               -o "-p $port -k $PG_DIR -c listen_addresses=127.0.0.1" start >/dev/null; then
            break
        fi
        port=
    done
    if [ -z "$port" ]; then
        echo "PostgreSQL for the tests did not start; see $PG_DIR/server.log" >&2
        return 1
    fi
    trap stop_test_postgresql EXIT
    pg_run "$PG_BIN/createdb" -h 127.0.0.1 -p "$port" -U tc stations
    export TC_TEST_POSTGRESQL="postgresql://tc@127.0.0.1:$port/stations"
    echo "== PostgreSQL for the tests: $TC_TEST_POSTGRESQL"
}

stop_test_postgresql() {
    pg_run "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -m fast -w stop >/dev/null || true
}
