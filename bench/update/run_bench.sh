#!/usr/bin/env bash
# List compiler and whole-update benchmark against nginx on 127.0.0.1.
#
#   bash bench/update/run_bench.sh            (build directory: build/)
#   BUILD_DIR=... RUNS=3 KEY=keys/demo_private.pem bash bench/update/run_bench.sh
#
# Every target is a ratio against a baseline measured in the same run:
#   - compiling the lists for an installed tree of 2,000 files (1 GiB), all up
#     to date, takes at most 1.25 times as long as md5sum over the same files;
#   - a whole update of 2,000 files of 16 KiB plus one of 256 MiB (a tenth of
#     the files published gzip-packed) from three mirror roots takes at most
#     1.5 times as long as: curl -Z --parallel-max 3 fetching the same files,
#     md5sum -c on them, gzip -dc of the packed ones and cp of the rest;
#   - the peak resident memory of that update stays less than 64 MiB above the
#     process's idle size.
# Figures are medians over RUNS alternating runs (the memory figure is the
# worst run). Exits 1 when a target is missed, 2 when the set-up fails.
# KEY must be the private half of the key the build embeds (the demo key by
# default).
set -euo pipefail
cd "$(dirname "$0")/../.."

build_dir=${BUILD_DIR:-build}
runs=${RUNS:-3}
key=${KEY:-keys/demo_private.pem}
type=client_linux_amd64
driver="$build_dir/bench/update/updatebench"
release="$build_dir/tools/release/voxmeadow-release"

. bench/nginx.sh
require_tools nginx curl md5sum gzip
cmake --build "$build_dir" --target updatebench voxmeadow-release -j2 >/dev/null
[ -x "$driver" ] && [ -x "$release" ] || { echo "driver or release tool missing; configure the build first" >&2; exit 2; }

# ---------------------------------------------------------------------------
# List compiler: 2,000 installed files, 1 GiB, all up to date.
echo "creating an installed tree of 2,000 files (1 GiB)..."
tree="$work/tree"
for d in $(seq -w 0 19); do
    mkdir -p "$tree/dir$d"
    # 100 files of 536,871 bytes per directory (the last one a little shorter).
    head -c $((1073741824 / 20)) /dev/urandom | split -b 536871 -d -a 3 - "$tree/dir$d/file"
done
[ "$(find "$tree" -type f | wc -l)" -eq 2000 ] || { echo "tree set-up failed" >&2; exit 2; }
"$release" publish --source "$tree" --output "$work/compile-mirror" --version 1 --key "$key" --quiet >/dev/null
mkdir -p "$work/compile-temp"
cp "$work/compile-mirror/1/$type.ini" "$work/compile-temp/"
rm -rf "$work/compile-mirror"
find "$tree" -type f -exec cat {} + >/dev/null

md5sum_times=()
compile_times=()
echo "hashing the tree $runs times with md5sum and with the list compiler..."
for _ in $(seq "$runs"); do
    t0=$(now)
    (cd "$tree" && find . -type f -print0 | xargs -0 md5sum >/dev/null)
    t1=$(now)
    md5sum_times+=("$(elapsed "$t0" "$t1")")
    t0=$(now)
    line=$("$driver" compile "$tree" "$work/compile-temp" "$type")
    t1=$(now)
    [ "$(echo "$line" | field ok)" = 1 ] && [ "$(echo "$line" | field replaces)" = 0 ] \
        || { echo "list compiler failed or found differences: $line" >&2; exit 2; }
    compile_times+=("$(elapsed "$t0" "$t1")")
done
rm -rf "$tree"

# ---------------------------------------------------------------------------
# Whole update: 2,000 files of 16 KiB and one of 256 MiB from three mirror roots.
echo "creating and publishing the update (2,000 x 16 KiB + 256 MiB, a tenth packed)..."
source="$work/source"
for d in $(seq -w 0 19); do
    mkdir -p "$source/dir$d"
    # Packed files are named *.pak: directories 00 and 01, 200 files.
    suffix=dat
    if [ "$d" = 00 ] || [ "$d" = 01 ]; then suffix=pak; fi
    head -c $((100 * 16384)) /dev/urandom \
        | split -b 16384 -d -a 3 --additional-suffix=".$suffix" - "$source/dir$d/file"
done
mkdir -p "$source/big"
head -c $((256 * 1024 * 1024)) /dev/urandom >"$source/big/data.bin"
"$release" publish --source "$source" --output "$work/www/release" --version 5 --key "$key" --pack '*.pak' \
    --quiet >/dev/null
for m in m1 m2 m3; do ln -s release "$work/www/$m"; done

serve_www "m1/5/$type.ini"

