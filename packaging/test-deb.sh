#!/usr/bin/env bash
# Builds the .deb from a finished build, installs it on this machine, starts
# the installed program on the offscreen platform, checks that it stays up,
# ends it, and removes the package again.
#
#   packaging/test-deb.sh BUILD_DIR
#
# Needs root (dpkg). Exits 77 (skipped) when it cannot install packages here.
set -euo pipefail
# No silent exit: name the command that failed.
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND exited with $?"' ERR

build=$(cd "${1:?usage: test-deb.sh BUILD_DIR}" && pwd)
package=zavren-speech
stay_up=${ZAVREN_STAY_UP_SECONDS:-3}

if [ "$(id -u)" -ne 0 ] || ! command -v dpkg >/dev/null || ! command -v apt-get >/dev/null; then
    echo "SKIP: installing a .deb needs root, dpkg and apt-get"
    exit 77
fi

work=$(mktemp -d)
installed_by_us=0
program_pid=""
cleanup() {
    if [ -n "$program_pid" ] && kill -0 "$program_pid" 2>/dev/null; then
        kill -KILL "$program_pid" 2>/dev/null || true
    fi
    if [ "$installed_by_us" -eq 1 ]; then
        dpkg --purge "$package" >/dev/null || echo "warning: could not remove $package"
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

echo "== building the package"
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log"
    fail "cpack could not build the package"
}
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, found: ${debs[*]}"
deb=${debs[0]}
echo "   $(basename "$deb")"

echo "== checking its contents and dependencies"
dpkg-deb --info "$deb" | sed 's/^/   /'
contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for path in ./usr/bin/zavren-speech ./usr/libexec/zavren-speech/zavren-voice \
    ./usr/share/man/man1/zavren-speech.1.gz \
    ./usr/share/doc/zavren-speech/copyright \
    ./usr/share/doc/zavren-speech/changelog.Debian.gz \
    ./usr/share/metainfo/example.zavren.speech.metainfo.xml \
    ./usr/share/applications/zavren-speech.desktop \
    ./usr/share/icons/hicolor/scalable/apps/zavren-speech.svg \
    ./usr/share/icons/hicolor/32x32/apps/zavren-speech.png; do
    grep -qx -- "$path" <<<"$contents" || fail "the package lacks $path"
done
depends=$(dpkg-deb --field "$deb" Depends)
depend_names=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/:any//; s/^ *//; s/ *$//')
# Every library the binary loads must come from a package it depends on.
owner_of() { # path -> the package that ships it (merged /usr: try both spellings)
    local p
    for p in "$1" "/usr${1#/usr}" "${1#/usr}" "$(readlink -f "$1")"; do
        # awk reads all of dpkg's output: an early exit would kill it with
        # SIGPIPE, which pipefail turns into a failure.
        dpkg -S "$p" 2>/dev/null | awk -F: 'NR == 1 {print $1}' | grep . && return 0
    done
    return 1
}
# Or through one it depends on: Debian 12's libtag1v5 is a name over
# libtag1v5-vanilla, which ships the library.
through_depends() { # package -> true when a package in Depends depends on it
    local d
    for d in $depend_names; do
        dpkg-query -W -f='${Depends}\n' "$d" 2>/dev/null | tr ',|' '\n\n' |
            sed 's/(.*//; s/:any//; s/^ *//; s/ *$//' | grep -qxF -- "$1" && return 0
    done
    return 1
}
# The program's and the helpers' (Flite's and Festival's, where they were built).
for binary in "$build/bin/zavren-speech" "$build/bin/zavren-voice-flite" \
    "$build/bin/zavren-voice-festival"; do
    [ -e "$binary" ] || continue
    needed=$(objdump -p "$binary" | awk '$1 == "NEEDED" {print $2}')
    [ -n "$needed" ] || fail "cannot list the libraries $binary needs"
    resolved=$(ldd "$binary")
    for soname in $needed; do
        path=$(awk -v s="$soname" '$1 == s && $3 ~ /^\// {print $3; exit}' <<<"$resolved")
        [ -n "$path" ] || fail "$soname does not resolve on this machine"
        owner=$(owner_of "$path") || fail "no package owns $path ($soname)"
        grep -qxF -- "$owner" <<<"$depend_names" || through_depends "$owner" ||
            fail "Depends lacks $owner (for $soname): $depends"
        echo "   $soname -> $owner"
    done
done
if [ -e "$build/bin/zavren-voice-flite" ]; then
    grep -qx -- ./usr/libexec/zavren-speech/zavren-voice-flite <<<"$contents" ||
        fail "the package lacks Flite's helper"
fi
if [ -e "$build/bin/zavren-voice-festival" ]; then
    grep -qx -- ./usr/libexec/zavren-speech/zavren-voice-festival <<<"$contents" ||
        fail "the package lacks Festival's helper"
    recommends=$(dpkg-deb --field "$deb" Recommends)
    for voice in festival festvox-us-slt-hts; do
        tr ',|' '\n\n' <<<"$recommends" | sed 's/^ *//; s/ *$//' | grep -qx -- "$voice" ||
            fail "Recommends lacks $voice: $recommends"
    done
