# shellcheck shell=bash
# Shared by scripts/fresh-machine.sh and scripts/piuparts.sh (sourced,
# not run): the Debian package source this machine's apt uses, the cached
# minimal Debian 12 base system made from it, and the removal of a chroot
# folder that never reaches through a mount into the host.
#
# Needs root for the base system and the removal (chroot, mount, debootstrap).

DEBIAN_SUITE=bookworm
DEBIAN_CACHE=${SE_DEBIAN_CACHE:-/var/cache/station-editor}

# The entries of this machine's apt sources, one "TYPE URI SUITE COMPONENT..."
# a line, read
# from /etc/apt/sources.list and /etc/apt/sources.list.d/*.list (one-line
# format) and /etc/apt/sources.list.d/*.sources (deb822; "Enabled: no" ones
# left out). Read from the files themselves: apt's own view of them
# (apt-get indextargets) is empty until the first apt-get update.
apt_source_entries() {
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        awk '{ sub(/#.*/, "") }
             $1 == "deb" || $1 == "deb-src" {
                 i = 2
                 if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
                 if (i + 1 <= NF) { line = $1; for (; i <= NF; i++) line = line " " $i; print line }
             }' "$file"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk 'function flush(   t, u, s, nt, nu, ns, a, b, c) {
                 if (enabled != "no") {
                     nt = split(types, t, " "); nu = split(uris, u, " "); ns = split(suites, s, " ")
                     for (a = 1; a <= nt; a++) for (b = 1; b <= nu; b++) for (c = 1; c <= ns; c++) print t[a], u[b], s[c], components
                 }
                 types = uris = suites = components = ""; enabled = "yes"
             }
             BEGIN { enabled = "yes" }
             /^[ \t]*#/ { next }
             /^[ \t]*$/ { flush(); next }
             /^[ \t]/ { next }
             {
                 field = tolower($1); value = $0; sub(/^[^:]*:[ \t]*/, "", value)
                 if (field == "types:") types = value
                 else if (field == "uris:") uris = value
                 else if (field == "suites:") suites = value
                 else if (field == "components:") components = value
                 else if (field == "enabled:") enabled = tolower(value)
             }
             END { flush() }' "$file"
    done
}

# The URI of the repository that carries the suite $1 (bookworm,
# bookworm-updates, bookworm-security) with the component main in this
# machine's apt sources (another vendor's repository named after the suite,
# e.g. "bookworm stable", is not it); empty when there is none.
debian_source() {
    apt_source_entries | awk -v s="$1" '$1 == "deb" && $3 == s {
        for (i = 4; i <= NF; i++) if ($i == "main") { print $2; exit } }'
}

# The lines of a sources.list for the base system: the suite itself and, where
# this machine has them, its updates and security updates, from the same
# repositories as this machine's. Fails when apt knows no repository of the suite.
debian_sources_list() {
    local main updates security
    main=$(debian_source "$DEBIAN_SUITE")
    [ -n "$main" ] || { echo "no $DEBIAN_SUITE repository in this machine's apt sources" >&2; return 1; }
    echo "deb $main $DEBIAN_SUITE main"
    updates=$(debian_source "$DEBIAN_SUITE-updates")
    [ -z "$updates" ] || echo "deb $updates $DEBIAN_SUITE-updates main"
    security=$(debian_source "$DEBIAN_SUITE-security")
    [ -z "$security" ] || echo "deb $security $DEBIAN_SUITE-security main"
}

# The mount points at or below the folder $1, deepest first.
mounts_under() {
    local dir
    dir=$(realpath -m "$1")
    # /proc/self/mounts writes a space in a path as \040; our folders have none.
    awk -v d="$dir" '$2 == d || index($2, d "/") == 1 { print $2 }' /proc/self/mounts | sort -r
}

