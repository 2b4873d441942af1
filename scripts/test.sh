#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, and
# runs every test (the end-to-end ones start their own sound server).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZAVREN_BUILD_DIR:-$root/build}
"$root/scripts/deps.sh" test
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZAVREN_WERROR=ON
cmake --build "$build"
cd "$build"
ctest --output-on-failure --timeout 600 "$@"
