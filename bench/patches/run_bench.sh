#!/usr/bin/env bash
# Updates that fetch changed files as zstd patches against their installed
# content, against the same updates fetching them whole.
#
#   bash bench/patches/run_bench.sh            (build directory: build/)
#   BUILD_DIR=... RUNS=3 SEED=1 REAL_PACKAGE=postgresql-15 bash bench/patches/run_bench.sh
#   RUNS=1 bash bench/patches/run_bench.sh      (a quick check)
#
# bench/patches/makegame.py writes a game-like pair of versions (seeded):
# version 1 has 20 incompressible packs of 50 MB and 2,000 small files of 1
# to 64 KiB (a quarter text, published gzip-packed); version 2 changes about
# 1 % of every pack (overwritten blocks, insertions and deletions that shift
# what follows), edits 200 small files, adds 5 and drops 5. Version 1 is
# published into the mirror root patched/, version 2 into patched/ with
# --patch-from patched/1 and, as the baseline, into plain/ without patches.
# On the tmpfs BENCH_TMPDIR (default /dev/shm), an installed version 1 (made
# by the update task in bench/update's driver, copied for each run and its
# digest cache made anew outside the timing) is updated to version 2 by `update --nouser TYPE 2` (run_program in
# bench/nginx.sh) from one mirror name on a local nginx, four ways in
# alternating order, RUNS times (default 3):
#   with and without patches, capped: nginx's limit_rate holds every
#   response to 12.5 MB/s (100 Mbit/s), and update.ini says streams=1, so
#   that the one connection carries all requests one after the other and
#   the total is 100 Mbit/s for both sides alike;
#   with and without patches, uncapped (default streams).
# After every run the installation must be version 2 exactly (md5 of every
# file, no file more or less). Targets: bytes nginx sent for the patched
# update at most 0.05 of the whole-file update's (access log,
# $body_bytes_sent); capped time at most 0.2 of the whole-file update's,
# uncapped at most 1.5; the program's private memory (RssAnon, sampled every
# 10 ms) during the patched update at most 64 MiB above its size while it
# waits to start. VmRSS is printed beside it: it also counts the pages of
# the mapped earlier file and result, which are the file system's cache
# (shared memory on a tmpfs), not the program's own.
# The driver bench/patches/patchbench applies the 20 pack patches with
# PatchApplyFunc::run() (target at least 200 MB/s of output), beside cp and
# md5sum of the same result bytes. Publishing version 2 with --patch-from
# must take at most 2 minutes; publishing it without is printed beside it.
# Last, a real pair: the oldest and newest version of the Debian package
# REAL_PACKAGE (default postgresql-15) that apt knows, fetched with apt-get
# download into ~/.cache/voxmeadow-bench/debs, unpacked, published (every
# file packed) with and without patches; the bytes served for the update
# both ways, beside the sum of `zstd --patch-from` at the release tool's
# levels over the changed files. Exits 1 when a target is missed, 2 when the
# set-up fails.
set -euo pipefail
cd "$(dirname "$0")/../.."

build_dir=${BUILD_DIR:-build}
runs=${RUNS:-3}
key=${KEY:-keys/demo_private.pem}
# Both demo Ed25519 keys sign the release manifests, so that updaters built
# with either (threshold 1 or 2) take the releases.
manifest_keys=(--manifest-key keys/demo_ed25519_1.pem --manifest-key keys/demo_ed25519_2.pem)
seed=${SEED:-1}
real_package=${REAL_PACKAGE:-postgresql-15}
deb_cache=${XDG_CACHE_HOME:-$HOME/.cache}/voxmeadow-bench/debs
export BENCH_TMPDIR=${BENCH_TMPDIR:-/dev/shm}
type=client_linux_amd64
driver="$build_dir/bench/patches/patchbench"
updriver="$build_dir/bench/update/updatebench"
program="$build_dir/src/update"
release="$build_dir/tools/release/voxmeadow-release"
# 100 Mbit/s in bytes per second.
cap=12500000

