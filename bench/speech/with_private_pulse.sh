#!/usr/bin/env bash
# Runs a command (a benchmark) against a private sound server (PulseAudio, or
# PipeWire's PulseAudio service) with a null sink, so the real sound-device
# path can be timed on a machine without sound:
#   bench/speech/with_private_pulse.sh build/bench/speech/speech_bench 5
# Everything lives in a temporary folder; only the server started here is
# stopped, by its own id.
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 COMMAND [ARGS...]"; exit 2; }
exec "$(dirname "$0")/../../tests/support/private-sound-server.sh" with bench_null "$@"
