#!/usr/bin/env bash
# Runs every fuzz target of a build made with -DVOXMEADOW_FUZZ=ON for a
# bounded time each, two at a time on a machine with two cores:
#   bash scripts/fuzz.sh [BUILD_DIR [SECONDS]]      (build-asan, 20)
# Seeds come from corpus/NAME/ (read only); what a run adds stays in
# BUILD_DIR/fuzz-corpus/NAME/. Prints the executions per target; a crash, a
# sanitizer report or a hang of more than 10 s fails the script and leaves
# the input in BUILD_DIR/fuzz-findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-asan}"
seconds="${2:-20}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
mkdir -p "$build/fuzz-findings" "$build/fuzz-logs"

run_one() {
    local target=$1 build=$2 seconds=$3
    local name=${target#fuzz_}
    mkdir -p "$build/fuzz-corpus/$name"
    if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$build/fuzz-findings/$name-" "$build/fuzz-corpus/$name" "corpus/$name" \
        >"$build/fuzz-logs/$name.log" 2>&1; then
        echo "$target: $(sed -n 's/^stat::number_of_executed_units: *//p' "$build/fuzz-logs/$name.log") executions, no findings"
    else
        echo "$target: FINDING, see $build/fuzz-logs/$name.log and $build/fuzz-findings/"
        return 1
    fi
}
export -f run_one

mapfile -t targets < <(find "$build/fuzz" -maxdepth 1 -type f -executable -name 'fuzz_*' -printf '%f\n' | sort)
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets in $build/fuzz" >&2; exit 1; }
printf '%s\n' "${targets[@]}" | xargs -P "$(nproc)" -I{} bash -c 'run_one "$@"' _ {} "$build" "$seconds"