. bench/nginx.sh
require_tools nginx curl md5sum zstd python3 apt-get apt-cache dpkg-deb
[ -x /usr/bin/time ] || { echo "GNU time is not installed (scripts/deps.sh installs it)" >&2; exit 2; }
[ "$(stat -f -c %T "$work")" = tmpfs ] || echo "warning: $work is not on a tmpfs; the disk will blur the figures" >&2
cmake --build "$build_dir" --target patchbench updatebench update voxmeadow-release -j2 >/dev/null
[ -x "$driver" ] && [ -x "$updriver" ] && [ -x "$program" ] && [ -x "$release" ] \
    || { echo "drivers, program or release tool missing; configure the build first" >&2; exit 2; }

bench_started=$(now)
www="$work/www"
served="$work/served.log"
mkdir -p "$www/capped"
ln -s ../patched "$www/capped/patched"
ln -s ../plain "$www/capped/plain"

# md5_list <tree>: "md5  path" of every file below the tree, sorted by path.
md5_list() { (cd "$1" && find . -type f -printf '%P\n' | sort | xargs -d '\n' md5sum); }

# publish <source> <mirror root> <version> [option]...
publish() {
    local source=$1 root=$2 version=$3
    shift 3
    # Its warnings (e.g. libraries without execute bits in a package) go to publish.log.
    "$release" publish --source "$source" --output "$root" --version "$version" --key "$key" \
        "${manifest_keys[@]}" --quiet "$@" >/dev/null 2>>"$work/publish.log" \
        || { echo "publishing $source as version $version failed" >&2; tail -5 "$work/publish.log" >&2; exit 2; }
}

mirrors_ini() { printf '[mirrors]\nsize=1\n1\\mirror=m1\n[m1]\nurl=%s/%s\n' "$base" "$1"; }

# driver_update <installation> <mirror path> <version>: brings the
# installation to the version with the update task in a driver, and prints
# the driver's line.
driver_update() {
    local line
    mirrors_ini "$2" >"$1/mirrors.ini"
    rm -f "$1/update.ini"
    rm -rf "$work/driver-tmp"
    mkdir "$work/driver-tmp"
    line=$("$updriver" update "$1" "$work/driver-tmp" "$type" "$3" 2>"$work/driver.log") \
        && [ "$(echo "$line" | field ok)" = 1 ] \
        || { echo "installing version $3 from $2 failed: $line" >&2; tail -5 "$work/driver.log" >&2; exit 2; }
    echo "$line"
}

# restore <installed copy> <installation> <mirror path> <version>: the
# installation as a copy of the installed one, with a digest cache that
# knows the copies, so that the timed update hashes no unchanged file.
restore() {
    rm -rf "$2"
    cp -a "$1" "$2"
    [ "$(driver_update "$2" "$3" "$4" | field downloads)" = 0 ] \
        || { echo "the copy of the installation differs from version $4" >&2; exit 2; }
}

# check_installation <installation> <md5 list>: exactly the listed files
# with the listed sums, beside the program's own files.
check_installation() {
    (cd "$1" && md5sum -c --quiet "$2" >/dev/null 2>&1) \
        || { echo "the updated installation's contents differ from the release" >&2; exit 2; }
    diff <(cd "$1" && find . -type f -printf '%P\n' | grep -vxE 'update|update\.ini|mirrors\.ini|update\.digests|voxmeadow\.release' | sort) \
        <(cut -c35- "$2") >/dev/null \
        || { echo "the updated installation has other files than the release" >&2; exit 2; }
}

served_lines() { wc -l <"$served"; }
# served_since <lines>: the body bytes nginx sent for the requests logged after that many lines.
served_since() { awk -v skip="$1" 'NR > skip { s += $10 } END { printf "%d\n", s }' "$served"; }

# timed_update <installation> <mirror path> <streams, empty for the default> <md5 list> <name>:
# updates to version 2 with the program and prints its line (see
# run_program) with the bytes served and the files that came as patches and
# that fell back to whole downloads.
timed_update() {
    local inst=$1 log="$work/$5.log" before line
    mirrors_ini "$2" >"$inst/mirrors.ini"
    if [ -n "$3" ]; then printf '[update]\nstreams=%s\n' "$3" >"$inst/update.ini"; else rm -f "$inst/update.ini"; fi
    # A session of its own: one left by another release's update would be resumed.
    rm -rf "$work/session"
    mkdir "$work/session"
    before=$(served_lines)
    line=$(run_program "$program" "$inst" "$work/session" "$type" 2 "$log") || exit 2
    check_installation "$inst" "$4"
    echo "$line bytes=$(served_since "$before") patched=$(grep -c ' came as a patch' "$log" || true)" \
        "fallbacks=$(grep -c '^Patch for .* not used' "$log" || true)"
}

