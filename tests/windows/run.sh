#!/usr/bin/env bash
# The Windows side, from a fresh Debian 12 machine: installs mingw-w64 and Wine
# if missing, cross-compiles the Windows halves of the platform layer and their
# tests (warnings are errors), and runs the tests under Wine in a throwaway
# Wine prefix holding the registry values they read.
#   tests/windows/run.sh [BUILD_DIR]      (default: build-mingw in the repo)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build-mingw}
started=$(date +%s)

# Packages: the cross compiler, Wine (64-bit), the build tools, and the
# locale sources Wine's code pages are chosen by.
# Installed only if apt can do so without removing anything.
"$root/scripts/deps.sh" only mingw-w64 wine wine64 cmake ninja-build locales

cmake -S "$root/tests/windows/project" -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2

# A Wine prefix of our own, removed with its wineserver whatever happens.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/zavren-wine.XXXXXX")
export WINEPREFIX=$scratch/prefix
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    if [ -d "$WINEPREFIX" ]; then
        timeout 60 wineserver -k 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# Wine takes the ANSI code page from the locale (en_US: 1252, ja_JP: the
# double-byte 932) and the encoding of Unix file names from it too, so the
# locales must exist: built privately, the system's are left alone.
export LOCPATH=$scratch/locales
mkdir -p "$LOCPATH"
for locale in en_US ja_JP; do
    # -c: a warning about the locale's sources is no reason to stop.
    localedef -c -i "$locale" -f UTF-8 "$LOCPATH/$locale.UTF-8" || [ -d "$LOCPATH/$locale.UTF-8" ]
done

export WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko install prompts
unset DISPLAY WAYLAND_DISPLAY                # console programs only
wine_in() { local locale=$1 limit=$2; shift 2; env LC_ALL="$locale" timeout "$limit" wine "$@"; }
cd "$build"
# Its chatter (no 32-bit half, configuration updated) is shown only on failure.
if ! wine_in en_US.UTF-8 300 wineboot --init 2>"$scratch/wineboot.log"; then
    cat "$scratch/wineboot.log"
    exit 1
fi
timeout 120 wineserver -w

# The values registry_test.exe reads (it lists them by name).
key='HKLM\SOFTWARE\Zavren Tests'
reg() { wine_in en_US.UTF-8 60 reg add "$key" /f "$@" >/dev/null; }
reg /v "reg sz" /t REG_SZ /d 'C:\Program Files\Tool\tool.exe'
reg /v "reg sz empty" /t REG_SZ /d ''
reg /v "reg dword" /t REG_DWORD /d 0x12345678
reg /v "reg binary" /t REG_BINARY /d 0102
reg /v "reg binary empty" /t REG_BINARY
reg /v "reg expand" /t REG_EXPAND_SZ /d '%SystemRoot%\system32'
reg /v "reg multi" /t REG_MULTI_SZ /d 'one\0two'
hex() { printf '%s' "$1" | od -An -v -tx1 | tr -d ' \n'; }
repeat() { local s=""; for ((i = 0; i < $2; i++)); do s+=$1; done; printf '%s' "$s"; }
exact() { wine_in en_US.UTF-8 60 ./regwrite.exe 'SOFTWARE\Zavren Tests' "$@"; }
exact "sz zero" 1 "$(hex 'C:\Tools\tool.exe')00"
exact "sz nozero" 1 "$(hex 'C:\Tools\tool.exe')"
exact "sz one" 1 78
exact "sz twozeros" 1 61620000
exact "sz ansi" 1 636166e900
exact "sz empty data" 1
exact "sz 1023 zero" 1 "$(repeat 61 1023)00"
exact "sz 1024 nozero" 1 "$(repeat 61 1024)"
exact "sz 1024 zero" 1 "$(repeat 61 1024)00"
exact "dword" 4 78563412
exact "dword small" 4 05000000
exact "dword zero" 4 00000000
exact "dword top" 4 00000080
exact "dword ones" 4 ffffffff
exact "dword empty data" 4
exact "binary" 3 0102
exact "binary 1025" 3 "$(repeat 78 1025)"

passed=0
failed=0
status=0
run() { # run LOCALE PROGRAM.exe
    local output
    output=$(wine_in "$1" 300 "$2" 2>&1 | tr -d '\r') || status=1
    printf '%s\n' "$output"
    local line
    line=$(printf '%s\n' "$output" | grep -E '^[a-z_]+: [0-9]+ passed, [0-9]+ failed$' | tail -1)
    if [ -z "$line" ]; then
        echo "$2: no result line"
        status=1
        return
    fi
    passed=$((passed + $(sed -E 's/.*: ([0-9]+) passed.*/\1/' <<<"$line")))
    failed=$((failed + $(sed -E 's/.* ([0-9]+) failed$/\1/' <<<"$line")))
}
run en_US.UTF-8 ./filesearch_test.exe
run en_US.UTF-8 ./registry_test.exe
run en_US.UTF-8 ./process_test.exe
run en_US.UTF-8 ./childprocess_test.exe
run en_US.UTF-8 ./sysinfo_test.exe
run en_US.UTF-8 ./textread_test.exe
run ja_JP.UTF-8 ./textread_test.exe # ANSI code page 932, double-byte

echo "Windows tests under Wine took $(($(date +%s) - started)) s"
echo "wine: $passed passed, $failed failed"
[ "$failed" -eq 0 ] || status=1
exit $status
