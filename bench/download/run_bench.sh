#!/usr/bin/env bash
# Download and MD5 benchmark on a 1 GiB file served by nginx on 127.0.0.1.
#
#   bash bench/download/run_bench.sh            (build directory: build/)
#   BUILD_DIR=... RUNS=5 SIZE_MIB=1024 bash bench/download/run_bench.sh
#
# Every target is a ratio against a baseline measured in the same run:
#   - DownloadTaskSpecification reaches >= 0.95 of curl's throughput writing
#     the same file to the same disk, from a plain nginx and from an HTTPS
#     nginx speaking HTTP/2 (both trusting the benchmark's CA);
#   - its peak resident memory for the large file stays within 32 MiB of a
#     run that fetches a 1 MiB file;
#   - the MD5 check runs at >= 0.9 of md5sum's speed on the same file;
#   - an update killed when 90 % of the file has arrived fetches at most 15 %
#     of it again in the next run (bytes sent, from nginx's access log).
# Figures are medians over RUNS alternating runs. Exits 1 when a target is
# missed, 2 when the set-up fails.
set -euo pipefail
cd "$(dirname "$0")/../.."

build_dir=${BUILD_DIR:-build}
runs=${RUNS:-5}
size_mib=${SIZE_MIB:-1024}
driver="$build_dir/bench/download/downloadbench"

. bench/nginx.sh
updater="$build_dir/bench/update/updatebench"
release="$build_dir/tools/release/voxmeadow-release"
require_tools nginx curl md5sum openssl
cmake --build "$build_dir" --target downloadbench updatebench voxmeadow-release -j2 >/dev/null
[ -x "$driver" ] && [ -x "$updater" ] && [ -x "$release" ] \
    || { echo "drivers or release tool missing; configure the build first" >&2; exit 2; }

mkdir -p "$work/www/0" "$work/out"
echo "creating test files (${size_mib} MiB and 1 MiB)..."
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/www/0/big.bin"
head -c $((1024 * 1024)) /dev/urandom >"$work/www/0/small.bin"
big_bytes=$(stat -c %s "$work/www/0/big.bin")

serve_www 0/small.bin
keep_server
make_certificates "$work/tls"
ca="$work/tls/ca.pem"
NGINX_TLS="$work/tls/server.pem $work/tls/server.key $ca" \
    nginx_serve "$work/nginx-tls" "$work/www" /0/small.bin "access_log off; tcp_nopush on;" || exit 2
tls_base="https://127.0.0.1:$NGINX_PORT"
keep_server

# Warm the page cache so that both sides read the source from memory.
cat "$work/www/0/big.bin" >/dev/null

big_rss=()
# fetch <base> <curl options...>: alternates curl and the download task RUNS
# times and appends their seconds to curl_times and task_times.
fetch() {
    local url=$1 line
    shift
    curl_times=() task_times=()
    for _ in $(seq "$runs"); do
        rm -f "$work/out/curl.bin" "$work/out/task.bin"
        sync
        curl_times+=("$(curl -s "$@" -o "$work/out/curl.bin" -w '%{time_total}' "$url/0/big.bin")")
        [ "$(stat -c %s "$work/out/curl.bin")" -eq "$big_bytes" ] || { echo "curl download incomplete" >&2; exit 2; }
        rm -f "$work/out/curl.bin"
        sync
        line=$("$driver" download "$url" big.bin "$work/out/task.bin" "$ca" 2>/dev/null)
        [ "$(echo "$line" | field ok)" = 1 ] || { echo "download task failed: $line" >&2; exit 2; }
        [ "$(echo "$line" | field bytes)" -eq "$big_bytes" ] || { echo "download task incomplete: $line" >&2; exit 2; }
        task_times+=("$(echo "$line" | field seconds)")
        big_rss+=("$(echo "$line" | field maxrss_kib)")
    done
    rm -f "$work/out/task.bin"
}
echo "downloading ${size_mib} MiB $runs times with curl and with the download task, plain and HTTPS..."
fetch "$base"
curl_s=$(printf '%s\n' "${curl_times[@]}" | median)
task_s=$(printf '%s\n' "${task_times[@]}" | median)
plain_spread="$(printf '%s\n' "${curl_times[@]}" | spread) / $(printf '%s\n' "${task_times[@]}" | spread)"
fetch "$tls_base" --cacert "$ca"
tls_curl_s=$(printf '%s\n' "${curl_times[@]}" | median)
tls_task_s=$(printf '%s\n' "${task_times[@]}" | median)
tls_spread="$(printf '%s\n' "${curl_times[@]}" | spread) / $(printf '%s\n' "${task_times[@]}" | spread)"

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