# ---------------------------------------------------------------------------
echo "writing the release pair (seed $seed)..."
python3 bench/patches/makegame.py --seed "$seed" "$work/v1" "$work/v2" >"$work/game.txt" \
    || { echo "making the release pair failed" >&2; exit 2; }
cat "$work/game.txt"
md5_list "$work/v2" >"$work/v2.md5"
publish "$work/v1" "$www/patched" 1 --pack '*.txt'
rm -rf "$work/v1"

echo "publishing version 2 $runs times with --patch-from and without..."
: >"$work/publish-patched.t"
: >"$work/publish-plain.t"
publish_patched() {
    publish "$work/v2" "$1" 2 --pack '*.txt' --previous "$www/patched/1/$type.ini" --patch-from "$www/patched/1"
}
publish_plain() { publish "$work/v2" "$1" 2 --pack '*.txt' --previous "$www/patched/1/$type.ini"; }
for i in $(seq "$runs"); do
    # The first run publishes the mirrors' releases, later ones throw theirs away.
    patched_root="$www/patched" plain_root="$www/plain"
    [ "$i" = 1 ] || patched_root="$work/scratch-patched" plain_root="$work/scratch-plain"
    if [ $((i % 2)) = 1 ]; then
        timed publish_patched "$patched_root" >>"$work/publish-patched.t"
        timed publish_plain "$plain_root" >>"$work/publish-plain.t"
    else
        timed publish_plain "$plain_root" >>"$work/publish-plain.t"
        timed publish_patched "$patched_root" >>"$work/publish-patched.t"
    fi
    rm -rf "$work/scratch-patched" "$work/scratch-plain"
done
[ -s "$www/patched/2/$type.patches" ] || { echo "the release has no patch index" >&2; exit 2; }
rm -rf "$work/v2"

serve_www "patched/1/$type.ini" \
    "location / { access_log $served; } location /capped/ { access_log $served; limit_rate $cap; }"

echo "installing version 1..."
pristine="$work/installed-1"
mkdir -p "$pristine"
driver_update "$pristine" patched 1 >/dev/null

