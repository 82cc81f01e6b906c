#!/usr/bin/env bash
# Builds and starts the station editor.
#
#   ./run.sh [STATION] [ODBC=dsn] [USER=u] [PASSWORD=p]
#   ./run.sh --serve [--listen ADDRESS:PORT] [--network CODE] [ODBC=dsn] [USER=u] [PASSWORD=p]
#
# With --serve it starts station-serve, the FDSN station web service, on the
# same database instead of the editor (no display needed).
#
# Without ODBC= the editor works on a demo SQLite database that the first run
# creates under .local/ (data source ZRN in .local/odbc.ini, configuration in
# .local/zrn.ini). With ODBC= it works on that data source, found through your
# ODBCINI if you set one, else through .local/odbc.ini. Safe to run again: the
# demo data, once created, is kept.
#
# It configures the editor and its tools only, without the test suites and
# the benchmarks (./test.sh builds those), so it needs none of their packages,
# and in a folder of its own, build-run/: test.sh configures build/ with the tests,
# and a build/ configured here without them would keep them switched off for
# test.sh too (CMake keeps an option's cached value).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
LOCAL=$ROOT/.local
BUILD=$ROOT/build-run

# To configure and build: the compiler, CMake, Qt (with its private GUI
# headers: the form holds a station-code edit while more keys wait), unixODBC,
# GeographicLib and cpp-httplib (the tools). To run: Qt's Russian translations (standard
# buttons and dialogs), the ODBC drivers (SQLite for the demo database,
# PostgreSQL and MariaDB for ODBC=) and sqlite3, which fills the demo database.
PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-private-dev qt6-svg-dev
          qt6-translations-l10n libgeographiclib-dev libcpp-httplib-dev unixodbc-dev unixodbc odbcinst libsqliteodbc
          odbc-postgresql odbc-mariadb sqlite3)

say() { echo "run.sh: $*" >&2; }

"$ROOT/scripts/install-packages.sh" "${PACKAGES[@]}" >&2

# --- build ------------------------------------------------------------------
GENERATOR=()
command -v ninja >/dev/null && GENERATOR=(-G Ninja)
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    say "configuring $BUILD"
    cmake -S "$ROOT" -B "$BUILD" "${GENERATOR[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSE_SANITIZE=OFF \
        -DSE_BUILD_TESTS=OFF -DSE_BUILD_BENCH=OFF >/dev/null
fi
say "building"
PROGRAM=station-editor
[ "${1:-}" = --serve ] && PROGRAM=station-serve
cmake --build "$BUILD" -j"$(nproc 2>/dev/null || echo 2)" --target "$PROGRAM" station-upgrade >&2

# --- demo database and configuration -----------------------------------------
mkdir -p "$LOCAL/data/RESPONSE"
DEMO_DB=$LOCAL/zrn.sqlite
ODBC_INI=$LOCAL/odbc.ini
ZRN_INI_FILE=$LOCAL/zrn.ini

if [ ! -f "$ODBC_INI" ]; then
    cat >"$ODBC_INI" <<INI
[ZRN]
Description=station-editor demo database
Driver=SQLite3
Database=$DEMO_DB
Timeout=3000
INI
fi

if [ ! -f "$ZRN_INI_FILE" ]; then
    cat >"$ZRN_INI_FILE" <<INI
[DATABASE]
ODBC=ZRN
USER=ZRN
PASSWORD=PJQ

[ZRN]
DIR=$LOCAL/data
INI
fi

for f in "$ROOT"/scripts/demo-response/*; do
    [ -e "$LOCAL/data/RESPONSE/$(basename "$f")" ] || cp "$f" "$LOCAL/data/RESPONSE/"
done

if [ ! -f "$DEMO_DB" ]; then
    say "creating the demo database $DEMO_DB"
    # Built under another name and moved into place at the end, so that an
    # interrupted first run does not leave half a database behind.
    fresh=$LOCAL/zrn.sqlite.new
    rm -f "$fresh"
    sqlite3 -bail "$fresh" <"$ROOT/sql/sqlite/base_tables.sql"
    cat >"$LOCAL/odbc.ini.new" <<INI
[ZRN_NEW]
Driver=SQLite3
Database=$fresh
INI
    ODBCINI=$LOCAL/odbc.ini.new "$BUILD/tools/station-upgrade" "DSN=ZRN_NEW;UID=ZRN;PWD=PJQ;"
    rm -f "$LOCAL/odbc.ini.new"
    sqlite3 -bail "$fresh" <"$ROOT/sql/sqlite/demo_stations.sql"
    mv "$fresh" "$DEMO_DB"
fi

# --- start --------------------------------------------------------------------
# The editor finds ODBC= anywhere on its command line; so does this check.
if [[ " $* " =~ ODBC=[^[:space:]] ]]; then
    export ODBCINI=${ODBCINI:-$ODBC_INI}
    export ZRN_INI=${ZRN_INI:-$ZRN_INI_FILE}
else
    export ODBCINI=$ODBC_INI
    export ZRN_INI=$ZRN_INI_FILE
fi

if [ "$PROGRAM" = station-serve ]; then
    say "ODBCINI=$ODBCINI ZRN_INI=$ZRN_INI"
    exec "$BUILD/tools/station-serve" "${@:2}"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    say "no display found (DISPLAY is not set); the editor needs one, e.g. run it under xvfb-run"
fi
say "ODBCINI=$ODBCINI ZRN_INI=$ZRN_INI"
exec "$BUILD/app/station-editor" "$@"
