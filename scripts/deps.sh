#!/usr/bin/env bash
# Installs, from Debian's packages, what this machine lacks, and never removes
# or replaces a package: apt's plan is simulated first, and if it would remove
# anything, nothing is changed and the conflict is explained.
#
#   scripts/deps.sh run          building and running (scripts/packages-run.txt)
#   scripts/deps.sh test         that, the tests' packages (scripts/packages-test.txt)
#                                and a sound server for the private test servers
#   scripts/deps.sh only PKG...  just these packages
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

list() { # file: its package names, without comments and blank lines
    sed 's/#.*//; s/^[[:space:]]*//; s/[[:space:]]*$//; /^$/d' "$1"
}

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive

updated=0
update() {
    [ "$updated" -eq 1 ] && return
    $sudo apt-get update -qq
    updated=1
}

# apt's plan for installing the packages given, as its "Inst"/"Remv" lines;
# fails if apt cannot make a plan at all.
plan() {
    local out
    out=$(apt-get -s install --no-install-recommends "$@" 2>&1) || {
        echo "$out" >&2
        return 1
    }
    grep -E '^(Inst|Remv) ' <<<"$out" || true
}

packages=()
want_sound_server=0
case ${1:-} in
run) mapfile -t packages < <(list "$here/packages-run.txt") ;;
test)
    mapfile -t packages < <(list "$here/packages-run.txt"; list "$here/packages-test.txt")
    want_sound_server=1
    ;;
only)
    shift
    packages=("$@")
    ;;
*)
    echo "usage: $0 run|test|only PACKAGE..." >&2
    exit 2
    ;;
esac

missing=()
for p in "${packages[@]}"; do
    # ZAVREN_SKIP_PACKAGES: names left out, for runs that need less (CI's
    # Debian 13 root runs no Wine and no fuzzing).
    [[ " ${ZAVREN_SKIP_PACKAGES:-} " == *" $p "* ]] && continue
    installed "$p" || missing+=("$p")
done

# The tests start a private server of whatever kind is here; if neither is,
# the one that installs without removals and with the fewer packages.
if [ "$want_sound_server" -eq 1 ] && ! installed pulseaudio &&
    ! { installed pipewire-pulse && installed wireplumber; }; then
    update
    best="" best_count=""
    for candidate in "pulseaudio" "pipewire-pulse wireplumber"; do
        # shellcheck disable=SC2086 # the candidate is a list of names
        if steps=$(plan "${missing[@]}" $candidate 2>/dev/null) && ! grep -q '^Remv ' <<<"$steps"; then
            count=$(grep -c '^Inst ' <<<"$steps" || true)
            if [ -z "$best" ] || [ "$count" -lt "$best_count" ]; then
                best=$candidate best_count=$count
            fi
        fi
    done
    if [ -z "$best" ]; then
        echo "Neither PulseAudio nor PipeWire's PulseAudio service (pipewire-pulse," >&2
        echo "wireplumber) can be installed here without removing packages, so the" >&2
        echo "end-to-end sound tests have no server to start. Nothing was changed." >&2
        exit 1
    fi
    echo "Sound server for the tests' private instances: $best"
    # shellcheck disable=SC2206
    missing+=($best)
fi

[ ${#missing[@]} -eq 0 ] && exit 0

update
steps=$(plan "${missing[@]}") || {
    echo "apt cannot install: ${missing[*]}. Nothing was changed." >&2
    exit 1
}
if grep -q '^Remv ' <<<"$steps"; then
    {
        echo "Installing these packages: ${missing[*]}"
        echo "would make apt REMOVE packages this machine has:"
        grep '^Remv ' <<<"$steps" | awk '{print "    " $2}'
        echo "Nothing was changed. Usually a sound stack is in the way (PipeWire and"
        echo "PulseAudio exclude each other). Either install the packages above that"
        echo "do not conflict by hand and build as the README's 'Building by hand'"
        echo "says, or decide yourself which packages to keep, e.g. with:"
        echo "    apt-get install --no-install-recommends ${missing[*]}"
    } >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
