#!/usr/bin/env bash
# Latency benchmark: a fresh installation of many small files through a TCP
# relay that delivers every segment DELAY_MS late in each direction.
#
#   bash bench/transfer/run_bench.sh            (build directory: build/)
#   BUILD_DIR=... RUNS=3 FILES=2000 BYTES=16384 DELAY_MS=20 bash bench/transfer/run_bench.sh
#
# The same release is installed from three mirror names, in alternating runs:
#   - h1:   by the update task from a plain HTTP/1.1 nginx through the relay;
#   - h2:   by the update task from an HTTPS nginx speaking HTTP/2 through its
#           own relay (the installation trusts the benchmark's CA by cafile=);
#   - curl: curl -Z --parallel-max 3 (as many connections as h1 uses) from the
#           plain nginx through the relay, then md5sum -c and cp.
# Targets: h2 at most 0.2 of h1; h1 at most 1.1 of curl (medians of the
# per-run ratios). Exits 1 when a target is missed, 2 when the set-up fails.
set -euo pipefail
cd "$(dirname "$0")/../.."

build_dir=${BUILD_DIR:-build}
runs=${RUNS:-3}
files=${FILES:-2000}
bytes=${BYTES:-16384}
delay_ms=${DELAY_MS:-20}
key=${KEY:-keys/demo_private.pem}
# Both demo Ed25519 keys sign the release manifests, so that updaters built
# with either (threshold 1 or 2) take the releases.
manifest_keys=(--manifest-key keys/demo_ed25519_1.pem --manifest-key keys/demo_ed25519_2.pem)
type=client_linux_amd64
driver="$build_dir/bench/update/updatebench"
release="$build_dir/tools/release/voxmeadow-release"

. bench/nginx.sh
require_tools nginx curl md5sum openssl python3
cmake --build "$build_dir" --target updatebench voxmeadow-release -j2 >/dev/null
[ -x "$driver" ] && [ -x "$release" ] || { echo "driver or release tool missing; configure the build first" >&2; exit 2; }

echo "publishing $files files of $bytes bytes..." >&2
source="$work/source"
for d in $(seq 0 $(((files + 99) / 100 - 1))); do
    n=$((files - d * 100 < 100 ? files - d * 100 : 100))
    mkdir -p "$source/dir$d"
    head -c $((n * bytes)) /dev/urandom | split -b "$bytes" -d -a 3 --additional-suffix=.dat - "$source/dir$d/file"
done
"$release" publish --source "$source" --output "$work/www/release" --version 5 --key "$key" \
    "${manifest_keys[@]}" --quiet >/dev/null
for m in m1 m2 m3; do ln -s release "$work/www/$m"; done
published="$work/www/release/5/files"
(cd "$published" && find . -type f | sed 's|^\./||' | sort) >"$work/keys.txt"
(cd "$published" && xargs -a "$work/keys.txt" -d '\n' md5sum) >"$work/sums.txt"
sed -n 's|/[^/]*$||p' "$work/keys.txt" | sort -u >"$work/dirs.txt"

directives="access_log off; tcp_nopush on; keepalive_requests 100000;"
echo ok >"$work/www/probe.txt"
nginx_serve "$work/nginx-plain" "$work/www" /probe.txt "$directives" || exit 2
plain_port=$NGINX_PORT
keep_server
make_certificates "$work/tls"
NGINX_TLS="$work/tls/server.pem $work/tls/server.key $work/tls/ca.pem" \
    nginx_serve "$work/nginx-tls" "$work/www" /probe.txt "$directives" || exit 2
tls_port=$NGINX_PORT
keep_server

# start_relay <upstream port>: starts a relay and sets $relay_port.
start_relay() {
    python3 bench/support/delayrelay.py "$1" "$delay_ms" >"$work/relay.$1" 2>&1 &
    keep_pid $!
    for _ in $(seq 50); do
        relay_port=$(cat "$work/relay.$1")
        [ -n "$relay_port" ] && return
        sleep 0.1
    done
    echo "relay did not start" >&2
    exit 2
}
start_relay "$plain_port"
plain_relay=$relay_port
start_relay "$tls_port"
tls_relay=$relay_port

awk -v base="http://127.0.0.1:$plain_relay" -v out="$work/download" '{
    printf "url = \"%s/m%d/5/files/%s\"\noutput = \"%s/%s\"\n", base, NR % 3 + 1, $0, out, $0
}' "$work/keys.txt" >"$work/curl.cfg"

# updater <scheme> <relay port>: installs from scratch, prints the seconds.
updater() {
    local i="$work/install" line t0 t1
    rm -rf "$i" "$work/temp"
    mkdir -p "$i" "$work/temp"
    {
        printf '[mirrors]\nsize=3\n1\\mirror=m1\n2\\mirror=m2\n3\\mirror=m3\n'
        for m in m1 m2 m3; do printf '[%s]\nurl=%s://127.0.0.1:%s/%s\n' "$m" "$1" "$2" "$m"; done
    } >"$i/mirrors.ini"
    if [ "$1" = https ]; then
        cp "$work/tls/ca.pem" "$i/ca.pem"
        printf '[update]\ncafile=ca.pem\n' >"$i/update.ini"
    fi
    t0=$(now)
    line=$("$driver" update "$i" "$work/temp" "$type" 5 2>"$work/update.log") \
        || { echo "update over $1 failed: $line" >&2; tail -5 "$work/update.log" >&2; exit 2; }
    t1=$(now)
    diff -r --exclude=voxmeadow.release --exclude=mirrors.ini --exclude=update.digests --exclude=update.ini --exclude=ca.pem \
        "$source" "$i" >/dev/null || { echo "the installation over $1 differs from the release" >&2; exit 2; }
    elapsed "$t0" "$t1"
}

baseline() { shell_install "$work"; }

h1_t=() h2_t=() curl_t=() h2_ratio=() h1_ratio=()
for r in $(seq "$runs"); do
    echo "run $r of $runs..." >&2
    if [ $((r % 2)) = 1 ]; then
        c=$(baseline); a=$(updater http "$plain_relay"); b=$(updater https "$tls_relay")
    else
        b=$(updater https "$tls_relay"); a=$(updater http "$plain_relay"); c=$(baseline)
    fi
    h1_t+=("$a") h2_t+=("$b") curl_t+=("$c")
    h2_ratio+=("$(ratio "$b" "$a")") h1_ratio+=("$(ratio "$a" "$c")")
done

echo
echo "results: $files files of $bytes bytes, ${delay_ms} ms each way, medians of $runs runs (spread)"
for side in h1 h2 curl; do
    eval "times=(\"\${${side}_t[@]}\")"
    printf '  %-5s %8.2fs  (%s)  runs: %s\n' "$side" "$(printf '%s\n' "${times[@]}" | median)" \
        "$(printf '%s\n' "${times[@]}" | spread)" "${times[*]}"
done
verdict "HTTPS/HTTP-2 vs plain HTTP/1.1" "$(printf '%s\n' "${h2_t[@]}" | median)s" \
    "$(printf '%s\n' "${h1_t[@]}" | median)s" "$(printf '%s\n' "${h2_ratio[@]}" | median)" "<=" 0.2 "ratio"
verdict "plain HTTP/1.1 vs curl -Z" "$(printf '%s\n' "${h1_t[@]}" | median)s" \
    "$(printf '%s\n' "${curl_t[@]}" | median)s" "$(printf '%s\n' "${h1_ratio[@]}" | median)" "<=" 1.1 "ratio"
exit $status