# Ends (TERM, then KILL) every process whose root directory is the folder $1
# or lies below it: whatever a chroot there started and left running.
kill_chroot_processes() {
    local dir pid root pids round
    dir=$(realpath -m "$1")
    for round in 1 2 3 4 5 6 7 8 9 10 11; do
        pids=()
        for pid in /proc/[0-9]*; do
            root=$(readlink "$pid/root" 2>/dev/null) || continue
            case "$root" in "$dir" | "$dir"/*) pids+=("${pid#/proc/}") ;; esac
        done
        [ ${#pids[@]} -gt 0 ] || return 0
        if [ "$round" -eq 1 ]; then
            echo "stopping processes left in $dir:" >&2
            ps -o pid=,args= -p "$(IFS=,; echo "${pids[*]}")" >&2 || true
            kill -TERM "${pids[@]}" 2>/dev/null || true
        elif [ "$round" -eq 11 ]; then
            kill -KILL "${pids[@]}" 2>/dev/null || true
        fi
        sleep 0.5
    done
}

# Unmounts everything at or below the folder $1; a busy mount is detached
# lazily. Fails when something is still mounted there afterwards.
unmount_under() {
    local mnt left
    for mnt in $(mounts_under "$1"); do
        umount "$mnt" 2>/dev/null || umount -l "$mnt" || true
    done
    left=$(mounts_under "$1")
    [ -z "$left" ] || { echo "still mounted: $left" >&2; return 1; }
}

# Removes the folder $1 of a chroot: stops its processes, unmounts what is
# mounted below it, and deletes it only when nothing is mounted there any more
# (a bind-mounted /dev deleted through would be the host's own). rm stays on
# the folder's own file system as a second guard.
safe_remove() {
    local dir=$1
    [ -e "$dir" ] || return 0
    kill_chroot_processes "$dir"
    if ! unmount_under "$dir"; then
        echo "left $dir in place: something is still mounted below it" >&2
        return 1
    fi
    rm -rf --one-file-system "$dir"
}

# Extracts the base system tarball $1 into the new folder $2 and checks that
# a program runs in it.
debian_base_extract() {
    mkdir -p "$2" && tar -C "$2" --numeric-owner -xzf "$1" && chroot "$2" /bin/true
}

# Prints the path of the cached base system: a tarball of a minimal Debian 12
# (debootstrap --variant=minbase) from this machine's package source, made
# once and kept in $DEBIAN_CACHE. Made again when missing, and with --rebuild
# (the caller found it broken).
debian_base() {
    local arch tarball main tmp include=()
    arch=$(dpkg --print-architecture)
    tarball=$DEBIAN_CACHE/base-$DEBIAN_SUITE-$arch.tar.gz
    mkdir -p "$DEBIAN_CACHE"
    (
        # One maker at a time; a second run waits and then finds it made.
        flock 9
        [ "${1:-}" != --rebuild ] || rm -f "$tarball"
        [ -f "$tarball" ] && exit 0
        main=$(debian_source "$DEBIAN_SUITE")
        [ -n "$main" ] || { echo "no $DEBIAN_SUITE repository in this machine's apt sources" >&2; exit 1; }
        command -v debootstrap >/dev/null || "$(dirname "${BASH_SOURCE[0]}")/install-packages.sh" debootstrap >&2
        case "$main" in https:*) include=(--include=ca-certificates) ;; esac
        # What an interrupted maker left behind goes first.
        for tmp in "$DEBIAN_CACHE"/make.*; do
            [ ! -d "$tmp" ] || safe_remove "$tmp"
        done
        tmp=$(mktemp -d "$DEBIAN_CACHE/make.XXXXXX")
        trap 'safe_remove "$tmp"' EXIT
        trap 'exit 130' INT
        trap 'exit 143' TERM
        echo "making the base system: debootstrap $DEBIAN_SUITE from $main" >&2
        debootstrap --variant=minbase "${include[@]}" "$DEBIAN_SUITE" "$tmp/root" "$main" >"$tmp/debootstrap.log" 2>&1 \
            || { tail -n 30 "$tmp/debootstrap.log" >&2; echo "debootstrap failed" >&2; exit 1; }
        unmount_under "$tmp/root"
        rm -rf "$tmp/root/var/cache/apt/archives/"*.deb "$tmp/root/var/lib/apt/lists/"*_* 2>/dev/null || true
        tar -C "$tmp/root" --numeric-owner -czf "$tmp/base.tar.gz" .
        mv "$tmp/base.tar.gz" "$tarball"
    ) 9>"$DEBIAN_CACHE/.lock" || return 1
    echo "$tarball"
}