big_rss_kib=$(printf '%s\n' "${big_rss[@]}" | sort -g | tail -1)
small_rss_kib=$(printf '%s\n' "${small_rss[@]}" | median)
extra_rss_kib=$(awk -v a="$big_rss_kib" -v b="$small_rss_kib" 'BEGIN { print a - b }')
md5sum_s=$(printf '%s\n' "${md5sum_times[@]}" | median)
check_s=$(printf '%s\n' "${check_times[@]}" | median)

echo "killing an update at 90 % of the file and running it again..."
mkdir -p "$work/source" "$work/install" "$work/temp"
mv "$work/www/0/big.bin" "$work/source/big.bin"
"$release" publish --source "$work/source" --output "$work/www/release" --version 5 \
    --key "${KEY:-keys/demo_private.pem}" --manifest-key keys/demo_ed25519_1.pem \
    --manifest-key keys/demo_ed25519_2.pem --quiet >/dev/null
# Slowed down so that the kill lands close to 90 %; the access log (combined
# format) has the bytes each request sent in its tenth field.
nginx_serve "$work/nginx-log" "$work/www" /0/small.bin "limit_rate 200m;" || exit 2
sent_log="$work/nginx-log/logs/access.log"
printf '[mirrors]\nsize=1\n1\\mirror=m1\n[m1]\nurl=http://127.0.0.1:%s/release\n' "$NGINX_PORT" \
    >"$work/install/mirrors.ini"
"$updater" update "$work/install" "$work/temp" client_linux_amd64 5 >/dev/null 2>"$work/killed.log" &
pid=$!
part=
until [ -n "$part" ] && [ "$(stat -c %s "$part" 2>/dev/null || echo 0)" -ge $((big_bytes * 9 / 10)) ]; do
    kill -0 "$pid" 2>/dev/null || { echo "the update ended before the kill" >&2; exit 2; }
    part=$(find "$work/temp" -name '.voxmeadow-new-big.bin*' -print -quit)
    sleep 0.01
done
kill -9 "$pid"
wait "$pid" 2>/dev/null || true
kept_bytes=$(stat -c %s "$part")
first_bytes=$(awk '/big.bin/ { s += $10 } END { print s + 0 }' "$sent_log")
: >"$sent_log"
line=$("$updater" update "$work/install" "$work/temp" client_linux_amd64 5 2>"$work/resumed.log")
[ "$(echo "$line" | field ok)" = 1 ] && cmp -s "$work/source/big.bin" "$work/install/big.bin" \
    || { echo "the resumed update failed: $line" >&2; tail -5 "$work/resumed.log" >&2; exit 2; }
again_bytes=$(awk '/big.bin/ { s += $10 } END { print s + 0 }' "$sent_log")
percent() { awk -v a="$1" -v b="$big_bytes" 'BEGIN { printf "%.1f", 100 * a / b }'; }

gbps() { awk -v b="$big_bytes" -v s="$1" 'BEGIN { printf "%.2f GB/s", b / s / 1e9 }'; }
echo
echo "results (medians of $runs runs, ${size_mib} MiB file)"
verdict "download throughput (vs curl)" "$(gbps "$task_s")" "$(gbps "$curl_s")" \
    "$(ratio "$curl_s" "$task_s")" ">=" 0.95 "ratio"
echo "    spread curl / task: $plain_spread"
verdict "HTTPS throughput (vs curl)" "$(gbps "$tls_task_s")" "$(gbps "$tls_curl_s")" \
    "$(ratio "$tls_curl_s" "$tls_task_s")" ">=" 0.95 "ratio"
echo "    spread curl / task: $tls_spread"
verdict "peak RSS (vs 1 MiB download)" "$(mib "$big_rss_kib") MiB" "$(mib "$small_rss_kib") MiB" \
    "$(mib "$extra_rss_kib")" "<=" 32 "MiB more"
verdict "MD5 speed (vs md5sum)" "$(gbps "$check_s")" "$(gbps "$md5sum_s")" \
    "$(ratio "$md5sum_s" "$check_s")" ">=" 0.9 "ratio"
verdict "fetched again after a kill at 90 %" "$(percent "$again_bytes")%" "$(percent "$first_bytes")%" \
    "$(percent "$again_bytes")" "<=" 15 "% of file"
echo "    part kept at the kill: $(percent "$kept_bytes") % of the file"
exit $status
