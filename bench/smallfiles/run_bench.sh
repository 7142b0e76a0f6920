#!/usr/bin/env bash
# Fresh installation of many small files against curl, on a tmpfs.
#
#   bash bench/smallfiles/run_bench.sh            (build directory: build/)
#   BUILD_DIR=... RUNS=5 CASES="2000x16384 20000x4096" bash bench/smallfiles/run_bench.sh
#   CASES=200000x1024 RUNS=1 bash bench/smallfiles/run_bench.sh     (the large case)
#
# For each case COUNTxBYTES the same tree is published with voxmeadow-release
# and installed from scratch from three mirror names on a local nginx, by
# three contenders in alternating order:
#   - the program as users run it: `update --nouser TYPE VERSION` copied into
#     the installation, as a process on the offscreen platform; its time is
#     the outside wall time less the two fixed waits of --nouser (2 s before
#     the update starts, 1 s before the client would start), which the log's
#     time stamps show; the stamps also split it into start-up, download and
#     check, installation and exit;
#   - the same program without a window, `update --console TYPE VERSION`,
#     timed from outside (it has no fixed waits), its idle size the peak of
#     `update --console --check TYPE VERSION` just before (see run_console);
#   - the update task inside the driver (updatebench update);
#   - the baseline: curl -Z --parallel-max 3 fetching every file, md5sum -c on
#     them and cp of every file into place.
# The installation, the session and download directories and the served tree
# are on the tmpfs BENCH_TMPDIR (default /dev/shm), so that the figure is the
# cost per file and not the disk's. Targets, as the median of the per-run
# ratios of the program to the baseline: 2,000 files of 16 KiB and 20,000
# files of 4 KiB at most 1.3; 200,000 files of 1 KiB (only when asked for) at
# most 1.5; the driver's ratio at most 1.2 for the first two (both sides
# fetch with libcurl); the program's peak resident memory (GNU time) at most 64 MiB
# above its size while it waits for the update to start, and the console's
# at most 64 MiB above its idle size, for 20,000 and 200,000 files (the
# worst run of each); the console's median ratio within the spread of the
# window's per-run ratios (no worse than its worst run). Exits 1 when a target is missed, 2 when the set-up fails.
set -euo pipefail
cd "$(dirname "$0")/../.."

build_dir=${BUILD_DIR:-build}
runs=${RUNS:-5}
key=${KEY:-keys/demo_private.pem}
# Both demo Ed25519 keys sign the release manifests, so that updaters built
# with either (threshold 1 or 2) take the releases.
manifest_keys=(--manifest-key keys/demo_ed25519_1.pem --manifest-key keys/demo_ed25519_2.pem)
cases=${CASES:-"500x16384 2000x16384 5000x4096 20000x4096"}
export BENCH_TMPDIR=${BENCH_TMPDIR:-/dev/shm}
type=client_linux_amd64
driver="$build_dir/bench/update/updatebench"
program="$build_dir/src/update"
release="$build_dir/tools/release/voxmeadow-release"

. bench/nginx.sh
require_tools nginx curl md5sum
[ -x /usr/bin/time ] || { echo "GNU time is not installed (scripts/deps.sh installs it)" >&2; exit 2; }
[ "$(stat -f -c %T "$work")" = tmpfs ] || echo "warning: $work is not on a tmpfs; the disk will blur the figures" >&2
cmake --build "$build_dir" --target updatebench update voxmeadow-release -j2 >/dev/null
[ -x "$driver" ] && [ -x "$program" ] && [ -x "$release" ] || { echo "driver or release tool missing; configure the build first" >&2; exit 2; }

echo ok >"$work/www/probe"
serve_www probe

mirrors_ini() {
    printf '[mirrors]\nsize=3\n1\\mirror=m1\n2\\mirror=m2\n3\\mirror=m3\n'
    for m in m1 m2 m3; do printf '[%s]\nurl=%s/%s/%s\n' "$m" "$base" "$1" "$m"; done
}

# prepare <case>: publishes COUNT files of BYTES (100 per directory) under
# www/<case> and writes the baseline's curl config, sums and file lists.
prepare() {
    local name=$1 count=${1%x*} bytes=${1#*x} c="$work/$1"
    local source="$c/source" dirs=$(( (count + 99) / 100 ))
    mkdir -p "$c"
    for d in $(seq 0 $((dirs - 1))); do
        local n=$(( count - d * 100 < 100 ? count - d * 100 : 100 ))
        mkdir -p "$source/dir$d"
        head -c $((n * bytes)) /dev/urandom | split -b "$bytes" -d -a 3 --additional-suffix=.dat - "$source/dir$d/file"
    done
    "$release" publish --source "$source" --output "$work/www/$name/release" --version 5 --key "$key" \
        "${manifest_keys[@]}" --quiet >/dev/null
    for m in m1 m2 m3; do ln -s release "$work/www/$name/$m"; done
    local published="$work/www/$name/release/5/files"
    (cd "$published" && find . -type f | sed 's|^\./||' | sort) >"$c/keys.txt"
    awk -v base="$base/$name" -v out="$c/download" '{
        printf "url = \"%s/m%d/5/files/%s\"\noutput = \"%s/%s\"\n", base, NR % 3 + 1, $0, out, $0
    }' "$c/keys.txt" >"$c/curl.cfg"
    (cd "$published" && xargs -a "$c/keys.txt" -d '\n' md5sum) >"$c/sums.txt"
    sed -n 's|/[^/]*$||p' "$c/keys.txt" | sort -u >"$c/dirs.txt"
}

