#!/usr/bin/env bash
# Installs, removes and purges a Debian package in a clean Debian 12 chroot
# with piuparts, which fails on errors in the maintainer scripts, missing
# dependencies and files left behind:
#
#   scripts/piuparts.sh build/station-editor_<version>_<arch>.deb     (as root)
#
# The chroot starts from the cached minimal base system (scripts/debian-base.sh,
# made with debootstrap on first use); its apt uses this machine's package
# source, with the suite's updates and security updates where this machine has
# them (the package is built against their libraries). piuparts works in a
# temporary folder that is unmounted and removed on every way out. Works on a
# normal host and inside the chroot of scripts/fresh-machine.sh.
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=debian-base.sh
. "$HERE/debian-base.sh"

DEB=$(realpath "$1")
[ "$(id -u)" -eq 0 ] || { echo "piuparts.sh: needs root" >&2; exit 1; }
command -v piuparts >/dev/null || "$HERE/install-packages.sh" piuparts

SOURCES=$(debian_sources_list)
MIRROR=$(echo "$SOURCES" | awk 'NR == 1 { print $2 }')
EXTRA=()
while read -r line; do
    EXTRA+=(--extra-repo="$line")
done < <(echo "$SOURCES" | tail -n +2)
BASE=$(debian_base)

WORK=$(mktemp -d "${TMPDIR:-/tmp}/se-piuparts.XXXXXX")
trap 'safe_remove "$WORK"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

rc=0
piuparts --basetgz="$BASE" --distribution="$DEBIAN_SUITE" --mirror="$MIRROR main" "${EXTRA[@]}" \
    --tmpdir="$WORK" --no-upgrade-test "$DEB" >"$WORK/piuparts.log" 2>&1 || rc=$?
if [ "$rc" -ne 0 ]; then
    # Its findings with the lines that go with them; else the end of its log.
    grep -a -A 6 -E '^[0-9.ms]+ (ERROR|FAIL):' "$WORK/piuparts.log" >&2 || tail -n 60 "$WORK/piuparts.log" >&2
    echo "piuparts.sh: piuparts failed (status $rc)" >&2
    exit 1
fi
grep -a 'PASS:' "$WORK/piuparts.log" || tail -n 1 "$WORK/piuparts.log"