inst="$work/installation"
: >"$work/bytes.patched"
: >"$work/bytes.plain"
: >"$work/memory"
for way in capped-patched capped-plain patched plain; do : >"$work/$way.t"; done
# way <name>: one timed update of the copied version 1.
way() {
    local mirror=${1#capped-} streams="" line
    [ "$1" = "$mirror" ] || { mirror="capped/$mirror" streams=1; }
    restore "$pristine" "$inst" patched 1
    if [ "${1%plain}" = "$1" ]; then
        line=$(SAMPLE_MEMORY="$work/sample" timed_update "$inst" "$mirror" "$streams" "$work/v2.md5" "$1") || exit 2
        echo "$(cat "$work/sample") $(echo "$line" | field idle_rss_kib) $(echo "$line" | field maxrss_kib)" >>"$work/memory"
        [ "$(echo "$line" | field fallbacks)" = 0 ] \
            || echo "warning: $(echo "$line" | field fallbacks) patches were not used in the $1 run" >&2
    else
        line=$(timed_update "$inst" "$mirror" "$streams" "$work/v2.md5" "$1") || exit 2
    fi
    echo "$line" | field wall >>"$work/$1.t"
    [ "${1#capped-}" = "$1" ] || echo "$line" | field bytes >>"$work/bytes.${1#capped-}"
    echo "  $1: $line"
}
echo "updating $runs times four ways (capped to 100 Mbit/s and not, with patches and without)..."
for i in $(seq "$runs"); do
    if [ $((i % 2)) = 1 ]; then
        way capped-patched; way capped-plain; way patched; way plain
    else
        way capped-plain; way capped-patched; way plain; way patched
    fi
done
rm -rf "$inst"

echo "applying the 20 pack patches $runs times, beside cp and md5sum of the same bytes..."
: >"$work/apply.mbs"
: >"$work/copy.mbs"
apply_packs() {
    local line
    rm -rf "$work/applied"
    line=$("$driver" "$pristine" "$www/patched/2" "$type" packs/ "$work/applied") \
        && [ "$(echo "$line" | field ok)" = 1 ] && [ "$(echo "$line" | field files)" = 20 ] \
        || { echo "applying the pack patches failed: $line" >&2; exit 2; }
    echo "$line" | field mb_per_s >>"$work/apply.mbs"
    apply_bytes=$(echo "$line" | field bytes)
}
copy_packs() {
    local t
    rm -rf "$work/copied"
    t=$(timed sh -c 'cp -r "$1" "$2" && md5sum "$2"/* >/dev/null' sh "$www/plain/2/files/packs" "$work/copied")
    awk -v b="$apply_bytes" -v t="$t" 'BEGIN { printf "%.1f\n", b / t / 1e6 }' >>"$work/copy.mbs"
}
apply_packs
for i in $(seq "$runs"); do
    if [ $((i % 2)) = 1 ]; then copy_packs; apply_packs; else apply_packs; copy_packs; fi
done
sed -i 1d "$work/apply.mbs"
rm -rf "$work/applied" "$work/copied"

# ---------------------------------------------------------------------------
echo "the real pair: two versions of $real_package..."
real="$work/real"
mkdir -p "$real" "$deb_cache"
versions=$(apt-cache madison "$real_package" 2>/dev/null | awk '{ print $3 }' | sort -V -u)
old_version=$(head -1 <<<"$versions")
new_version=$(tail -1 <<<"$versions")
[ -n "$old_version" ] && [ "$old_version" != "$new_version" ] \
    || { echo "apt knows fewer than two versions of $real_package (apt-get update first)" >&2; exit 2; }
# unpack_version <version> <dir>: the package's files (no links), from the cached .deb.
unpack_version() {
    local deb="$deb_cache/${real_package}_${1//:/%3a}_amd64.deb"
    [ -f "$deb" ] || (cd "$deb_cache" && apt-get download -q "$real_package=$1" >/dev/null 2>&1) \
        || { echo "apt-get download $real_package=$1 failed" >&2; exit 2; }
    dpkg-deb -x "$deb" "$2" || { echo "cannot unpack $deb" >&2; exit 2; }
    find "$2" -type l -delete
}
unpack_version "$old_version" "$real/old"
unpack_version "$new_version" "$real/new"
md5_list "$real/new" >"$real/new.md5"
publish "$real/old" "$www/real" 1 --pack '*'
publish "$real/new" "$www/real" 2 --pack '*' --previous-version 1 --patch-from "$www/real/1"
publish "$real/new" "$www/real-plain" 2 --pack '*' --previous "$www/real/1/$type.ini"

# The release tool's level for each changed file's patch, with zstd's own
# tool (two at a time); summed over all changed files and over those the
# release has a patch for (its key names the packed file).
tail -n +3 "$www/real/2/$type.patches" | cut -f1 | sed 's/\.gz$//' >"$real/indexed.txt"
while IFS= read -r rel; do
    if [ -f "$real/old/$rel" ] && ! cmp -s "$real/old/$rel" "$real/new/$rel"; then echo "$rel"; fi
done < <(cut -c35- "$real/new.md5") >"$real/changed.txt"
zstd_patch() {
    local level=9
    [ "$(stat -c %s "$real/new/$1")" -gt 1048576 ] || level=19
    mkdir -p "$(dirname "$real/zstd/$1")"
    zstd -qq -f "-$level" --patch-from="$real/old/$1" "$real/new/$1" -o "$real/zstd/$1.patch"
}
export -f zstd_patch
export real
xargs -a "$real/changed.txt" -d '\n' -P 2 -I '{}' bash -c 'zstd_patch "$1"' _ '{}' \
    || { echo "zstd --patch-from failed" >&2; exit 2; }
read -r zstd_total zstd_indexed changed < <(cd "$real/zstd" && find . -type f -printf '%P\t%s\n' \
    | awk -F '\t' 'NR == FNR { want[$1 ".patch"] = 1; next } { all += $2; n++; if ($1 in want) some += $2 }
        END { print all + 0, some + 0, n + 0 }' "$real/indexed.txt" -)
index_total=$(awk -F '\t' 'NR > 2 { s += $6; n++ } END { printf "%d %d\n", s, n }' "$www/real/2/$type.patches")

real_pristine="$real/installed-1"
mkdir -p "$real_pristine"
driver_update "$real_pristine" real 1 >/dev/null
restore "$real_pristine" "$inst" real 1
real_patched=$(timed_update "$inst" real "" "$real/new.md5" real-patched) || exit 2
restore "$real_pristine" "$inst" real 1
real_plain=$(timed_update "$inst" real-plain "" "$real/new.md5" real-plain) || exit 2
echo "  with patches: $real_patched"
echo "  without: $real_plain"

# ---------------------------------------------------------------------------
mb() { awk -v b="$1" 'BEGIN { printf "%.1f MB", b / 1e6 }'; }
echo
echo "results (medians of $runs runs; a ratio is the median of the per-run ratios; spread = (max - min) / median)"
pb=$(median <"$work/bytes.patched")
wb=$(median <"$work/bytes.plain")
verdict "bytes served, patched update" "$(mb "$pb")" "$(mb "$wb")" "$(ratio "$pb" "$wb")" "<=" 0.05 \
    "ratio (spread $(spread <"$work/bytes.patched"), $(spread <"$work/bytes.plain"))"
report "update capped to 100 Mbit/s" "$work/capped-patched.t" "$work/capped-plain.t" "<=" 0.2
report "update uncapped" "$work/patched.t" "$work/plain.t" "<=" 1.5
# The worst run's private memory above the program's size while it waited.
read -r anon_first anon_peak rss_peak samples interval idle_rss gnu_peak < <(awk '{
    for (i = 1; i <= 5; i++) sub(/.*=/, "", $i)
    if (!n++ || $2 - $1 > worst) { worst = $2 - $1; line = $0 }
} END { print line }' "$work/memory")
verdict "private memory (RssAnon) above idle" "$(mib $((anon_peak - anon_first))) MiB" "$(mib "$anon_first") MiB" \
    "$(mib $((anon_peak - anon_first)))" "<=" 64 "MiB more (worst patched run, $samples samples, every $interval ms)"
echo "  for reference, resident size with mapped files (VmRSS): peak $(mib "$rss_peak") MiB, idle $(mib "$idle_rss") MiB," \
    "GNU time's peak $(mib "$gnu_peak") MiB; the mapped earlier file and result are the file system's pages, not the program's"
apply_mbs=$(median <"$work/apply.mbs")
verdict "applying 20 pack patches" "$(printf '%.0f MB/s' "$apply_mbs")" "$(median <"$work/copy.mbs" | xargs printf '%.0f MB/s')" \
    "$(printf '%.0f' "$apply_mbs")" ">=" 200 \
    "MB/s of output (spread $(spread <"$work/apply.mbs"); baseline cp + md5sum, spread $(spread <"$work/copy.mbs"))"
publish_s=$(median <"$work/publish-patched.t")
verdict "publishing version 2 with patches" "$(seconds "$publish_s")" \
    "$(seconds "$(median <"$work/publish-plain.t")")" "$(printf '%.1f' "$publish_s")" "<=" 120 \
    "s (spread $(spread <"$work/publish-patched.t"); without patches, spread $(spread <"$work/publish-plain.t"))"
rp=$(echo "$real_patched" | field bytes)
rw=$(echo "$real_plain" | field bytes)
read -r index_bytes index_count <<<"$index_total"
verdict "real pair, bytes served" "$(mb "$rp")" "$(mb "$rw")" "$(ratio "$rp" "$rw")" "<" 1 \
    "ratio ($real_package $old_version to $new_version, $(echo "$real_patched" | field patched) files as patches)"
echo "  the release's $index_count patches: $(mb "$index_bytes"); zstd --patch-from at the same levels:" \
    "$(mb "$zstd_indexed") for the same files, $(mb "$zstd_total") for all $changed changed files"
echo "whole run: $(printf '%.0f' "$(elapsed "$bench_started" "$(now)")") s"
exit $status