# baseline <case>: prints the seconds of curl + md5sum -c + cp.
baseline() { shell_install "$work/$1"; }

# updater <case>: prints the driver's line with the outside time appended.
updater() {
    local c="$work/$1"
    rm -rf "$c/install" "$c/temp"
    mkdir -p "$c/install" "$c/temp"
    mirrors_ini "$1" >"$c/install/mirrors.ini"
    local t0 t1 line
    t0=$(now)
    line=$("$driver" update "$c/install" "$c/temp" "$type" 5 2>"$c/update.log") \
        || { echo "update failed: $line" >&2; tail -5 "$c/update.log" >&2; return 2; }
    t1=$(now)
    echo "$line wall=$(elapsed "$t0" "$t1")"
}

# program <case>: the program's line (see run_program) for a fresh installation.
program() {
    local c="$work/$1"
    rm -rf "$c/prog" "$c/tmp"
    mkdir -p "$c/prog" "$c/tmp"
    mirrors_ini "$1" >"$c/prog/mirrors.ini"
    run_program "$program" "$c/prog" "$c/tmp" "$type" 5 "$c/program.log"
}

# console <case>: the console's line (see run_console) for a fresh installation.
console() {
    local c="$work/$1"
    rm -rf "$c/cons" "$c/ctmp"
    mkdir -p "$c/cons" "$c/ctmp"
    mirrors_ini "$1" >"$c/cons/mirrors.ini"
    run_console "$program" "$c/cons" "$c/ctmp" "$type" 5 "$c/console.log"
}

spread() { sort -g | awk '{ v[NR] = $1 } END { printf "%.0f%%", 100 * (v[NR] - v[1]) / v[int((NR + 1) / 2)] }'; }
per_file_us() { awk -v s="$1" -v n="$2" 'BEGIN { printf "%.0f", s * 1e6 / n }'; }
med() { printf '%s\n' "$@" | median; }
mibs() { for k in "$@"; do mib "$k"; echo; done | paste -sd ' '; }

echo "times: the program less its fixed waits, the driver, the baseline (medians); ratios to the baseline" \
    "(median of the runs' ratios); per file; spreads ((max - min) / median); the program's peak memory" \
    "above idle (worst run); the program's phases from its log (medians)"
printf '\n%-12s %8s %8s %8s %6s %6s %7s %7s %6s %6s %6s %8s  %s\n' case program driver base ratio "drv" \
    "prog/f" "base/f" sprP sprD sprB "rss+" "startup fetch install exit | program ratios per run"
