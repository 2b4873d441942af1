#!/usr/bin/env bash
# Installs what is missing, builds, and starts Zavren Speech.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" run
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" --target zavren-speech
exec "$root/build/bin/zavren-speech"