fi
# The captions' face, chosen for its widths.
grep -qx -- "fonts-liberation" <<<"$depend_names" || fail "Depends lacks fonts-liberation: $depends"
[ "$(dpkg-deb --field "$deb" Architecture)" = "$(dpkg --print-architecture)" ] ||
    fail "package architecture is not this machine's"

echo "== lintian: no errors, no warnings"
# Its word about running as root is no finding about the package.
if ! lint=$(lintian --fail-on error,warning "$deb" 2>&1); then
    echo "$lint"
    fail "lintian reports problems with the package"
fi
grep -v 'root privileges' <<<"$lint" | sed 's/^/   /' || true

mkdir "$work/tree"
dpkg-deb --extract "$deb" "$work/tree"
appstreamcli validate --no-net "$work/tree/usr/share/metainfo/example.zavren.speech.metainfo.xml" ||
    fail "the AppStream metadata does not validate"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$work/tree/usr/share/applications/zavren-speech.desktop" ||
        fail "the desktop entry does not validate"
fi
entry="$work/tree/usr/share/applications/zavren-speech.desktop"
grep -qx 'Exec=zavren-speech %f' "$entry" || fail "the launcher does not hand over the file to open"
grep -qx 'MimeType=text/plain;' "$entry" || fail "the launcher does not offer to open text files"
file_type=$(head -c 4 "$work/tree/usr/share/icons/hicolor/32x32/apps/zavren-speech.png" | od -An -c | tr -d ' ')
[ "$file_type" = "211PNG" ] || fail "the 32x32 icon is not a PNG"

echo "== installing it"
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    echo "   (replacing the $package already installed here; it is removed afterwards)"
fi
installed_by_us=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" \
    >"$work/apt.log" 2>&1 || {
    cat "$work/apt.log"
    fail "apt-get could not install the package"
}
dpkg-query -W -f='${Status}' "$package" | grep -q "install ok installed" ||
    fail "dpkg does not list $package as installed"

# What a desktop would look up: the launcher's command on PATH, its icon in the theme.
exec_cmd=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' /usr/share/applications/zavren-speech.desktop)
program=$(PATH=/usr/local/bin:/usr/bin:/bin command -v "$exec_cmd") ||
    fail "the launcher's command $exec_cmd is not on PATH"
[ "$program" = /usr/bin/zavren-speech ] || echo "   note: $exec_cmd resolves to $program"
icon=$(sed -n 's/^Icon=//p' /usr/share/applications/zavren-speech.desktop)
[ -f "/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "icon $icon is not in the hicolor theme"

echo "== speaking to a file with no display"
echo "Hello." | env -i HOME="$work" PATH=/usr/bin:/bin LANG=C.UTF-8 \
    /usr/bin/zavren-speech --speak-to "$work/hello.ogg" - ||
    fail "the installed program could not write speech to a file"
[ -s "$work/hello.ogg" ] || fail "the speech file is empty"

echo "== starting the installed program offscreen for ${stay_up}s"
# A clean environment: no display, no user's sound server (and none spawned).
mkdir -m 700 "$work/home" "$work/run"
env -i HOME="$work/home" XDG_RUNTIME_DIR="$work/run" PATH=/usr/bin:/bin LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen PULSE_SERVER="unix:$work/run/no-sound-server" \
    /usr/bin/zavren-speech >"$work/program.log" 2>&1 &
program_pid=$!
sleep "$stay_up"
if ! kill -0 "$program_pid" 2>/dev/null; then
    status=0
    wait "$program_pid" || status=$?
    program_pid=""
    cat "$work/program.log"
    fail "the installed program ended by itself within ${stay_up}s (exit status $status)"
fi
kill -TERM "$program_pid"
status=0
for _ in $(seq 50); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$program_pid" 2>/dev/null && fail "the program did not end on SIGTERM within 5s"
wait "$program_pid" || status=$?
program_pid=""
# 128 + 15: ended by the signal we sent, not by a crash of its own.
[ "$status" -eq 143 ] || {
    cat "$work/program.log"
    fail "the program ended with status $status after SIGTERM (expected 143)"
}
if grep -qiE 'error while loading shared libraries|could not load the qt platform plugin|sanitizer' \
    "$work/program.log"; then
    cat "$work/program.log"
    fail "the program reported a start-up fault"
fi
echo "   it ran and ended on SIGTERM; its output:"
sed 's/^/   | /' "$work/program.log"

echo "== removing it"
dpkg --purge "$package" >/dev/null
installed_by_us=0
[ ! -e /usr/bin/zavren-speech ] || fail "/usr/bin/zavren-speech is still there after removal"
echo "PASS"
