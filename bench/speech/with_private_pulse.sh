#!/usr/bin/env bash
# Runs a command (a benchmark) against a private PulseAudio server with a null
# sink, so the real sound-device path can be timed on a machine without sound:
#   bench/speech/with_private_pulse.sh build/bench/speech/speech_bench 5
# Everything lives in a temporary folder; only the server started here is
# stopped, by its own id.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 COMMAND [ARGS...]"; exit 2; }
command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed"; exit 1; }

tmp=$(mktemp -d)
server=
cleanup() {
    if [ -n "$server" ]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    rm -rf "$tmp"
}
trap cleanup EXIT

export HOME=$tmp/home XDG_RUNTIME_DIR=$tmp/run XDG_CONFIG_HOME=$tmp/home/.config
export PULSE_RUNTIME_PATH=$tmp/run/pulse PULSE_STATE_PATH=$tmp/state
export PULSE_SERVER=unix:$tmp/run/native PULSE_CLIENTCONFIG=$tmp/client.conf
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$PULSE_RUNTIME_PATH" "$PULSE_STATE_PATH"
chmod 700 "$XDG_RUNTIME_DIR"
echo "autospawn = no" >"$PULSE_CLIENTCONFIG"

pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no \
    --disable-shm=yes --realtime=no --high-priority=no --log-target=stderr \
    -L "module-native-protocol-unix socket=$tmp/run/native auth-anonymous=1" \
    -L "module-null-sink sink_name=bench_null" 2>"$tmp/pulse.log" &
server=$!
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { cat "$tmp/pulse.log"; echo "the sound server did not start"; exit 1; }

"$@"
