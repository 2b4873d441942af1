#!/usr/bin/env bash
# A private sound server for the tests and benchmarks: PulseAudio's daemon, or
# PipeWire with its PulseAudio service, whichever this machine has. Either way
# it speaks the PulseAudio protocol on its own socket, has one null sink, and
# lives in a folder of its own: the user's running session is never touched.
#
#   private-sound-server.sh kind
#       prints "pulseaudio" or "pipewire"; fails if neither is installed.
#       ZAVREN_SOUND_SERVER=pulseaudio|pipewire picks one.
#   eval "$(private-sound-server.sh env DIR)"
#       prints the exports that put this shell (and what it starts) on a
#       private server in DIR: HOME, XDG_RUNTIME_DIR, PULSE_SERVER...
#   private-sound-server.sh run SINK
#       in such an environment, runs the server in the foreground with a null
#       sink SINK (monitor SINK.monitor). It replaces itself with the daemon,
#       so the caller's process id is the server's: SIGSTOP stalls it, SIGKILL
#       ends it.
#   private-sound-server.sh wait
#       waits up to 10 s until the server answers with its default sink.
#   private-sound-server.sh with SINK COMMAND [ARGS...]
#       all of the above around one command, in a temporary folder.
set -euo pipefail

die() {
    echo "private-sound-server: $*" >&2
    exit 1
}

have() { command -v "$1" >/dev/null; }

kind() {
    case ${ZAVREN_SOUND_SERVER:-} in
    pulseaudio | pipewire) echo "$ZAVREN_SOUND_SERVER" ;;
    "")
        if have pulseaudio; then
            echo pulseaudio
        elif have pipewire && have wireplumber && pipewire_has_pulse; then
            echo pipewire
        else
            die "no sound server to start: install pulseaudio, or pipewire-pulse and wireplumber"
        fi
        ;;
    *) die "ZAVREN_SOUND_SERVER is $ZAVREN_SOUND_SERVER (pulseaudio or pipewire)" ;;
    esac
}

