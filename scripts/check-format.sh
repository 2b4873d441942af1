#!/usr/bin/env bash
# Every C++ file of the repository as .clang-format has it: lists the files
# that differ and fails, or says how many were checked.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || "$PWD/scripts/deps.sh" only clang-format
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.h.in')
clang-format --dry-run --Werror "${files[@]}"
echo "clang-format: ${#files[@]} files as .clang-format has them"