# The baseline's inputs, prepared outside the timing: which files to fetch
# from which mirror, their sums, which to unpack and which to copy.
published="$work/www/release/5/files"
(cd "$published" && find . -type f | sed 's|^\./||' | sort) >"$work/keys.txt"
awk -v base="$base" -v out="$work/baseline-download" '{
    printf "url = \"%s/m%d/5/files/%s\"\noutput = \"%s/%s\"\n", base, NR % 3 + 1, $0, out, $0
}' "$work/keys.txt" >"$work/curl.cfg"
(cd "$published" && xargs -a "$work/keys.txt" -d '\n' md5sum) >"$work/sums.txt"
grep '\.gz$' "$work/keys.txt" >"$work/packed.txt" || true
grep -v '\.gz$' "$work/keys.txt" >"$work/plain.txt"
sed 's|/[^/]*$||' "$work/keys.txt" | sort -u >"$work/dirs.txt"

mirrors_ini() {
    printf '[mirrors]\nsize=3\n1\\mirror=m1\n2\\mirror=m2\n3\\mirror=m3\n'
    for m in m1 m2 m3; do printf '[%s]\nurl=%s/%s\n' "$m" "$base" "$m"; done
}

baseline() {
    local dl="$work/baseline-download" inst="$work/baseline-install"
    rm -rf "$dl" "$inst"
    mkdir -p "$inst"
    sync
    local t0 t1
    t0=$(now)
    curl -s -S -f --no-progress-meter -Z --parallel-max 3 --create-dirs -K "$work/curl.cfg"
    (cd "$dl" && md5sum -c --quiet "$work/sums.txt")
    (cd "$inst" && xargs -a "$work/dirs.txt" -d '\n' mkdir -p)
    while IFS= read -r gz; do gzip -dc "$dl/$gz" >"$inst/${gz%.gz}"; done <"$work/packed.txt"
    (cd "$dl" && xargs -a "$work/plain.txt" -d '\n' cp --parents -t "$inst")
    t1=$(now)
    elapsed "$t0" "$t1"
}

updater() {
    local inst="$work/install" temp="$work/temp"
    rm -rf "$inst" "$temp"
    mkdir -p "$inst" "$temp"
    mirrors_ini >"$inst/mirrors.ini"
    sync
    "$driver" update "$inst" "$temp" "$type" 5 2>"$work/update.log"
}

baseline_times=()
update_times=()
rss_delta=()
idle_rss=()
echo "updating $runs times with the baseline and with the update task..."
for i in $(seq "$runs"); do
    baseline_times+=("$(baseline)")
    line=$(updater) || { echo "update failed: $line" >&2; cat "$work/update.log" >&2; exit 2; }
    [ "$(echo "$line" | field ok)" = 1 ] || { echo "update failed: $line" >&2; exit 2; }
    if [ "$i" = 1 ]; then
        diff -r --exclude=mirrors.ini "$source" "$work/install" >/dev/null \
            || { echo "the updated installation differs from the published tree" >&2; exit 2; }
        diff -r "$source" "$work/baseline-install" >/dev/null \
            || { echo "the baseline installation differs from the published tree" >&2; exit 2; }
    fi
    update_times+=("$(echo "$line" | field seconds)")
    idle=$(echo "$line" | field idle_rss_kib)
    peak=$(echo "$line" | field maxrss_kib)
    idle_rss+=("$idle")
    rss_delta+=("$((peak - idle))")
done

md5sum_s=$(printf '%s\n' "${md5sum_times[@]}" | median)
compile_s=$(printf '%s\n' "${compile_times[@]}" | median)
baseline_s=$(printf '%s\n' "${baseline_times[@]}" | median)
update_s=$(printf '%s\n' "${update_times[@]}" | median)
delta_kib=$(printf '%s\n' "${rss_delta[@]}" | sort -g | tail -1)
idle_kib=$(printf '%s\n' "${idle_rss[@]}" | median)

seconds() { awk -v s="$1" 'BEGIN { printf "%.2f s", s }'; }
echo
echo "results (medians of $runs runs)"
verdict "list compiler, 2,000 files, 1 GiB" "$(seconds "$compile_s")" "$(seconds "$md5sum_s")" \
    "$(ratio "$compile_s" "$md5sum_s")" "<=" 1.25 "ratio"
verdict "whole update, 2,000 + 1 files" "$(seconds "$update_s")" "$(seconds "$baseline_s")" \
    "$(ratio "$update_s" "$baseline_s")" "<=" 1.5 "ratio"
verdict "update peak RSS above idle" "$(mib $((idle_kib + delta_kib))) MiB" "$(mib "$idle_kib") MiB" \
    "$(mib "$delta_kib")" "<" 64 "MiB more"
exit $status
