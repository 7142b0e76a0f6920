#!/usr/bin/env bash
# Download and MD5 benchmark on a 1 GiB file served by nginx on 127.0.0.1.
#
#   bash bench/download/run_bench.sh            (build directory: build/)
#   BUILD_DIR=... RUNS=5 SIZE_MIB=1024 bash bench/download/run_bench.sh
#
# Every target is a ratio against a baseline measured in the same run:
#   - DownloadTaskSpecification reaches >= 0.8 of curl's throughput writing
#     the same file to the same disk;
#   - its peak resident memory for the large file stays within 32 MiB of a
#     run that fetches a 1 MiB file;
#   - the MD5 check runs at >= 0.9 of md5sum's speed on the same file.
# Figures are medians over RUNS alternating runs. Exits 1 when a target is
# missed, 2 when the set-up fails.
set -euo pipefail
cd "$(dirname "$0")/../.."

build_dir=${BUILD_DIR:-build}
runs=${RUNS:-5}
size_mib=${SIZE_MIB:-1024}
driver="$build_dir/bench/download/downloadbench"

. bench/nginx.sh
require_tools nginx curl md5sum
cmake --build "$build_dir" --target downloadbench -j2 >/dev/null
[ -x "$driver" ] || { echo "driver $driver missing; configure the build first" >&2; exit 2; }

mkdir -p "$work/www/0" "$work/out"
echo "creating test files (${size_mib} MiB and 1 MiB)..."
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/www/0/big.bin"
head -c $((1024 * 1024)) /dev/urandom >"$work/www/0/small.bin"
big_bytes=$(stat -c %s "$work/www/0/big.bin")

serve_www 0/small.bin

# Warm the page cache so that both sides read the source from memory.
cat "$work/www/0/big.bin" >/dev/null

curl_times=()
task_times=()
big_rss=()
echo "downloading ${size_mib} MiB $runs times with curl and with the download task..."
for _ in $(seq "$runs"); do
    rm -f "$work/out/curl.bin" "$work/out/task.bin"
    sync
    curl_times+=("$(curl -s -o "$work/out/curl.bin" -w '%{time_total}' "$base/0/big.bin")")
    [ "$(stat -c %s "$work/out/curl.bin")" -eq "$big_bytes" ] || { echo "curl download incomplete" >&2; exit 2; }
    rm -f "$work/out/curl.bin"
    sync
    line=$("$driver" download "$base" big.bin "$work/out/task.bin" 2>/dev/null)
    [ "$(echo "$line" | field ok)" = 1 ] || { echo "download task failed: $line" >&2; exit 2; }
    [ "$(echo "$line" | field bytes)" -eq "$big_bytes" ] || { echo "download task incomplete: $line" >&2; exit 2; }
    task_times+=("$(echo "$line" | field seconds)")
    big_rss+=("$(echo "$line" | field maxrss_kib)")
done
rm -f "$work/out/task.bin"

small_rss=()
for _ in $(seq "$runs"); do
    line=$("$driver" download "$base" small.bin "$work/out/small.bin" 2>/dev/null)
    [ "$(echo "$line" | field ok)" = 1 ] || { echo "small download failed: $line" >&2; exit 2; }
    small_rss+=("$(echo "$line" | field maxrss_kib)")
    rm -f "$work/out/small.bin"
done

echo "hashing ${size_mib} MiB $runs times with md5sum and with the MD5 check..."
expected_md5=$(md5sum "$work/www/0/big.bin" | cut -d' ' -f1)
md5sum_times=()
check_times=()
for _ in $(seq "$runs"); do
    t0=$(now)
    md5sum "$work/www/0/big.bin" >/dev/null
    t1=$(now)
    md5sum_times+=("$(elapsed "$t0" "$t1")")
    t0=$(now)
    "$driver" md5 "$work/www/0/big.bin" "$expected_md5" >/dev/null || { echo "MD5 check failed" >&2; exit 2; }
    t1=$(now)
    check_times+=("$(elapsed "$t0" "$t1")")
done

curl_s=$(printf '%s\n' "${curl_times[@]}" | median)
task_s=$(printf '%s\n' "${task_times[@]}" | median)
big_rss_kib=$(printf '%s\n' "${big_rss[@]}" | sort -g | tail -1)
small_rss_kib=$(printf '%s\n' "${small_rss[@]}" | median)
extra_rss_kib=$(awk -v a="$big_rss_kib" -v b="$small_rss_kib" 'BEGIN { print a - b }')
md5sum_s=$(printf '%s\n' "${md5sum_times[@]}" | median)
check_s=$(printf '%s\n' "${check_times[@]}" | median)

gbps() { awk -v b="$big_bytes" -v s="$1" 'BEGIN { printf "%.2f GB/s", b / s / 1e9 }'; }
echo
echo "results (medians of $runs runs, ${size_mib} MiB file)"
verdict "download throughput (vs curl)" "$(gbps "$task_s")" "$(gbps "$curl_s")" \
    "$(ratio "$curl_s" "$task_s")" ">=" 0.8 "ratio"
verdict "peak RSS (vs 1 MiB download)" "$(mib "$big_rss_kib") MiB" "$(mib "$small_rss_kib") MiB" \
    "$(mib "$extra_rss_kib")" "<=" 32 "MiB more"
verdict "MD5 speed (vs md5sum)" "$(gbps "$check_s")" "$(gbps "$md5sum_s")" \
    "$(ratio "$md5sum_s" "$check_s")" ">=" 0.9 "ratio"
exit $status
