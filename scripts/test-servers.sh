#!/usr/bin/env bash
# Starts or stops the throw-away database servers of the test run: PostgreSQL 15
# and MariaDB on loopback, on free ports, with all their files under one folder.
#
#   scripts/test-servers.sh start DIR   DIR: an empty folder (e.g. from mktemp -d)
#   scripts/test-servers.sh stop DIR
#
# "start" creates on each server the database se_test and the user se_test with
# a random password, writes DIR/odbc.ini with the data sources se_test_sqlite,
# se_test_postgres and se_test_mariadb, and DIR/env.sh, which exports ODBCINI,
# SE_TEST_UID and SE_TEST_PWD for the database tests (SE_TEST_BRACED_UID and
# SE_TEST_BRACED_PWD for a second user whose password needs braces;
# SE_TEST_LIMITED_UID and SE_TEST_LIMITED_PWD for a PostgreSQL user who may
# not create tables, given rights on tables by the tests that use it), and
# ODBCSYSINI for a copy of the system's driver list (see write_odbcinst_ini):
#   . DIR/env.sh
# It fails (non-zero, with the server's log) when a server does not come up.
# "stop" stops whatever "start" left running in DIR; it is safe to call twice.
set -euo pipefail

PG_BIN=${PG_BIN:-/usr/lib/postgresql/15/bin}
DB_NAME=se_test
DB_USER=se_test
# A second user on each server, with the first one's rights, whose password
# holds the characters a connect string must brace: ; { }
BRACED_USER=se_test_braced
BRACED_PASSWORD='se;c{r}et'
# A PostgreSQL user without the right to create tables (the schema public
# grants CREATE only to its owner on PostgreSQL 15).
LIMITED_USER=se_test_limited
LIMITED_PASSWORD=limited

die() { echo "test-servers: $*" >&2; exit 1; }

# Runs a command as the owner of the PostgreSQL files: initdb and the server
# refuse to run as root.
as_pg_user() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

# A TCP port on 127.0.0.1 that nothing listens on now.
free_port() {
    local port tries
    for tries in $(seq 1 200); do
        port=$(( 20000 + RANDOM % 40000 ))
        if ! (exec 3<>/dev/tcp/127.0.0.1/"$port") 2>/dev/null; then
            echo "$port"
            return 0
        fi
    done
    die "no free TCP port found"
}

show_log() {
    echo "---- $1 ----" >&2
    tail -n 40 "$1" >&2 || true
    echo "----" >&2
}

start_postgres() {
    local dir=$1 port=$2 password=$3
    local data=$dir/pg/data sock=$dir/pg/run log=$dir/pg/server.log
    mkdir -p "$dir/pg" "$sock"
    if [ "$(id -u)" -eq 0 ]; then
        id postgres >/dev/null 2>&1 || die "user postgres is missing (package postgresql-15)"
        chown -R postgres: "$dir/pg"
    fi
    echo "PostgreSQL: initialising $data"
    if ! as_pg_user "$PG_BIN/initdb" -D "$data" -U postgres -E UTF8 --locale=C.UTF-8 -N \
            --auth-local=trust --auth-host=scram-sha-256 >"$dir/pg/initdb.log" 2>&1; then
        show_log "$dir/pg/initdb.log"
        die "PostgreSQL initdb failed"
    fi
    echo "PostgreSQL: starting on 127.0.0.1:$port"
    if ! as_pg_user "$PG_BIN/pg_ctl" -D "$data" -l "$log" -w -t 90 \
            -o "-c listen_addresses=127.0.0.1 -p $port -k $sock -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
            start >/dev/null; then
        show_log "$log"
        die "PostgreSQL did not come up"
    fi
    as_pg_user "$PG_BIN/psql" -X -q -h "$sock" -p "$port" -U postgres -d postgres -v ON_ERROR_STOP=1 \
        -c "CREATE ROLE $DB_USER LOGIN PASSWORD '$password'" \
        -c "CREATE DATABASE $DB_NAME OWNER $DB_USER ENCODING 'UTF8' TEMPLATE template0" \
        -c "CREATE ROLE $BRACED_USER LOGIN PASSWORD '$BRACED_PASSWORD' IN ROLE $DB_USER" \
        -c "CREATE ROLE $LIMITED_USER LOGIN PASSWORD '$LIMITED_PASSWORD'" >/dev/null \
        || die "PostgreSQL: cannot create the test user and database"
    PGPASSWORD=$password "$PG_BIN/psql" -X -q -h 127.0.0.1 -p "$port" -U "$DB_USER" -d "$DB_NAME" -tA \
        -c "SELECT 1" >/dev/null || die "PostgreSQL: the test user cannot log in over TCP"
    echo "PostgreSQL: ready (database $DB_NAME, user $DB_USER)"
}

