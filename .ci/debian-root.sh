#!/usr/bin/env bash
# Runs a command on a copy of this repository inside a fresh Debian root
# (debootstrap's minbase with a compiler, cmake, git and python3: the machine
# the README's commands are written for), as root:
#
#   .ci/debian-root.sh SUITE COMMAND [ARGS...]     e.g. trixie bash scripts/test.sh
#
# The root comes from the mirror this machine's own apt sources name
# (ZAVREN_DEBIAN_MIRROR overrides). Kept between runs under
# ZAVREN_ROOT_CACHE (/var/cache/zavren-ci): the bootstrapped root as a tarball,
# and the .debs apt downloads into it. Each run unpacks the tarball afresh, and
# everything mounted or started for it is undone on exit.
set -euo pipefail
suite=${1:?usage: debian-root.sh SUITE COMMAND [ARGS...]}
shift
[ $# -ge 1 ] || { echo "usage: debian-root.sh SUITE COMMAND [ARGS...]" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "debian-root.sh needs root (debootstrap, mount, chroot)" >&2; exit 1; }
repo=$(cd "$(dirname "$0")/.." && pwd)
cache=${ZAVREN_ROOT_CACHE:-/var/cache/zavren-ci}
arch=$(dpkg --print-architecture)
tarball=$cache/debian-$suite-$arch.tar.gz
archives=$cache/apt-archives-$suite-$arch

# The Debian archive this machine installs from: the URI given for its own
# release (not -updates or -security) in sources.list or a .sources file.
mirror() {
    local codename files=()
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -f /etc/apt/sources.list ] && files+=(/etc/apt/sources.list)
    for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && files+=("$f")
    done
    [ ${#files[@]} -gt 0 ] || return 1
    awk -v want="$codename" '
        # One-line form: deb [options] URI SUITE COMPONENTS...
        /^[[:space:]]*deb[[:space:]]/ {
            i = 2
            if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
            if ($(i + 1) == want) { print $i; exit }
        }
        # deb822 form: a stanza of Types, URIs, Suites...
        /^[[:space:]]*$/ { uris = ""; suites = ""; types = "" }
        tolower($1) == "types:" { types = $0 }
        tolower($1) == "uris:" { uris = $2 }
        tolower($1) == "suites:" { suites = " " $0 " " }
        types ~ /[[:space:]]deb([[:space:]]|$)/ && uris != "" && suites ~ (" " want " ") {
            print uris; exit
        }' "${files[@]}"
}

timed_start=$SECONDS
if [ ! -f "$tarball" ]; then
    url=${ZAVREN_DEBIAN_MIRROR:-$(mirror)}
    [ -n "$url" ] || { echo "no Debian mirror in this machine's apt sources" >&2; exit 1; }
    echo "== bootstrapping Debian $suite from $url"
    mkdir -p "$cache"
    # A fresh machine may not have it yet.
    command -v debootstrap >/dev/null ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q debootstrap >/dev/null
    fresh=$(mktemp -d "$cache/bootstrap.XXXXXX")
    trap 'rm -rf "$fresh"' EXIT
    debootstrap --variant=minbase --include=g++,cmake,git,python3 "$suite" "$fresh" "$url" \
        >"$cache/bootstrap-$suite.log" 2>&1 || {
        tail -20 "$cache/bootstrap-$suite.log"
        exit 1
    }
    tar -C "$fresh" -czf "$tarball.part" .
    mv "$tarball.part" "$tarball"
    rm -rf "$fresh"
    trap - EXIT
    echo "== root bootstrapped and cached: $((SECONDS - timed_start)) s"
fi

root=$(mktemp -d "${ZAVREN_ROOT_WORK:-/var/tmp}/zavren-$suite.XXXXXX")
mounted=()
cleanup() {
    local pid i
    # Whatever still runs inside this root was started by this run.
    for pid in /proc/[0-9]*; do
        if [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ]; then
            kill -KILL "${pid#/proc/}" 2>/dev/null || true # it may have ended meanwhile
        fi
    done
    sleep 0.2
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" || true
    done
    if grep -q " $root/" /proc/mounts; then
        echo "warning: $root still has mounts; left in place" >&2
    else
        rm -rf "$root"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

tar -C "$root" -xzf "$tarball"
# mktemp made it private; tests that drop root to nobody must still reach /.
chmod 755 "$root"
mount_in() { # mount arguments... target (inside the root)
    local target=$root${*: -1}
    mkdir -p "$target"
    mount "${@:1:$#-1}" "$target"
    mounted+=("$target")
}
mount_in -t proc proc /proc
mount_in -t sysfs sysfs /sys
mount_in --bind /dev /dev
mount_in --bind /dev/pts /dev/pts
mount_in -t tmpfs tmpfs /dev/shm
mkdir -p "$archives"
# One root at a time uses the kept .debs; another running meanwhile downloads its own.
exec 9>"$archives.lock"
if flock -n 9; then
    mount_in --bind "$archives" /var/cache/apt/archives
fi
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
# Packages' services are not started inside the root.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"

# A copy of the repository as committed and as it stands, without build output.
mkdir "$root/src"
tar -C "$repo" --exclude='./build*' -cf - . | tar -C "$root/src" -xf -

echo "== Debian $suite root ready: $(. "$root/etc/os-release" && echo "$PRETTY_NAME")"
chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 TERM=dumb DEBIAN_FRONTEND=noninteractive \
    ZAVREN_JOBS="${ZAVREN_JOBS:-2}" ZAVREN_SKIP_PACKAGES="${ZAVREN_SKIP_PACKAGES:-}" /bin/bash -c 'cd /src && exec "$@"' bash "$@"