results=()
for case in $cases; do
    count=${case%x*}
    echo "preparing $case..." >&2
    prepare "$case"
    prog_t=() drv_t=() base_t=() cons_t=() ratios=() dratios=() cratios=() deltas=() cdeltas=() idles=() cidles=()
    st=() ft=() it=() et=()
    for i in $(seq "$runs"); do
        # Alternate the order, so that no side always meets a warmer machine.
        if [ $((i % 2)) = 1 ]; then
            b=$(baseline "$case"); p=$(program "$case") || exit 2; line=$(updater "$case") || exit 2
            k=$(console "$case") || exit 2
        else
            k=$(console "$case") || exit 2
            line=$(updater "$case") || exit 2; p=$(program "$case") || exit 2; b=$(baseline "$case")
        fi
        [ "$(echo "$line" | field ok)" = 1 ] || { echo "update failed: $line" >&2; exit 2; }
        if [ "$i" = 1 ]; then
            diff -r --exclude=voxmeadow.release --exclude=mirrors.ini --exclude=update.digests "$work/$case/source" "$work/$case/install" >/dev/null \
                || { echo "the driver's installation differs from the published tree" >&2; exit 2; }
            diff -r --exclude=voxmeadow.release --exclude=mirrors.ini --exclude=update.digests --exclude=update --exclude=update.ini \
                "$work/$case/source" "$work/$case/prog" >/dev/null \
                || { echo "the program's installation differs from the published tree" >&2; exit 2; }
            diff -r --exclude=voxmeadow.release "$work/$case/source" "$work/$case/baseline" >/dev/null \
                || { echo "the baseline installation differs from the published tree" >&2; exit 2; }
        fi
        o=$(echo "$p" | field wall) d=$(echo "$line" | field wall)
        prog_t+=("$o") drv_t+=("$d") base_t+=("$b") ratios+=("$(ratio "$o" "$b")") dratios+=("$(ratio "$d" "$b")")
        kw=$(echo "$k" | field wall)
        cons_t+=("$kw") cratios+=("$(ratio "$kw" "$b")")
        cdeltas+=($(( $(echo "$k" | field maxrss_kib) - $(echo "$k" | field idle_rss_kib) )))
        idles+=("$(echo "$p" | field idle_rss_kib)") cidles+=("$(echo "$k" | field idle_rss_kib)")
        st+=("$(echo "$p" | field startup)") ft+=("$(echo "$p" | field fetch)")
        it+=("$(echo "$p" | field install)") et+=("$(echo "$p" | field exit)")
        deltas+=($(( $(echo "$p" | field maxrss_kib) - $(echo "$p" | field idle_rss_kib) )))
    done
    o=$(med "${prog_t[@]}") d=$(med "${drv_t[@]}") b=$(med "${base_t[@]}")
    r=$(med "${ratios[@]}") dr=$(med "${dratios[@]}")
    m=$(printf '%s\n' "${deltas[@]}" | sort -g | tail -1)
    cm=$(printf '%s\n' "${cdeltas[@]}" | sort -g | tail -1)
    printf '%-12s %7.3fs %7.3fs %7.3fs %6s %6s %7s %7s %6s %6s %6s %8s  %s %s %s %s | %s\n' "$case" "$o" "$d" "$b" \
        "$r" "$dr" "$(per_file_us "$o" "$count")" "$(per_file_us "$b" "$count")" \
        "$(printf '%s\n' "${prog_t[@]}" | spread)" "$(printf '%s\n' "${drv_t[@]}" | spread)" \
        "$(printf '%s\n' "${base_t[@]}" | spread)" "$(mib "$m")" \
        "$(med "${st[@]}")" "$(med "${ft[@]}")" "$(med "${it[@]}")" "$(med "${et[@]}")" "${ratios[*]}"
    cr=$(med "${cratios[@]}")
    worst=$(printf '%s\n' "${ratios[@]}" | sort -g | tail -1)
    echo "  console: $(med "${cons_t[@]}")s, ratio $cr (runs ${cratios[*]}, spread" \
        "$(printf '%s\n' "${cons_t[@]}" | spread)); the window's runs ${ratios[*]}"
    echo "  peak memory above idle, worst run (runs; median idle size): window $(mib "$m") MiB" \
        "($(mibs "${deltas[@]}"); idle $(mib "$(med "${idles[@]}")")), console $(mib "$cm") MiB" \
        "($(mibs "${cdeltas[@]}"); idle $(mib "$(med "${cidles[@]}")"))"
    results+=("$case $r $m $(per_file_us "$o" "$count") $dr $cr $worst $cm $(med "${idles[@]}") $(med "${cidles[@]}")")
    [ -z "${KEEP_LOG:-}" ] || cp "$work/$case/program.log" "$KEEP_LOG"
    rm -rf "$work/$case" "$work/www/$case"
done

echo
for result in "${results[@]}"; do
    set -- $result
    case $1 in
    2000x16384)
        verdict "console, 2,000 x 16 KiB" "$6" "$2" "$6" "<=" "$7" "ratio (window's worst run)"
        verdict "program, 2,000 x 16 KiB" "$2" "1.00" "$2" "<=" 1.3 "ratio"
        verdict "driver, 2,000 x 16 KiB" "$5" "1.00" "$5" "<=" 1.2 "ratio" ;;
    20000x4096)
        verdict "console, 20,000 x 4 KiB" "$6" "$2" "$6" "<=" "$7" "ratio (window's worst run)"
        verdict "program, 20,000 x 4 KiB" "$2" "1.00" "$2" "<=" 1.3 "ratio"
        verdict "driver, 20,000 x 4 KiB" "$5" "1.00" "$5" "<=" 1.2 "ratio"
        verdict "window peak RSS above idle, 20,000 files" "$(mib "$3") MiB" "$(mib "$9") MiB" "$(mib "$3")" "<" 64 "MiB more"
        verdict "console peak RSS above idle, 20,000 files" "$(mib "$8") MiB" "$(mib "${10}") MiB" "$(mib "$8")" "<" 64 "MiB more" ;;
    200000x1024)
        verdict "program, 200,000 x 1 KiB" "$2" "1.00" "$2" "<=" 1.5 "ratio"
        verdict "window peak RSS above idle, 200,000 files" "$(mib "$3") MiB" "$(mib "$9") MiB" "$(mib "$3")" "<" 64 "MiB more"
        verdict "console peak RSS above idle, 200,000 files" "$(mib "$8") MiB" "$(mib "${10}") MiB" "$(mib "$8")" "<" 64 "MiB more" ;;
    esac
done
exit $status
