#!/usr/bin/env bash
# The whole test suite again, built with AddressSanitizer and
# UndefinedBehaviorSanitizer, then the speech tests built with
# ThreadSanitizer. Any sanitizer finding fails the test that made it.
#
#   scripts/test-sanitizers.sh [asan|tsan]...   (default: both)
#
# Build folders: build-asan and build-tsan (ZAVREN_ASAN_BUILD_DIR and
# ZAVREN_TSAN_BUILD_DIR override). Suppressions: tests/sanitizers/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
asan_build=${ZAVREN_ASAN_BUILD_DIR:-$root/build-asan}
tsan_build=${ZAVREN_TSAN_BUILD_DIR:-$root/build-tsan}
# Tests that never run sanitized: the Windows halves run under Wine from their
# own mingw-w64 build, and a sanitized build is never packaged.
asan_exclude_labels=${ZAVREN_ASAN_EXCLUDE_LABELS:-wine|package}
# Tests that exercise the speech worker thread, and the folders they are built in.
tsan_labels=${ZAVREN_TSAN_LABELS:-^speech$|^stress$}
tsan_dirs=${ZAVREN_TSAN_DIRS:-tests/speech tests/system/stress}
# ...and the programs those tests start.
tsan_targets=${ZAVREN_TSAN_TARGETS:-zavren-speech speech_e2e_driver}
supp=$root/tests/sanitizers
jobs=${ZAVREN_JOBS:-2}

# The stress test's storms are half as long here as in the plain build: the
# sanitizers watch every operation, and CI's time is shared.
export ZAVREN_STRESS_OPS=${ZAVREN_STRESS_OPS:-1500}

stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(asan tsan)

"$root/scripts/deps.sh" test

configure() { # build-dir sanitizers
    # -O1: sanitized code at -O0 makes the slow tests much slower; -g1: the
    # reports' file and line, at about two thirds of -g's build time.
    cmake -S "$root" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-O1 -g1" \
        -DZAVREN_WERROR=ON -DZAVREN_BUILD_BENCH=OFF "-DZAVREN_SANITIZE=$2" >/dev/null
}

timed() { # label command...
    local start=$SECONDS
    "${@:2}"
    echo "== $1: $((SECONDS - start)) s"
}

run_asan() {
    echo "== AddressSanitizer + UndefinedBehaviorSanitizer: whole suite ($asan_build)"
    configure "$asan_build" address,undefined
    timed "asan build" cmake --build "$asan_build" -j "$jobs"
    export ASAN_OPTIONS="detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:detect_invalid_pointer_pairs=0"
    export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    (cd "$asan_build" && timed "asan tests" ctest --output-on-failure --timeout 900 \
        --parallel "$jobs" -LE "$asan_exclude_labels")
}

run_tsan() {
    echo "== ThreadSanitizer: speech tests ($tsan_build)"
    configure "$tsan_build" thread
    local dirs=() dir
    for dir in $tsan_dirs; do
        [ -f "$root/$dir/CMakeLists.txt" ] && dirs+=("$dir/all")
    done
    # shellcheck disable=SC2086 # a list of target names
    timed "tsan build" cmake --build "$tsan_build" -j "$jobs" --target $tsan_targets "${dirs[@]}"
    # Qt itself is not instrumented: its futex-based locks are invisible to
    # TSan, so pthread calls made from inside Qt (e.g. QtTest's watchdog thread
    # tearing down its wait condition) would be reported as races. Only races
    # where our own instrumented code takes part are reported. Qt starts
    # programs through a vfork-like clone, whose child marks the shared memory
    # as "forked while threaded": without die_after_fork=0 the parent's next
    # thread (a test writing speech after starting a program) would die.
    export TSAN_OPTIONS="suppressions=$supp/tsan.supp:ignore_noninstrumented_modules=1:second_deadlock_stack=1:history_size=4:die_after_fork=0"
    (cd "$tsan_build" && timed "tsan tests" ctest --output-on-failure --timeout 900 \
        --parallel "$jobs" -L "$tsan_labels")
}

for stage in "${stages[@]}"; do
    case $stage in
    asan) run_asan ;;
    tsan) run_tsan ;;
    *)
        echo "unknown stage $stage (asan, tsan)" >&2
        exit 2
        ;;
    esac
done
