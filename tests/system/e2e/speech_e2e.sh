#!/usr/bin/env bash
# End to end through real sound: the speech control plays through QAudioSink
# into a private sound server's null sink (PulseAudio, or PipeWire's PulseAudio
# service), whose monitor is recorded.
#  1. with no server yet, speak fails with a description;
#  2. once the server is up, the next speak is heard;
#  3. after stop, the sink is silent;
#  4. quitting while speaking ends the program promptly.
# Everything lives in a temporary folder (socket, HOME, XDG_RUNTIME_DIR), and
# only the processes started here are stopped, by their own ids.
set -euo pipefail

driver=${1:?usage: speech_e2e.sh DRIVER}
server=$(dirname "$0")/../../support/private-sound-server.sh
kind=$("$server" kind) || { echo "FAIL: no sound server is installed"; exit 1; }
for tool in pactl parec sox; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done

rate=22050
tmp=$(mktemp -d)
started=()
cleanup() {
    local pid
    for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${started[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$tmp"
}
trap cleanup EXIT

eval "$("$server" env "$tmp")"
export QT_QPA_PLATFORM=offscreen

passed=0
failed=0
check() { # check NAME COMMAND...: the command's success is the verdict
    local name=$1
    shift
    if "$@"; then echo "PASS: $name"; passed=$((passed + 1))
    else echo "FAIL: $name"; failed=$((failed + 1)); fi
}
finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

coproc DRIVER { exec "$driver"; }
driver_pid=$DRIVER_PID
started+=("$driver_pid")
send() { # send COMMAND: prints the driver's one-line answer
    local reply
    echo "$1" >&"${DRIVER[1]}"
    IFS= read -r -t 20 reply <&"${DRIVER[0]}" || { echo "no answer"; return; }
    echo "$reply"
}

# 1. No sound server yet.
reply=$(send "speak Hello there.")
echo "without a server: $reply"
check "speak without a sound server fails with a description" grep -q '^error .*sound' <<<"$reply"

# 2. A private server with a null sink, and one recorder kept running from the
# start (a recorder's first samples from an idle null sink come late).
echo "sound server: $kind"
"$server" run zavren_null 2>"$tmp/server.log" &
started+=("$!")
"$server" wait || { cat "$tmp/server.log"; echo "FAIL: the sound server did not start"; exit 1; }

rec=$tmp/rec.raw
: >"$rec"
parec -d zavren_null.monitor --raw --format=s16le --rate=$rate --channels=1 \
    --latency-msec=20 >"$rec" &
started+=("$!")
size() { stat -c %s "$rec" 2>/dev/null || echo 0; }
for _ in $(seq 100); do [ "$(size)" -gt $((rate * 2 / 2)) ] && break; sleep 0.1; done # 0.5 s in

# RMS of the recording between two byte offsets, as a whole number.
rms() {
    local from=$(($1 / 2)) count=$((($2 - $1) / 2))
    sox -t raw -r $rate -e signed -b 16 -c 1 "$rec" -n trim "${from}s" "${count}s" stat 2>&1 |
        awk '/^RMS +amplitude/ { printf "%d\n", $3 * 32768 }'
}

at_speak=$(size)
reply=$(send "speaklong")
echo "with a server: $reply"
check "speak works once the server is up" [ "$reply" = ok ]
sleep 2.5
at_stop=$(size)
reply=$(send "stop")
check "stop succeeds" [ "$reply" = ok ]
sleep 1.5
at_end=$(size)

heard=$(rms "$at_speak" "$at_stop")
margin=$((rate * 2 * 3 / 10)) # 0.3 s for what the recorder still had in hand
after=$(rms $((at_stop + margin)) "$at_end")
echo "RMS while speaking: $heard, after stop: $after"
check "sound arrives after speak" [ "${heard:-0}" -gt 300 ]
check "silence after stop" [ "${after:-1}" -eq 0 ]

# 3. Quitting while speaking ends the program promptly.
reply=$(send "speaklong")
check "speak again after stop" [ "$reply" = ok ]
sleep 0.5
echo quit >&"${DRIVER[1]}"
gone=1
for _ in $(seq 50); do
    if ! kill -0 "$driver_pid" 2>/dev/null; then gone=0; break; fi
    sleep 0.1
done
check "quitting while speaking ends within 5 s" [ $gone -eq 0 ]
if [ $gone -eq 0 ]; then
    code=0
    wait "$driver_pid" || code=$?
    check "the program exits cleanly (exit code $code)" [ "$code" -eq 0 ]
fi

finish
