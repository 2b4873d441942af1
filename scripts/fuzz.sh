#!/usr/bin/env bash
# Builds the fuzz targets with Clang and libFuzzer (plus AddressSanitizer and
# UBSan) and runs each for a while, starting from the committed seed corpus.
#
#   scripts/fuzz.sh [--seconds N] [target...]     (default: 300 s each, all targets)
#
# New inputs that reach new code are kept in build-fuzz/fuzz-corpus/<target>
# (not committed); an input that breaks a target is written to
# build-fuzz/fuzz-findings/<target>/ and the script fails. Replay one with
#   build-fuzz/bin/<target> <file>
# and, once fixed, add a small copy of it to tests/fuzz/corpus/<target>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ZAVREN_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=300
targets=()
while [ $# -gt 0 ]; do
    case $1 in
    --seconds)
        seconds=$2
        shift 2
        ;;
    -*)
        echo "unknown option $1" >&2
        exit 2
        ;;
    *)
        targets+=("$1")
        shift
        ;;
    esac
done
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_textdecode fuzz_getkeyvalue fuzz_keysequence fuzz_documents)

"$root/scripts/deps.sh" test
start=$SECONDS
# Warnings are errors in the GCC builds; Clang's own extra warnings must not
# stop a fuzzing run.
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g" -DZAVREN_WERROR=OFF -DZAVREN_BUILD_BENCH=OFF \
    -DZAVREN_SANITIZE=fuzzer-no-link,address,undefined -DZAVREN_FUZZ=ON >/dev/null
cmake --build "$build" -j "${ZAVREN_JOBS:-2}" --target "${targets[@]}"
echo "== fuzz build: $((SECONDS - start)) s"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=()
for target in "${targets[@]}"; do
    corpus=$build/fuzz-corpus/$target
    findings=$build/fuzz-findings/$target
    mkdir -p "$corpus" "$findings"
    echo "== $target: ${seconds} s"
    # The committed seeds are read but never written: new inputs go to $corpus.
    if "$build/bin/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
        "$corpus" "$root/tests/fuzz/corpus/$target" >"$build/fuzz-$target.log" 2>&1; then
        grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$build/fuzz-$target.log" |
            sed 's/^/   /'
    else
        tail -40 "$build/fuzz-$target.log"
        echo "   FINDING: see $findings/"
        failed+=("$target")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing broke: ${failed[*]}"
    exit 1
fi
echo "fuzzing found nothing"
