#!/usr/bin/env bash
# Checks a built Debian package of station-editor:
#
#   scripts/check-package.sh build/station-editor_<version>_<arch>.deb
#
# validates its desktop entry and AppStream metainfo, runs lintian (errors
# fail, warnings are printed) and piuparts (install, remove and purge in a
# clean Debian 12 chroot: scripts/piuparts.sh, as root or through sudo),
# unpacks it into a temporary root and starts the unpacked editor on a
# virtual X display twice, as a new user would: first with no configuration at
# all (the personal database is created and announced, then the form opens),
# then with zrn.ini and odbc.ini in the user's folders and the demo stations in
# that database, opening station KIV.
# A start passes when the form's window appears and no message box besides
# the expected one does. Exits non-zero on the first problem.
#
# Needs desktop-file-utils, appstream, lintian, piuparts, debootstrap, xvfb,
# xauth, x11-utils, xdotool and sqlite3.
set -euo pipefail

DEB=$(realpath "$1")
FORM_TITLE="Установка параметров станции"
BOX_TITLE=station-editor

fail() { echo "check-package: $*" >&2; exit 1; }
step() { echo "--- $*"; }

if [ -n "${CHECK_PACKAGE_INSIDE_X:-}" ]; then
    WORK=$CHECK_PACKAGE_WORK
    PKGROOT=$WORK/root
else
    WORK=$(mktemp -d "${TMPDIR:-/tmp}/se-package.XXXXXX")
    trap 'rm -rf "$WORK"' EXIT
    PKGROOT=$WORK/root
    dpkg-deb -x "$DEB" "$PKGROOT"

    step "desktop-file-validate"
    desktop-file-validate "$PKGROOT"/usr/share/applications/*.desktop

    step "appstreamcli validate"
    appstreamcli validate --no-net "$PKGROOT"/usr/share/metainfo/*.metainfo.xml

    step "lintian"
    lintian --fail-on error --display-level '>=warning' "$DEB" || fail "lintian reports errors"

    # Install, remove and purge in a clean chroot; needs root.
    step "piuparts"
    SUDO=()
    [ "$(id -u)" -eq 0 ] || SUDO=(sudo)
    "${SUDO[@]}" "$(dirname "$(realpath "$0")")/piuparts.sh" "$DEB" || fail "piuparts: install, remove or purge failed"

    # The starts run inside a virtual display, in this same script; the
    # display must not reset when the first editor, its last client, ends.
    export CHECK_PACKAGE_INSIDE_X=1 CHECK_PACKAGE_WORK=$WORK
    rc=0
    timeout 180 xvfb-run -a -s "-screen 0 1280x900x24 -noreset" "$0" "$DEB" || rc=$?
    [ "$rc" -eq 0 ] || fail "the unpacked editor did not start as expected (status $rc)"
    echo "check-package: $(basename "$DEB") passed"
    exit 0
fi

# ---------------------------------------------------------------------------
# Inside the virtual display from here on. run_start NAME BOXES [ARGS...]
# starts the unpacked editor with a clean environment whose home is
# $WORK/home (plus the settings in START_ENV), answers the BOXES (0 or 1) expected message box with Return,
# waits (at most 30 s) for the form and ends the editor.
HOMEDIR=$WORK/home
mkdir -p "$HOMEDIR"
EDITOR_BIN=$PKGROOT/usr/bin/station-editor

# The shown top-level windows titled $1 (there is no window manager, so they
# are children of the root window; a window counts once it is viewable). A
# line reads: 0x200010 "title": ("class" "class") geometry.
windows() {
    local id
    for id in $(xwininfo -root -children 2>/dev/null | grep -F " \"$1\": (" | awk '{print $1}'); do
        xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && echo "$id"
    done
    return 0
}

run_start() {
    local name=$1 expect_box=$2; shift 2
    step "start: $name"
    (cd "$HOMEDIR" && exec env -i PATH=/usr/bin:/bin HOME="$HOMEDIR" DISPLAY="$DISPLAY" XAUTHORITY="${XAUTHORITY:-}" \
        LANG=C.UTF-8 "${START_ENV[@]}" "$EDITOR_BIN" "$@") >"$WORK/$name.log" 2>&1 &
    local editor=$! boxes=0 answered=" " form='' box
    for _ in $(seq 1 300); do
        kill -0 "$editor" 2>/dev/null || { cat "$WORK/$name.log" >&2; fail "$name: the editor ended before its form showed"; }
        box=$(windows "$BOX_TITLE" | head -n1)
        if [ -n "$box" ]; then
            # A box stays listed for a moment after its answer: count each once.
            case "$answered" in
                *" $box "*) ;;
                *) answered+="$box "; boxes=$((boxes + 1)) ;;
            esac
            [ "$boxes" -le "$expect_box" ] || { kill "$editor"; fail "$name: an unexpected message box"; }
            xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
        fi
        form=$(windows "$FORM_TITLE" | head -n1)
        [ -n "$form" ] && break
        sleep 0.1
    done
    [ -n "$form" ] || { kill "$editor"; fail "$name: the form did not appear"; }
    [ "$boxes" -eq "$expect_box" ] || { kill "$editor"; fail "$name: expected $expect_box message box(es), saw $boxes"; }
    # The station loads after the window maps; a failure there shows a box.
    sleep 2
    [ -z "$(windows "$BOX_TITLE")" ] || { kill "$editor"; fail "$name: a message box after the form opened"; }
    kill "$editor"
    wait "$editor" 2>/dev/null || true
    echo "$name: the form opened"
}

# A new user: nothing configured anywhere.
START_ENV=()
run_start first-start 1
DB=$HOMEDIR/.local/share/station-editor/zrn.sqlite
[ -f "$DB" ] || fail "first start: no personal database at $DB"

# The demo stations in that database, reached through zrn.ini and odbc.ini in
# the user's folders; the editor opens on station KIV.
sqlite3 -bail "$DB" <"$PKGROOT/usr/share/station-editor/sql/sqlite/demo_stations.sql"
mkdir -p "$HOMEDIR/.config"
printf '[ZRN_DEMO]\nDriver=SQLite3\nDatabase=%s\n' "$DB" >"$HOMEDIR/.odbc.ini"
# unixODBC finds ~/.odbc.ini through the password database, not HOME.
START_ENV=(ODBCINI="$HOMEDIR/.odbc.ini")
printf '[DATABASE]\nODBC=ZRN_DEMO\nUSER=ZRN\nPASSWORD=PJQ\n' >"$HOMEDIR/.config/zrn.ini"
run_start demo-station 0 KIV
