#!/usr/bin/env bash
# Event-loop lag during a whole update that installs two 1 GiB files (one
# plain, one published gzip-packed), against nginx on 127.0.0.1.
#
#   bash bench/guilag/run_bench.sh            (build directory: build/)
#   BUILD_DIR=... RUNS=3 KEY=keys/demo_private.pem bash bench/guilag/run_bench.sh
#   TMPDIR=/dev/shm bash bench/guilag/run_bench.sh   (everything on a tmpfs)
#   FILES=200000x1024 bash bench/guilag/run_bench.sh (COUNT small files of BYTES instead)
#
# The driver runs a 5 ms timer on the thread that drives the update (the GUI
# thread in the updater) and records by how much each timeout came late. It
# measures the same loop idle for 3 s first: that is the baseline. Target:
# the longest delay during the update stays under 100 ms in every run.
# Prints, per run and as median (min-max), the maximum and the 99th
# percentile. Exits 1 when the target is missed, 2 when the set-up fails.
set -euo pipefail
cd "$(dirname "$0")/../.."

build_dir=${BUILD_DIR:-build}
runs=${RUNS:-3}
key=${KEY:-keys/demo_private.pem}
# Both demo Ed25519 keys sign the release manifests, so that updaters built
# with either (threshold 1 or 2) take the releases.
manifest_keys=(--manifest-key keys/demo_ed25519_1.pem --manifest-key keys/demo_ed25519_2.pem)
type=client_linux_amd64
driver="$build_dir/bench/guilag/guilagbench"
release="$build_dir/tools/release/voxmeadow-release"

. bench/nginx.sh
require_tools nginx gzip
cmake --build "$build_dir" --target guilagbench voxmeadow-release -j2 >/dev/null
[ -x "$driver" ] && [ -x "$release" ] || { echo "driver or release tool missing; configure the build first" >&2; exit 2; }

source="$work/source"
if [ -n "${FILES:-}" ]; then
    count=${FILES%x*} bytes=${FILES#*x}
    echo "creating and publishing $count files of $bytes bytes (100 per directory)..."
    for d in $(seq 0 $(((count + 99) / 100 - 1))); do
        n=$((count - d * 100 < 100 ? count - d * 100 : 100))
        mkdir -p "$source/dir$d"
        head -c $((n * bytes)) /dev/urandom | split -b "$bytes" -d -a 3 --additional-suffix=.dat - "$source/dir$d/file"
    done
else
    echo "creating and publishing two 1 GiB files (one packed)..."
    mkdir -p "$source/big"
    head -c $((1024 * 1024 * 1024)) /dev/urandom >"$source/big/plain.bin"
    # Compressible, so that the packed copy is smaller and unpacking does real work.
    # 768 MiB of random bytes are exactly 1 GiB of base64.
    head -c $((768 * 1024 * 1024)) /dev/urandom | base64 -w 0 >"$source/big/packed.pak"
fi
"$release" publish --source "$source" --output "$work/www/release" --version 5 --key "$key" --pack '*.pak' \
    "${manifest_keys[@]}" --quiet >/dev/null
ln -s release "$work/www/m1"
serve_www "m1/5/$type.ini"

maxima=()
p99s=()
idle_maxima=()
idle_p99s=()
echo "updating $runs times..."
for i in $(seq "$runs"); do
    inst="$work/install" temp="$work/temp"
    rm -rf "$inst" "$temp"
    mkdir -p "$inst" "$temp"
    printf '[mirrors]\nsize=1\n1\\mirror=m1\n[m1]\nurl=%s/m1\n' "$base" >"$inst/mirrors.ini"
    sync
    line=$("$driver" update "$inst" "$temp" "$type" 5 2>"$work/update.log") \
        || { echo "update failed: $line" >&2; cat "$work/update.log" >&2; exit 2; }
    [ "$(echo "$line" | field ok)" = 1 ] || { echo "update failed: $line" >&2; exit 2; }
    if [ "$i" = 1 ]; then
        diff -r --exclude=voxmeadow.release --exclude=mirrors.ini --exclude=update.digests "$source" "$inst" >/dev/null \
            || { echo "the updated installation differs from the published tree" >&2; exit 2; }
    fi
    echo "  run $i: $line"
    echo "         $(grep '^longest delay after' "$work/update.log" || true)"
    maxima+=("$(echo "$line" | field max_ms)")
    p99s+=("$(echo "$line" | field p99_ms)")
    idle_maxima+=("$(echo "$line" | field idle_max_ms)")
    idle_p99s+=("$(echo "$line" | field idle_p99_ms)")
    rm -rf "$inst" "$temp"
done

spread() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { printf "(%s-%s)", v[1], v[NR] }'; }
max_med=$(printf '%s\n' "${maxima[@]}" | median)
p99_med=$(printf '%s\n' "${p99s[@]}" | median)
idle_max_med=$(printf '%s\n' "${idle_maxima[@]}" | median)
idle_p99_med=$(printf '%s\n' "${idle_p99s[@]}" | median)
worst=$(printf '%s\n' "${maxima[@]}" | sort -g | tail -1)

echo
echo "event-loop lag, medians of $runs runs (min-max)"
printf '%-36s %8s ms %-14s idle baseline %8s ms %s\n' "99th percentile" "$p99_med" "$(spread "${p99s[@]}")" \
    "$idle_p99_med" "$(spread "${idle_p99s[@]}")"
printf '%-36s %8s ms %-14s idle baseline %8s ms %s\n' "maximum" "$max_med" "$(spread "${maxima[@]}")" \
    "$idle_max_med" "$(spread "${idle_maxima[@]}")"
verdict "worst maximum over all runs" "$worst ms" "$idle_max_med ms" "$worst" "<" 100 "ms"
exit $status
