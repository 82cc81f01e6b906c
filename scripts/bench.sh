#!/usr/bin/env bash
# Measures the program's start-up, keystroke, save and delete against their
# raw ODBC floor on SQLite, PostgreSQL and MariaDB, on loopback and through a
# delay proxy that adds DELAY_MS (default 5) each way, and prints one table.
#
#   scripts/bench.sh [station-bench options, e.g. --benchmark_filter=keystroke]
#
# Builds station-bench and se-delay-proxy in build/ when needed, starts its own
# throw-away servers (scripts/test-servers.sh) and stops them at the end.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD:-$ROOT/build}
DELAY_MS=${DELAY_MS:-5}
# The type-ahead case runs over a slower link: TYPEAHEAD_DELAY_MS each way.
TYPEAHEAD_DELAY_MS=${TYPEAHEAD_DELAY_MS:-25}
PROXY_LIFETIME_S=3600

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSE_SANITIZE=OFF >/dev/null
fi
cmake --build "$BUILD" -j"$(nproc)" --target station-bench se-delay-proxy >/dev/null

SERVERS=$(mktemp -d "${TMPDIR:-/tmp}/se-bench.XXXXXX")
PROXIES=()
cleanup() {
    local rc=$? pid
    trap - EXIT INT TERM
    for pid in "${PROXIES[@]}"; do kill "$pid" 2>/dev/null || true; done
    "$ROOT/scripts/test-servers.sh" stop "$SERVERS" >/dev/null || true
    rm -rf "$SERVERS"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
"$ROOT/scripts/test-servers.sh" start "$SERVERS" >&2
# shellcheck disable=SC1091
. "$SERVERS/env.sh"

# The tables in their shape before the upgrade: the program's first start
# upgrades them, every measured start is a later one.
sqlite3 "$SERVERS/sqlite/se_test.db" <"$ROOT/sql/sqlite/base_tables.sql"
PGPASSWORD=$SE_TEST_PWD psql -X -q -h 127.0.0.1 -p "$SE_TEST_PG_PORT" -U "$SE_TEST_UID" -d se_test \
    -v ON_ERROR_STOP=1 -f "$ROOT/sql/postgres/base_tables.sql" >/dev/null
mariadb --no-defaults -h127.0.0.1 -P"$SE_TEST_MARIADB_PORT" -u"$SE_TEST_UID" -p"$SE_TEST_PWD" se_test \
    <"$ROOT/sql/mariadb/base_tables.sql"

# A delay proxy in front of a server, writing the port it listens on to
# SERVERS/NAME.port and counting requests in SERVERS/NAME.requests. Started
# from this shell itself: the proxy ends with its parent, so it must not be
# the child of a subshell.
start_proxy() {
    local name=$1 target=$2 delay=$3 file=$SERVERS/$1.port i
    "$BUILD/bench/se-delay-proxy" "$target" "$delay" "$PROXY_LIFETIME_S" "$file" "$SERVERS/$name.requests" &
    PROXIES+=($!)
    for i in $(seq 1 100); do [ -s "$file" ] && break; sleep 0.05; done
    [ -s "$file" ] || { echo "bench: the delay proxy for $name did not start" >&2; exit 1; }
}
start_proxy postgres "$SE_TEST_PG_PORT" "$DELAY_MS"
start_proxy mariadb "$SE_TEST_MARIADB_PORT" "$DELAY_MS"
start_proxy postgres_slow "$SE_TEST_PG_PORT" "$TYPEAHEAD_DELAY_MS"
start_proxy mariadb_slow "$SE_TEST_MARIADB_PORT" "$TYPEAHEAD_DELAY_MS"
PG_PROXY=$(cat "$SERVERS/postgres.port")
MARIADB_PROXY=$(cat "$SERVERS/mariadb.port")
LINK="$(( DELAY_MS * 2 ))ms"
SLOW_LINK="$(( TYPEAHEAD_DELAY_MS * 2 ))ms"

cat >>"$ODBCINI" <<INI

[se_bench_postgres_$LINK]
Driver=PostgreSQL ANSI
Servername=127.0.0.1
Port=$PG_PROXY
Database=se_test

[se_bench_mariadb_$LINK]
Driver=MariaDB Unicode
Server=127.0.0.1
Port=$MARIADB_PROXY
Database=se_test
CHARSET=utf8mb4

[se_bench_postgres_slow]
Driver=PostgreSQL ANSI
Servername=127.0.0.1
Port=$(cat "$SERVERS/postgres_slow.port")
Database=se_test

[se_bench_mariadb_slow]
Driver=MariaDB Unicode
Server=127.0.0.1
Port=$(cat "$SERVERS/mariadb_slow.port")
Database=se_test
CHARSET=utf8mb4
INI

export SE_BENCH_TARGETS="sqlite/file/se_test_sqlite postgres/loopback/se_test_postgres
    postgres/$LINK/se_bench_postgres_$LINK@$SERVERS/postgres.requests mariadb/loopback/se_test_mariadb
    mariadb/$LINK/se_bench_mariadb_$LINK@$SERVERS/mariadb.requests
    postgres/$SLOW_LINK/se_bench_postgres_slow@$SERVERS/postgres_slow.requests
    mariadb/$SLOW_LINK/se_bench_mariadb_slow@$SERVERS/mariadb_slow.requests"
export SE_BENCH_TYPEAHEAD_LINK=$SLOW_LINK
"$BUILD/bench/station-bench" "$@"
