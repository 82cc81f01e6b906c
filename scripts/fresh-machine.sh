#!/usr/bin/env bash
# Runs the README's two commands on a freshly made minimal Debian 12, as a
# newcomer would after `git clone`:
#
#   scripts/fresh-machine.sh            (as root)
#
# The base system is debootstrap's minimal Debian 12 from the package source
# this machine's apt uses (scripts/debian-base.sh), cached as a tarball in
# /var/cache/station-editor/ (SE_DEBIAN_CACHE) and made again when missing or
# broken. Each run extracts a fresh copy into a temporary folder, brings it to
# the current point release, puts a clean clone of this repository's current
# commit (uncommitted changes are not part of it) into /root/station-editor
# and runs there, as root, the README's two commands: `./run.sh KIV` on Qt's
# offscreen platform until the form is up (then stops it), `./test.sh` in
# full, and `./run.sh KIV` once more. Exits non-zero when anything failed;
# prints the time of each phase at the end.
#
# SE_FRESH_KEEP=1 leaves the chroot folder in place (unmounted) for a look.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=debian-base.sh
. "$ROOT/scripts/debian-base.sh"

# How long the editor must keep running with its form shown, and how long
# run.sh may take to build it before that.
EDITOR_SECONDS=10
RUN_TIMEOUT=2400
FORM_TITLE="Установка параметров станции"

[ "$(id -u)" -eq 0 ] || { echo "fresh-machine: needs root (debootstrap, chroot, mount)" >&2; exit 1; }

START=$SECONDS
TIMES=()
PHASE=
PHASE_START=$SECONDS
mmss() { printf '%dm%02ds' $(( $1 / 60 )) $(( $1 % 60 )); }
phase() {
    [ -z "$PHASE" ] || TIMES+=("$(printf '%-46s %s' "$PHASE" "$(mmss $(( SECONDS - PHASE_START )))")")
    PHASE=$1
    PHASE_START=$SECONDS
    [ -z "$PHASE" ] || printf '\n########## fresh machine: %s ##########\n' "$PHASE"
}
say() { echo "fresh-machine: $*" >&2; }

WORK=$(mktemp -d /var/tmp/se-fresh.XXXXXX)
CHROOT=$WORK/root

