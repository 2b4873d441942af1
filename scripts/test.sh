#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, and
# runs every test (the end-to-end ones start their own sound server).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZAVREN_BUILD_DIR:-$root/build}
"$root/scripts/deps.sh" test
# -g1: line tables for backtraces and valgrind, at two thirds of -g's build time.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DZAVREN_WERROR=ON
cmake --build "$build"
cd "$build"
# More tests than cores: most of them wait on a voice or a sound server.
ctest --output-on-failure --timeout 600 --parallel "${ZAVREN_TEST_JOBS:-$(($(nproc) + 1))}" "$@"
