#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to a passing test suite:
#   1. the suite (build/),
#   2. the suite again under AddressSanitizer and UndefinedBehaviorSanitizer,
#      built with clang together with the fuzz targets (build-asan/),
#   3. every fuzz target for FUZZ_SECONDS (20) seconds (scripts/fuzz.sh),
#   4. the task framework's and the worker-thread tests under
#      ThreadSanitizer (build-tsan/).
# A sanitizer report ends the test that made it and fails the command.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/format.sh --check

# ccache makes the three builds cheap once the sources have been seen; a
# fresh clone elsewhere shares the cache.
launcher=()
if command -v ccache >/dev/null; then
    export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}" CCACHE_NOHASHDIR=1
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
jobs="$(nproc)"
step() { printf '\n== %s (%s)\n' "$1" "$(date +%T)"; }

step "suite"
# build.sh's demo keys, whatever the demo configured build/ with last.
bash scripts/build.sh "${launcher[@]}"
ctest --test-dir build --output-on-failure -j "$jobs"

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
# Qt is not built with ThreadSanitizer: its own locking (futexes) is
# invisible, so only what our instrumented code does is judged.
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1"

step "suite under AddressSanitizer and UndefinedBehaviorSanitizer"
BUILD_DIR=build-asan bash scripts/build.sh "${launcher[@]}" -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_C_COMPILER=clang -DVOXMEADOW_SANITIZE=address,undefined -DVOXMEADOW_FUZZ=ON
ctest --test-dir build-asan --output-on-failure -j "$jobs"

step "fuzz targets, ${FUZZ_SECONDS:-20} s each"
bash scripts/fuzz.sh build-asan "${FUZZ_SECONDS:-20}"

step "task framework and worker-thread tests under ThreadSanitizer"
tsan_tests=(tst_taskframework tst_fileops tst_checksignature tst_listcompiler tst_digestcache)
BUILD_DIR=build-tsan BUILD_TARGETS="${tsan_tests[*]}" bash scripts/build.sh "${launcher[@]}" \
    -DVOXMEADOW_SANITIZE=thread
ctest --test-dir build-tsan --output-on-failure -j "$jobs" \
    -R "^($(IFS='|'; echo "${tsan_tests[*]}"))\$"
step "done"