cleanup() {
    local rc=$?
    trap - EXIT INT TERM HUP
    [ -z "$PHASE" ] || { [ "$rc" -eq 0 ] || PHASE+=" (failed)"; }
    phase ""
    if [ "${SE_FRESH_KEEP:-}" = 1 ]; then
        kill_chroot_processes "$CHROOT"
        unmount_under "$WORK" && say "kept $WORK" || rc=1
    else
        safe_remove "$WORK" || rc=1
    fi
    printf '\n########## fresh machine: times ##########\n'
    printf '%s\n' "${TIMES[@]}"
    printf '%-46s %s\n' "total" "$(mmss $(( SECONDS - START )))"
    [ "$rc" -eq 0 ] && echo "fresh machine: passed" || echo "fresh machine: FAILED (status $rc)"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Runs a command and waits for it. bash runs a trap only once the command in
# the foreground has ended, but interrupts a `wait` at once: a signal to this
# script then stops the chroot's processes and unmounts without waiting for
# ./test.sh to finish.
run() {
    "$@" &
    wait $!
}

# Runs a command in the chroot, as root, with a clean environment.
in_chroot() {
    local extra=()
    [ ! -s "$CHROOT$LOCAL_AUTHORITIES" ] || extra=(NODE_EXTRA_CA_CERTS="$LOCAL_AUTHORITIES")
    chroot "$CHROOT" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" CI="${CI:-}" "${extra[@]}" \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}
# The certificate authorities this machine adds to Debian's (a site's proxy
# may sign with one of them), as one file inside the chroot.
LOCAL_AUTHORITIES=/etc/ssl/local-authorities.pem

# ---------------------------------------------------------------------------
phase "base system"
SOURCES=$(debian_sources_list)
BASE=$(debian_base)
if ! debian_base_extract "$BASE" "$CHROOT"; then
    say "the cached base system $BASE is broken: making it again"
    safe_remove "$CHROOT"
    BASE=$(debian_base --rebuild)
    debian_base_extract "$BASE" "$CHROOT"
fi

# apt's sources: those of this machine, for the suite and its updates.
echo "$SOURCES" >"$CHROOT/etc/apt/sources.list"
rm -f "$CHROOT"/etc/apt/sources.list.d/*
echo "$SOURCES"
# A proxy this machine's apt goes through, the chroot's apt goes through too.
PROXY=$(apt-config dump --format '%v' Acquire::http::Proxy 2>/dev/null || true)
[ -z "$PROXY" ] || echo "Acquire::http::Proxy \"$PROXY\";" >"$CHROOT/etc/apt/apt.conf.d/01proxy"
# No service starts inside the chroot when its package is installed.
printf '#!/bin/sh\nexit 101\n' >"$CHROOT/usr/sbin/policy-rc.d"
chmod 755 "$CHROOT/usr/sbin/policy-rc.d"
cp -L /etc/resolv.conf "$CHROOT/etc/resolv.conf" 2>/dev/null || true
# The chroot trusts what this machine trusts: its own certificate authorities
# go to the same folder (update-ca-certificates takes them in when the
# ca-certificates package is installed) and, for Node's npm, which reads only
# its built-in list, into one file named by NODE_EXTRA_CA_CERTS.
if compgen -G "/usr/local/share/ca-certificates/*.crt" >/dev/null; then
    mkdir -p "$CHROOT/usr/local/share/ca-certificates" "$CHROOT/etc/ssl"
    cp /usr/local/share/ca-certificates/*.crt "$CHROOT/usr/local/share/ca-certificates/"
    cat /usr/local/share/ca-certificates/*.crt >"$CHROOT$LOCAL_AUTHORITIES"
fi
[ -s "$CHROOT/etc/hosts" ] || printf '127.0.0.1\tlocalhost\n::1\t\tlocalhost ip6-localhost ip6-loopback\n' >"$CHROOT/etc/hosts"

# The kernel's file systems. /dev is this machine's, bound in (not
# recursively): /dev/pts is bound on its own and /dev/shm is a tmpfs of the
# chroot's own, so nothing the chroot mounts reaches the host's /dev. Every
# bind is made a slave, so that no mount below it propagates back.
mount -t proc proc "$CHROOT/proc"
mount -t sysfs sysfs "$CHROOT/sys"
mount --bind /dev "$CHROOT/dev"
mount --make-rslave "$CHROOT/dev"
mount --bind /dev/pts "$CHROOT/dev/pts"
mount --make-rslave "$CHROOT/dev/pts"
mount -t tmpfs -o mode=1777,nosuid,nodev shm "$CHROOT/dev/shm"

# A clean clone of the current commit.
COMMIT=$(git -C "$ROOT" rev-parse HEAD)
[ -z "$(git -C "$ROOT" status --porcelain --untracked-files=no)" ] ||
    say "uncommitted changes in $ROOT are not part of the test"
git init -q "$CHROOT/root/station-editor"
git -C "$CHROOT/root/station-editor" fetch -q --no-tags "$ROOT" "$COMMIT"
git -C "$CHROOT/root/station-editor" checkout -q --detach FETCH_HEAD
echo "commit $COMMIT"

# piuparts in scripts/check-package.sh starts from the same base system, at
# the place where scripts/debian-base.sh looks for it by default.
mkdir -p "$CHROOT/var/cache/station-editor"
cp "$BASE" "$CHROOT/var/cache/station-editor/"

# ---------------------------------------------------------------------------
phase "point release (apt upgrade)"
run in_chroot sh -c 'apt-get -q update && DEBIAN_FRONTEND=noninteractive apt-get -q -y upgrade' >"$WORK/upgrade.log" 2>&1 ||
    { cat "$WORK/upgrade.log"; say "apt upgrade failed"; exit 1; }
tail -n 3 "$WORK/upgrade.log"

# ---------------------------------------------------------------------------
# ./run.sh KIV on Qt's offscreen platform. The form is up when Qt announces its
# window to the accessibility layer (logged with the category
# qt.accessibility.cache on every platform, the offscreen one included); a
# message box shows there as an AlertMessage. Passes when the form came up,
# the editor still runs $EDITOR_SECONDS s later and showed no message box.
check_run_sh() {
    local log=$WORK/run-$1.log editor deadline
    in_chroot env QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=qt.accessibility.cache=true \
        bash -c 'cd /root/station-editor && exec ./run.sh KIV' >"$log" 2>&1 &
    editor=$!
    deadline=$(( SECONDS + RUN_TIMEOUT ))
    until grep -aqF "name=\"$FORM_TITLE\" role=Dialog" "$log"; do
        if ! kill -0 "$editor" 2>/dev/null; then
            grep -av '^qt\.accessibility' "$log" | tail -n 40 >&2
            wait "$editor" || say "run.sh ended with status $?"
            say "./run.sh KIV ended before its form showed"
            return 1
        fi
        [ "$SECONDS" -lt "$deadline" ] || { grep -av '^qt\.accessibility' "$log" | tail -n 40 >&2; say "./run.sh KIV: no form after $RUN_TIMEOUT s"; return 1; }
        sleep 1
    done
    say "the form is up; the editor must keep running for $EDITOR_SECONDS s"
    sleep "$EDITOR_SECONDS"
    grep -av '^qt\.accessibility' "$log" | tail -n 8
    kill -0 "$editor" 2>/dev/null || { say "the editor ended after its form showed"; return 1; }
    if grep -aq 'role=AlertMessage' "$log"; then
        grep -a 'qt_msgbox_label\|role=AlertMessage' "$log" >&2
        say "the editor showed a message box"
        return 1
    fi
    kill -TERM "$editor"
    wait "$editor" 2>/dev/null || true
    kill_chroot_processes "$CHROOT"
    echo "./run.sh KIV: the form opened and the editor kept running"
}

# First on the fresh system, as a newcomer starts: this proves that run.sh
# installs all it needs itself (test.sh installs more, which would hide a
# package missing from run.sh's list).
phase "./run.sh KIV, fresh (packages, build, start)"
check_run_sh fresh

phase "./test.sh"
rc=0
run in_chroot bash -c 'cd /root/station-editor && ./test.sh' || rc=$?
[ "$rc" -eq 0 ] || { say "./test.sh failed (status $rc)"; exit 1; }

# And again after ./test.sh, whose builds must leave run.sh's alone.
phase "./run.sh KIV after ./test.sh"
check_run_sh again
phase ""
