#!/usr/bin/env bash
# Builds station-editor twice (normal, and with AddressSanitizer and
# UndefinedBehaviorSanitizer), starts throw-away PostgreSQL and MariaDB servers
# and runs every test suite of both builds against SQLite, PostgreSQL and
# MariaDB; then builds the Debian package and checks it. Exits non-zero on any
# failure. Safe to run again; needs root (or sudo) to install missing
# packages and for piuparts, which tests the package in a chroot.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cd "$ROOT"
START=$SECONDS

PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-private-dev qt6-svg-dev qt6-translations-l10n libgtest-dev libgmock-dev
          libbenchmark-dev unixodbc-dev unixodbc odbcinst libsqliteodbc odbc-postgresql odbc-mariadb
          libgeographiclib-dev libcpp-httplib-dev libxml2-utils groff-base
          postgresql-15 mariadb-server xvfb xauth sqlite3
          dpkg-dev desktop-file-utils appstream lintian piuparts debootstrap x11-utils xdotool nodejs gdal-bin)
# npm installs the StationXML client the tools' tests read the export with.
# Debian's nodejs leaves it to the package npm; a nodejs of another origin
# (NodeSource) brings its own npm and conflicts with Debian's.
command -v npm >/dev/null || PACKAGES+=(npm)
BACKENDS=(sqlite postgres mariadb)

section() { printf '\n========== %s ==========\n' "$*"; }
elapsed() { local s=$(( SECONDS - START )); printf '%dm%02ds' $(( s / 60 )) $(( s % 60 )); }

# ---------------------------------------------------------------------------
section "Packages"
"$ROOT/scripts/install-packages.sh" "${PACKAGES[@]}"

# ---------------------------------------------------------------------------
# Sanitizer settings for every run of a sanitized binary, the test discovery
# during the build included. Leaks are suppressed only inside the ODBC driver
# manager, the drivers and Qt (scripts/lsan.supp). Such a suppression matches a
# frame anywhere in the allocating stack, so stacks are taken with the full
# unwinder: the drivers are built without frame pointers.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1:fast_unwind_on_malloc=0
export LSAN_OPTIONS=suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

GENERATOR=()
command -v ninja >/dev/null && GENERATOR=(-G Ninja)
JOBS=$(nproc 2>/dev/null || echo 2)

build() {
    local dir=$1; shift
    section "Build $dir ($(elapsed))"
    # A folder configured with another generator cannot be reused.
    if [ -f "$dir/CMakeCache.txt" ] && ! grep -q "CMAKE_GENERATOR:INTERNAL=${GENERATOR[1]:-Unix Makefiles}\$" "$dir/CMakeCache.txt"; then
        rm -rf "$dir"
    fi
    mkdir -p "$dir"
    cmake -S "$ROOT" -B "$dir" "${GENERATOR[@]}" "$@" >"$dir/configure.log" 2>&1 \
        || { cat "$dir/configure.log"; echo "configure of $dir failed" >&2; exit 1; }
    cmake --build "$dir" -j"$JOBS"
}

build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSE_SANITIZE=OFF -DSE_WERROR=ON
# Benchmarks are built in the normal build only: timings under the sanitizers
# mean nothing. scripts/bench.sh runs them; CTest does not.
build build-asan -DCMAKE_BUILD_TYPE=Debug -DSE_SANITIZE=ON -DSE_WERROR=ON -DSE_BUILD_BENCH=OFF

# ---------------------------------------------------------------------------
section "Database servers ($(elapsed))"
SERVERS=$(mktemp -d "${TMPDIR:-/tmp}/se-test.XXXXXX")
cleanup() {
    local rc=$?
    trap - EXIT INT TERM
    section "Stopping database servers"
    "$ROOT/scripts/test-servers.sh" stop "$SERVERS" || true
    rm -rf "$SERVERS"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
"$ROOT/scripts/test-servers.sh" start "$SERVERS"
# shellcheck disable=SC1091
. "$SERVERS/env.sh"
export QT_QPA_PLATFORM=offscreen

# ---------------------------------------------------------------------------
FAILED=()
SKIPPED=()

# Runs one build's tests; a failure is remembered, the other build still runs.
run_suites() {
    local dir=$1
    section "Tests of $dir ($(elapsed))"
    local log=$ROOT/$dir/Testing/Temporary/LastTest.log
    if ! (cd "$dir" && ctest --output-on-failure --timeout 900); then
        FAILED+=("$dir: test failures")
    fi
    # A test that a backend cannot serve skips with its reason: listed in
    # the summary, by suite and backend, without failing the run. Read before
    # the listings below, which write a log of their own over this one.
    if [ -f "$log" ]; then
        local skipped
        skipped=$(awk '/^[0-9]+\/[0-9]+ Testing: / { suite = $3 }
                       /^\[  SKIPPED \] [^ ]+ \(/ { print "  " suite ": " $4 }' "$log" | sort -u)
        [ -z "$skipped" ] || SKIPPED+=("$dir:" "$skipped")
    fi
    # Every backend must have run suites of its own: a build without them
    # would pass without touching a database.
    local backend count
    for backend in "${BACKENDS[@]}"; do
        count=$(cd "$dir" && ctest -N -L "^$backend\$" | sed -n 's/^Total Tests: //p')
        echo "$dir: $backend suites: ${count:-0}"
        [ "${count:-0}" -gt 0 ] || FAILED+=("$dir: no $backend suites")
    done
}

run_suites build

run_suites build-asan

# ---------------------------------------------------------------------------
# The Debian package: a Release build of its own (build/package/), then the
# validators, lintian and two starts of the unpacked editor.
section "Package ($(elapsed))"
if ! "$ROOT/scripts/package.sh"; then
    FAILED+=("package: build failed")
elif ! "$ROOT/scripts/check-package.sh" "$ROOT"/build/station-editor_*.deb; then
    FAILED+=("package: check failed")
fi

# ---------------------------------------------------------------------------
section "Summary ($(elapsed))"
if [ ${#SKIPPED[@]} -gt 0 ]; then
    echo "Skipped tests (their reasons are in the suites' output):"
    printf '%s\n' "${SKIPPED[@]}"
fi
if [ ${#FAILED[@]} -gt 0 ]; then
    printf 'FAILED: %s\n' "${FAILED[@]}"
    exit 1
fi
echo "All suites passed on ${BACKENDS[*]} in both builds; the package passed its checks."