start_mariadb() {
    local dir=$1 port=$2 password=$3
    local data=$dir/mariadb/data sock=$dir/mariadb/mysqld.sock log=$dir/mariadb/server.log
    local user_opt=()
    mkdir -p "$dir/mariadb"
    [ "$(id -u)" -eq 0 ] && user_opt=(--user=root)
    echo "MariaDB: initialising $data"
    if ! mariadb-install-db --no-defaults --datadir="$data" "${user_opt[@]}" \
            --auth-root-authentication-method=normal --skip-test-db >"$dir/mariadb/install.log" 2>&1; then
        show_log "$dir/mariadb/install.log"
        die "mariadb-install-db failed"
    fi
    echo "MariaDB: starting on 127.0.0.1:$port"
    mariadbd --no-defaults --datadir="$data" --port="$port" --bind-address=127.0.0.1 --socket="$sock" \
        --pid-file="$dir/mariadb/mariadbd.pid" --log-error="$log" "${user_opt[@]}" \
        --character-set-server=utf8mb4 --collation-server=utf8mb4_bin --skip-name-resolve --skip-log-bin \
        --innodb-buffer-pool-size=64M --innodb-flush-log-at-trx-commit=0 --innodb-log-file-size=16M \
        >/dev/null 2>&1 </dev/null &
    echo $! >"$dir/mariadb/launcher.pid"
    local i
    for i in $(seq 1 180); do
        if mariadb-admin --no-defaults --socket="$sock" -uroot ping >/dev/null 2>&1; then
            break
        fi
        if ! kill -0 "$(cat "$dir/mariadb/launcher.pid")" 2>/dev/null; then
            show_log "$log"
            die "MariaDB exited while starting"
        fi
        sleep 0.5
    done
    mariadb-admin --no-defaults --socket="$sock" -uroot ping >/dev/null 2>&1 || { show_log "$log"; die "MariaDB did not come up"; }
    mariadb --no-defaults --socket="$sock" -uroot -e "
        CREATE DATABASE $DB_NAME CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;
        CREATE USER '$DB_USER'@'%' IDENTIFIED BY '$password';
        GRANT ALL PRIVILEGES ON $DB_NAME.* TO '$DB_USER'@'%';
        CREATE USER '$BRACED_USER'@'%' IDENTIFIED BY '$BRACED_PASSWORD';
        GRANT ALL PRIVILEGES ON $DB_NAME.* TO '$BRACED_USER'@'%';" \
        || die "MariaDB: cannot create the test user and database"
    mariadb --no-defaults -h127.0.0.1 -P"$port" -u"$DB_USER" -p"$password" "$DB_NAME" -e "SELECT 1" >/dev/null \
        || die "MariaDB: the test user cannot log in over TCP"
    echo "MariaDB: ready (database $DB_NAME, user $DB_USER)"
}