pipewire_has_pulse() {
    local dir
    for dir in /usr/lib/*/pipewire-0.3 /usr/lib/pipewire-0.3; do
        [ -e "$dir/libpipewire-module-protocol-pulse.so" ] && return 0
    done
    return 1
}

print_env() {
    local dir=$1
    mkdir -p "$dir/home/.config" "$dir/run/pulse" "$dir/state"
    chmod 700 "$dir/run"
    echo "autospawn = no" >"$dir/client.conf"
    local name value
    for name in HOME XDG_RUNTIME_DIR XDG_CONFIG_HOME PULSE_RUNTIME_PATH PULSE_STATE_PATH \
        PULSE_SERVER PULSE_CLIENTCONFIG; do
        case $name in
        HOME) value=$dir/home ;;
        XDG_RUNTIME_DIR) value=$dir/run ;;
        XDG_CONFIG_HOME) value=$dir/home/.config ;;
        PULSE_RUNTIME_PATH) value=$dir/run/pulse ;;
        PULSE_STATE_PATH) value=$dir/state ;;
        PULSE_SERVER) value=unix:$dir/run/native ;;
        PULSE_CLIENTCONFIG) value=$dir/client.conf ;;
        esac
        printf 'export %s=%q\n' "$name" "$value"
    done
    # No display and no session bus: nothing here may reach the user's session.
    echo "unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS PIPEWIRE_REMOTE PIPEWIRE_RUNTIME_DIR"
}

# The socket clients reach, from PULSE_SERVER; only ever inside the private
# runtime folder.
socket_path() {
    [ -n "${XDG_RUNTIME_DIR:-}" ] || die "XDG_RUNTIME_DIR is not set (see: env)"
    local path=${PULSE_SERVER#unix:}
    [ "$path" != "${PULSE_SERVER:-}" ] && [ "${path#"$XDG_RUNTIME_DIR"/}" != "$path" ] ||
        die "PULSE_SERVER must be a unix socket inside XDG_RUNTIME_DIR (see: env)"
    echo "$path"
}

run_pulseaudio() { # socket sink
    exec pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --system=no \
        --disable-shm=yes --realtime=no --high-priority=no --log-target=stderr --log-level=error \
        -L "module-native-protocol-unix socket=$1 auth-anonymous=1" \
        -L "module-null-sink sink_name=$2"
}

# One PipeWire process holds the graph, the PulseAudio protocol and the null
# sink, so stopping or killing it stops or kills the whole server. WirePlumber
# links the streams; it watches no devices, and it goes when the server goes.
run_pipewire() { # socket sink
    local conf=$XDG_RUNTIME_DIR/zavren-pipewire
    # WirePlumber's settings and remembered state stay in here too.
    export XDG_CONFIG_HOME=$conf/config XDG_STATE_HOME=$conf/state XDG_CACHE_HOME=$conf/cache
    mkdir -p "$conf" "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME"
    cat >"$conf/pipewire.conf" <<EOF
context.properties = {
    core.daemon = true
    core.name = pipewire-0
    support.dbus = false
    module.x11.bell = false
    log.level = 1
}
context.spa-libs = {
    audio.convert.* = audioconvert/libspa-audioconvert
    support.*       = support/libspa-support
}
context.modules = [
    { name = libpipewire-module-protocol-native }
    { name = libpipewire-module-metadata }
    { name = libpipewire-module-spa-node-factory }
    { name = libpipewire-module-client-node }
    { name = libpipewire-module-client-device }
    { name = libpipewire-module-adapter }
    { name = libpipewire-module-link-factory }
    { name = libpipewire-module-access }
    { name = libpipewire-module-session-manager flags = [ ifexists nofail ] }
    { name = libpipewire-module-protocol-pulse }
]
context.objects = [
    { factory = spa-node-factory
      args = { factory.name = support.node.driver node.name = Dummy-Driver
               node.group = pipewire.dummy priority.driver = 20000 } }
    { factory = adapter
      args = { factory.name = support.null-audio-sink node.name = "$2"
               node.description = "$2" media.class = Audio/Sink object.linger = true
               audio.position = [ FL FR ] monitor.channel-volumes = true } }
]
pulse.properties = {
    server.address = [ "unix:$1" ]
}
EOF
    # Told to leave sound cards, Bluetooth, cameras and the session bus alone:
    # in Lua for WirePlumber 0.4, in SPA-JSON from 0.5 on.
    local wp=$XDG_CONFIG_HOME/wireplumber
    if [ -d /usr/share/wireplumber/main.lua.d ]; then
        mkdir -p "$wp/main.lua.d" "$wp/bluetooth.lua.d"
        printf '%s\n' "alsa_monitor.enabled = false" "v4l2_monitor.enabled = false" \
            "libcamera_monitor.enabled = false" >"$wp/main.lua.d/80-zavren-private.lua"
        echo "bluez_monitor.enabled = false" >"$wp/bluetooth.lua.d/80-zavren-private.lua"
    else
        mkdir -p "$wp/wireplumber.conf.d"
        cat >"$wp/wireplumber.conf.d/99-zavren-private.conf" <<'EOF'
wireplumber.profiles = {
  main = {
    monitor.alsa = disabled
    monitor.alsa-midi = disabled
    monitor.bluez = disabled
    monitor.bluez-midi = disabled
    monitor.bluez.seat-monitoring = disabled
    monitor.v4l2 = disabled
    monitor.libcamera = disabled
    support.reserve-device = disabled
    support.portal-permissionstore = disabled
    support.logind = disabled
    support.dbus = disabled
  }
}
EOF
    fi
    export PIPEWIRE_RUNTIME_DIR=$XDG_RUNTIME_DIR DBUS_SESSION_BUS_ADDRESS=unix:path=$conf/bus-$$
    unset PIPEWIRE_REMOTE DISPLAY WAYLAND_DISPLAY
    local server=$$
    (
        for _ in $(seq 100); do
            [ -S "$XDG_RUNTIME_DIR/pipewire-0" ] && break
            sleep 0.1
        done
        # WirePlumber 0.4 stops without a session bus: it gets a private one,
        # never the user's.
        local bus=""
        if have dbus-daemon; then
            dbus-daemon --session --nofork --address="$DBUS_SESSION_BUS_ADDRESS" \
                </dev/null >/dev/null 2>&1 &
            bus=$!
            for _ in $(seq 50); do
                [ -S "$conf/bus-$server" ] && break
                sleep 0.1
            done
        fi
        wireplumber </dev/null &
        manager=$!
        while kill -0 "$server" 2>/dev/null && kill -0 "$manager" 2>/dev/null; do sleep 0.2; done
        kill "$manager" $bus 2>/dev/null || true
        wait 2>/dev/null || true
    ) &
    exec pipewire -c "$conf/pipewire.conf"
}

# Up once it answers with a default sink (PipeWire's comes a moment later,
# from WirePlumber).
wait_for_server() {
    local _ sink
    for _ in $(seq 100); do
        sink=$(pactl get-default-sink 2>/dev/null) && [ -n "$sink" ] &&
            [ "$sink" != "@DEFAULT_SINK@" ] && return 0
        sleep 0.1
    done
    return 1
}

command=${1:-}
[ $# -gt 0 ] && shift
case $command in
kind) kind ;;
env)
    [ $# -eq 1 ] || die "usage: env DIR"
    print_env "$1"
    ;;
run)
    [ $# -eq 1 ] || die "usage: run SINK"
    socket=$(socket_path)
    server=$(kind)
    rm -f "$socket"
    "run_$server" "$socket" "$1"
    ;;
wait) wait_for_server ;;
with)
    [ $# -ge 2 ] || die "usage: with SINK COMMAND [ARGS...]"
    sink=$1
    shift
    tmp=$(mktemp -d)
    server_pid=
    cleanup() {
        if [ -n "$server_pid" ]; then
            kill "$server_pid" 2>/dev/null || true
            wait "$server_pid" 2>/dev/null || true
        fi
        rm -rf "$tmp"
    }
    trap cleanup EXIT
    eval "$(print_env "$tmp")"
    "$0" run "$sink" 2>"$tmp/server.log" &
    server_pid=$!
    if ! wait_for_server; then
        cat "$tmp/server.log" >&2
        die "the $(kind) server did not start"
    fi
    "$@"
    ;;
*) die "usage: private-sound-server.sh kind|env DIR|run SINK|wait|with SINK COMMAND..." ;;
esac
