#!/usr/bin/env bash
# clang-tidy's bugprone and performance checks (.clang-tidy) over every source
# under src/, on a build's compile commands; fails on any finding.
#
#   scripts/check-tidy.sh [build-dir]   (default: build, configured and built
#                                        by scripts/test.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${ZAVREN_BUILD_DIR:-$root/build}}
command -v clang-tidy >/dev/null || "$root/scripts/deps.sh" only clang-tidy
# The compile commands, and the sources the build generates (moc, version).
cmake -S "$root" -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$build"
cd "$root"
mapfile -t files < <(git ls-files 'src/*.cpp' | grep -v '_win\.cpp$')
printf '%s\n' "${files[@]}" |
    xargs -P "${ZAVREN_JOBS:-$(nproc)}" -n 4 clang-tidy -p "$build" --quiet 2>/dev/null
echo "clang-tidy: ${#files[@]} files without findings"