# The system's driver list, each driver marked DontDLClose: the driver manager
# then keeps a driver loaded after its last connection, so that the leak
# checker of the sanitizer build can still name the driver's functions.
write_odbcinst_ini() {
    local dir=$1 system=${ODBCSYSINI:-/etc}/odbcinst.ini
    [ -f "$system" ] || die "no ODBC driver list at $system (package odbcinst)"
    # CommLog is switched off too: Debian turns psqlODBC's log on, which would
    # leave a log file in /tmp for every test process.
    awk '/^[[:space:]]*\[/ { if (section) print "DontDLClose=1"; section = 1 }
         /^[[:space:]]*CommLog[[:space:]]*=/ { print "CommLog=0"; next }
         !/^[[:space:]]*DontDLClose[[:space:]]*=/ { print }
         END { if (section) print "DontDLClose=1" }' "$system" >"$dir/odbcinst.ini"
}

write_odbc_ini() {
    local dir=$1 pg_port=$2 maria_port=$3
    mkdir -p "$dir/sqlite"
    cat >"$dir/odbc.ini" <<INI
[se_test_sqlite]
Driver=SQLite3
Database=$dir/sqlite/se_test.db
Timeout=3000

[se_test_postgres]
Driver=PostgreSQL ANSI
Servername=127.0.0.1
Port=$pg_port
Database=$DB_NAME

[se_test_mariadb]
Driver=MariaDB Unicode
Server=127.0.0.1
Port=$maria_port
Database=$DB_NAME
CHARSET=utf8mb4
INI
}

start() {
    local dir=$1
    [ -d "$dir" ] || die "no such folder: $dir"
    dir=$(cd "$dir" && pwd)
    # The server users must reach their folders below DIR.
    chmod 755 "$dir"
    local password pg_port maria_port
    password=$(head -c 18 /dev/urandom | base64 | tr -dc 'A-Za-z0-9' | head -c 16)
    pg_port=$(free_port)
    start_postgres "$dir" "$pg_port" "$password"
    maria_port=$(free_port)
    [ "$maria_port" != "$pg_port" ] || maria_port=$(free_port)
    start_mariadb "$dir" "$maria_port" "$password"
    write_odbc_ini "$dir" "$pg_port" "$maria_port"
    write_odbcinst_ini "$dir"
    cat >"$dir/env.sh" <<ENV
export ODBCINI=$dir/odbc.ini
export ODBCSYSINI=$dir
export SE_TEST_UID=$DB_USER
export SE_TEST_PWD=$password
export SE_TEST_BRACED_UID=$BRACED_USER
export SE_TEST_BRACED_PWD='$BRACED_PASSWORD'
export SE_TEST_LIMITED_UID=$LIMITED_USER
export SE_TEST_LIMITED_PWD=$LIMITED_PASSWORD
export SE_TEST_PG_PORT=$pg_port
export SE_TEST_MARIADB_PORT=$maria_port
ENV
    echo "Data sources: $dir/odbc.ini (environment: . $dir/env.sh)"
}

stop() {
    local dir=$1
    [ -d "$dir" ] || return 0
    if [ -f "$dir/pg/data/postmaster.pid" ]; then
        echo "PostgreSQL: stopping"
        as_pg_user "$PG_BIN/pg_ctl" -D "$dir/pg/data" -m fast -w -t 60 stop >/dev/null 2>&1 || true
    fi
    local pidfile=$dir/mariadb/mariadbd.pid
    [ -f "$pidfile" ] || pidfile=$dir/mariadb/launcher.pid
    if [ -f "$pidfile" ]; then
        local pid i
        pid=$(cat "$pidfile")
        if kill -0 "$pid" 2>/dev/null; then
            echo "MariaDB: stopping"
            kill "$pid" 2>/dev/null || true
            for i in $(seq 1 120); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
            kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null || true
        fi
    fi
}

case "${1:-}" in
    start) [ $# -eq 2 ] || die "usage: $0 start DIR"; start "$2" ;;
    stop) [ $# -eq 2 ] || die "usage: $0 stop DIR"; stop "$2" ;;
    *) die "usage: $0 start|stop DIR" ;;
esac
